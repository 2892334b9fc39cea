#!/usr/bin/env python3
"""Writes the example dump: one second of a 440 Hz sine, 16-bit stereo at 44100
samples per second, each sample most significant byte first, channels interleaved."""

import math
import struct
import sys
from pathlib import Path

RATE = 44100
FREQUENCY = 440.0
AMPLITUDE = 0.5 * 32767


def main() -> None:
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "examples" / "sine440.raw"
    frames = bytearray()
    for n in range(RATE):
        sample = round(AMPLITUDE * math.sin(2 * math.pi * FREQUENCY * n / RATE))
        frames += struct.pack(">hh", sample, sample)
    target.write_bytes(bytes(frames))


if __name__ == "__main__":
    main()
