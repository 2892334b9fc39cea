#!/usr/bin/env python3
"""What 48 kHz to 44.1 kHz resampling in pcmwrap-play does to a 1 kHz tone.

Plays a 24-bit 48 kHz stereo file of a 1 kHz sine at -6 dBFS through pcmwrap-play onto
ALSA's null PCM behind a file PCM (no sound card), reads the 16-bit 44100 Hz frames the
device received, and prints: the tone's frequency (least-squares fit), THD+N (everything
but the fitted tone, over the whole band), and the strongest other component found by a
scan in 10 Hz steps from 20 Hz to 20 kHz (where an alias or image would show).
Usage: bench/resample_tone.py [build/pcmwrap-play]  (plain Python, no numpy)
"""
import math
import os
import struct
import subprocess
import sys
import tempfile

player = sys.argv[1] if len(sys.argv) > 1 else "build/pcmwrap-play"
rate = 44100

with tempfile.TemporaryDirectory() as work:
    tone = os.path.join(work, "tone48k.wav")
    captured = os.path.join(work, "captured.raw")
    config = os.path.join(work, "asound.conf")
    subprocess.run(["sox", "-D", "-n", "-r", "48000", "-b", "24", "-c", "2", tone,
                    "synth", "3", "sine", "1000", "vol", "0.5"], check=True)
    with open(config, "w") as f:
        f.write('pcm.capture { type file slave.pcm { type null } file "%s" format raw }\n' % captured)
    subprocess.run([player, "-dcapture", tone], check=True, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, ALSA_CONFIG_PATH=config))
    data = open(captured, "rb").read()

left = [s[0] / 32768 for s in struct.iter_unpack("<hh", data)]
print("frames received: %d (3 s at 44100 Hz is %d)" % (len(left), 3 * rate))
# The middle two seconds, away from the filter's start and end.
x = left[rate // 2: rate // 2 + 2 * rate]
n = len(x)


def fit(freq):
    """Least-squares sine and cosine at freq (with a constant): amplitudes and residual power."""
    w = 2 * math.pi * freq / rate
    s = [math.sin(w * i) for i in range(n)]
    c = [math.cos(w * i) for i in range(n)]
    ss = sum(v * v for v in s); cc = sum(v * v for v in c); sc = sum(a * b for a, b in zip(s, c))
    xs = sum(a * b for a, b in zip(x, s)); xc = sum(a * b for a, b in zip(x, c))
    det = ss * cc - sc * sc
    a = (xs * cc - xc * sc) / det
    b = (xc * ss - xs * sc) / det
    mean = sum(x) / n
    residual = [x[i] - a * s[i] - b * c[i] - mean for i in range(n)]
    return a, b, sum(r * r for r in residual) / n, residual


# The frequency: from the first to the last upward zero crossing (linearly interpolated),
# then a golden-section search of the fit's residual within 0.05 Hz of it.
ups = [i + x[i] / (x[i] - x[i + 1]) for i in range(n - 1) if x[i] < 0 <= x[i + 1]]
estimate = (len(ups) - 1) * rate / (ups[-1] - ups[0])
lo, hi = estimate - 0.05, estimate + 0.05
g = (math.sqrt(5) - 1) / 2
for _ in range(25):
    m1 = hi - g * (hi - lo); m2 = lo + g * (hi - lo)
    if fit(m1)[2] < fit(m2)[2]:
        hi = m2
    else:
        lo = m1
freq = (lo + hi) / 2
a, b, noise, residual = fit(freq)
signal = (a * a + b * b) / 2
print("tone: %.4f Hz, %.2f dBFS" % (freq, 10 * math.log10(signal * 2)))
print("THD+N: %.1f dB (%.5f %%)" % (10 * math.log10(noise / signal), 100 * math.sqrt(noise / signal)))


def level(sig, f):
    """Goertzel power of sig at frequency f, as dB relative to the tone."""
    w = 2 * math.pi * f / rate
    k = 2 * math.cos(w)
    s1 = s2 = 0.0
    for v in sig:
        s1, s2 = v + k * s1 - s2, s1
    power = (s1 * s1 + s2 * s2 - k * s1 * s2) / (len(sig) / 2) ** 2 / 2
    return 10 * math.log10(max(power, 1e-30) / signal)


# Hann window over the residual, then a scan for the strongest component anywhere.
window = [residual[i] * (0.5 - 0.5 * math.cos(2 * math.pi * i / n)) for i in range(n)]
part = window[:22050]
worst = max(range(20, 20001, 10), key=lambda f: level(part, f))
print("strongest other component: %.1f dB relative to the tone, at %d Hz" % (level(part, worst), worst))
print("16-bit quantisation alone gives about -%.1f dB THD+N for this tone"
      % (10 * math.log10(signal / (1 / 32768) ** 2 * 12)))
