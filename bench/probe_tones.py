#!/usr/bin/env python3
"""How pcmwrap-probe fares on pure, steady tones: the material most easily read with too
long a frame (a tone near a fifth of the rate reads as 5 slow "channels").

Writes one second of a sine at half scale for each period from 2.2 to 12 samples in
steps of 0.05 (20 kHz down to 3.7 kHz at 44.1 kHz; stereo: the same tone, the channels a
radian apart), 16/24-bit, both byte orders, mono and stereo, and counts the answers that
are right, unclear or wrong. Wrong ones are listed: period, truth, answer, margin.
Usage: bench/probe_tones.py build/pcmwrap-probe [more probes to compare]
"""
import json
import math
import os
import subprocess
import sys
import tempfile


def tone(period, bits, order, channels):
    scale = (1 << (bits - 1)) - 1
    out = bytearray()
    for n in range(44100):
        for c in range(channels):
            value = round(0.5 * math.sin(2 * math.pi * n / period + c) * scale)
            out += value.to_bytes(bits // 8, order, signed=True)
    return bytes(out)


def main():
    probes = sys.argv[1:]
    if not probes:
        sys.exit(__doc__)
    counts = {p: {"right": 0, "unclear": 0, "wrong": []} for p in probes}
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "tone.raw")
        for k in range(197):
            period = round(2.2 + 0.05 * k, 2)
            for bits in (16, 24):
                for order in ("big", "little"):
                    for channels in (1, 2):
                        with open(path, "wb") as f:
                            f.write(tone(period, bits, order, channels))
                        for probe in probes:
                            answer = json.loads(subprocess.run([probe, "--json", path], capture_output=True,
                                                               text=True, check=False).stdout)
                            if answer["result"] != "format":
                                counts[probe]["unclear"] += 1
                            elif (answer["bits"], answer.get("byte_order"), answer["channels"]) == (bits, order, channels):
                                counts[probe]["right"] += 1
                            else:
                                counts[probe]["wrong"].append(
                                    f"{period} {bits}-bit {order} {channels}ch -> {answer['bits']}-bit "
                                    f"{answer.get('byte_order')} {answer['channels']}ch, margin {answer['margin']}")
    for probe in probes:
        c = counts[probe]
        print(f"{probe}: {c['right']} right, {c['unclear']} unclear, {len(c['wrong'])} wrong")
        for line in c["wrong"]:
            print("  " + line)


if __name__ == "__main__":
    main()
