#!/usr/bin/env bash
# Installs the Debian packages whose sounds bench/probe_corpus.py turns into raw dumps.
# Only for that bench: CI and the tests need none of them (scripts/install-deps.sh
# stays lean). About 600 MB installed, most of it the drum kits, the game's music and the
# GM sound font; numpy mixes the drum patterns and stores the layouts sox does not write.
set -euo pipefail

packages=(sox ffmpeg espeak-ng flite fluidsynth fluid-soundfont-gm timgm6mb-soundfont hydrogen-drumkits
          sound-theme-freedesktop supertux-data python3-numpy)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
