#!/usr/bin/env bash
# The processor time pcmwrap-play takes over a whole play, against a device that plays in
# real time (the tests' paced ALSA PCM at 44100 frames a second, behind no sound card):
# a 96 kHz 24-bit stereo WAVE file, resampled to 44100 Hz, beside a 44100 Hz 16-bit one
# that goes to the device as it is. Prints user and system seconds and their share of
# one core. Usage: bench/player_cpu.sh [seconds of sound, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target pcmwrap-play pcmwrap_alsa_test_pcm >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/asound.conf" <<CONF
pcm_type.pcmwrap_test { lib "$PWD/build/tests/libpcmwrap_alsa_test_pcm.so" }
pcm.paced { type pcmwrap_test rate 44100 fail_after 0 hardware_rate 44100 record "/dev/null" }
CONF

sox -D -n -r 96000 -b 24 -c 2 "$work/96k24.wav" synth "$seconds" sine 1000 sine 1500 vol 0.5
sox -D -n -r 44100 -b 16 -c 2 "$work/44k16.wav" synth "$seconds" sine 1000 sine 1500 vol 0.5
for file in 96k24.wav 44k16.wav; do
  /usr/bin/time -f "$file: %e s of play, %U s user + %S s system" -o "$work/time" \
    env ALSA_CONFIG_PATH="$work/asound.conf" build/pcmwrap-play -dpaced "$work/$file" >/dev/null
  awk '{ print } { split($0, f, " "); }
       END { for (i = 1; i <= NF; ++i) { if ($i == "user") user = $(i - 2); if ($i == "system") sys = $(i - 2) }
             printf "  %.2f %% of one core\n", 100 * (user + sys) / $2 }' "$work/time"
done
