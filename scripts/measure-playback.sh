#!/usr/bin/env bash
# Measures the wave output device against a device that plays in real time: a PulseAudio
# null sink, started here for the measurement and stopped after, reached through ALSA's
# pulse plugin. Prints the completion spacing of full 8192-byte blocks (46.4 ms of sound
# each), the time a reset takes with four blocks queued, and a run of pcmwrap-play on
# the converted example. Needs pulseaudio and libasound2-plugins (not installed by
# scripts/install-deps.sh: only this measurement uses them).
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in pulseaudio; do
  command -v "$tool" >/dev/null || { echo "needs $tool: apt-get install pulseaudio libasound2-plugins"; exit 1; }
done

cmake --preset release >/dev/null && cmake --build --preset release -j2 --target pcmwrap pcmwrap-play >/dev/null
cmake --preset bench >/dev/null && cmake --build --preset bench -j2 --target playback_timing >/dev/null

runtime=$(mktemp -d)
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
  --load="module-null-sink sink_name=measure" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$runtime/native" \
  >"$runtime/pulseaudio.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$runtime"' EXIT
export PULSE_SERVER="unix:$runtime/native"
for _ in $(seq 50); do
  [ -S "$runtime/native" ] && break
  sleep 0.1
done

echo "== pulseaudio $(pulseaudio --version | awk '{print $2}'), null sink, through ALSA's pulse PCM"
PCMWRAP_AUDIO_DEVICE=pulse build-bench/bench/playback_timing "${1:-200}"

echo
echo "== the simulated device, for comparison"
PCMWRAP_AUDIO_DEVICE=simulated build-bench/bench/playback_timing 50

echo
echo "== pcmwrap-play on the converted example"
build/pcmwrap -b16 -c2 examples/sine440.raw
start=$(date +%s.%N)
status=0
build/pcmwrap-play -dpulse examples/sine440.wav || status=$?
echo "status $status after $(echo "$(date +%s.%N) - $start" | bc) s"
