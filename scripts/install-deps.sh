#!/usr/bin/env bash
# Installs the Debian packages that building and testing pcmwrap needs, when one is missing.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev python3 clang libclang-rt-14-dev groff-base time
          pkg-config dpkg-dev file lintian man-db libasound2-dev libsoxr-dev sox ffmpeg
          pulseaudio libasound2-plugins libebur128-dev libssl-dev nlohmann-json3-dev libcsv-dev mediainfo)
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
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
