#!/usr/bin/env bash
# The processor time and the wake-ups pcmwrap-play takes over a whole play on a real sound
# server: a private PulseAudio daemon with a null sink (started here, stopped after),
# reached through ALSA's pulse PCM (pulseaudio, libasound2-plugins). A 96 kHz 24-bit
# stereo WAVE file, resampled to 44100 Hz, beside a 44100 Hz 16-bit one that goes to the
# device as it is, and sox playing the 16-bit one on the same PCM for comparison. Prints
# user and system seconds, their share of one core, and the voluntary context switches
# (the times a thread of the process went to sleep) of each play.
# Usage: bench/player_cpu.sh [seconds of sound, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target pcmwrap-play >/dev/null

work=$(mktemp -d)
cat >"$work/server.pa" <<PA
load-module module-null-sink sink_name=bench rate=44100 format=s16le channels=2
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/native
PA
mkdir "$work/run" "$work/state"
HOME=$work XDG_RUNTIME_DIR=$work/run PULSE_RUNTIME_PATH=$work/run PULSE_STATE_PATH=$work/state \
  pulseaudio -n -F "$work/server.pa" --daemonize=no --system=no --exit-idle-time=-1 --use-pid-file=no \
  --disallow-exit --realtime=no --high-priority=no --log-target="file:$work/server.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  [ -S "$work/native" ] && break
  sleep 0.1
done
echo "pcm.bench { type pulse server \"unix:$work/native\" device bench }" >"$work/asound.conf"
export ALSA_CONFIG_PATH=$work/asound.conf PULSE_SERVER=unix:$work/native HOME=$work XDG_RUNTIME_DIR=$work/run

sox -D -n -r 96000 -b 24 -c 2 "$work/96k24.wav" synth "$seconds" sine 1000 sine 1500 vol 0.5
sox -D -n -r 44100 -b 16 -c 2 "$work/44k16.wav" synth "$seconds" sine 1000 sine 1500 vol 0.5
report() {
  awk -v what="$1" '{ printf "%s: %.2f s of play, %.2f s user + %.2f s system = %.2f %% of one core, %d voluntary context switches\n",
                      what, $1, $2, $3, 100 * ($2 + $3) / $1, $4 }' "$work/time"
}
for file in 96k24.wav 44k16.wav; do
  /usr/bin/time -f "%e %U %S %w" -o "$work/time" build/pcmwrap-play -dbench "$work/$file" >/dev/null
  report "pcmwrap-play $file"
done
/usr/bin/time -f "%e %U %S %w" -o "$work/time" sox -q "$work/44k16.wav" -t alsa bench
report "sox 44k16.wav"
