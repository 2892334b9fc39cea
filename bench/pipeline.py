#!/usr/bin/env python3
"""Times pcmwrap in the middle of a pipeline against the same pipeline with `cat` in its
place, on a dump held in the page cache:

    cat d.raw | pcmwrap -b24 -c2 -o- - | cat > /dev/null
    cat d.raw | cat                    | cat > /dev/null

Runs are interleaved (one of each, then the next round) so that the machine's noise falls
on both alike; the table gives the median wall time of each, their ratio, and pcmwrap's
peak resident memory (from /usr/bin/time) for two dump sizes, which shows it constant.

    bench/pipeline.py [--pcmwrap build/pcmwrap] [--mib 512] [--runs 7]
"""

import argparse
import os
import statistics
import subprocess
import tempfile
import time
from pathlib import Path


def timed(command):
    start = time.perf_counter()
    subprocess.run(["/bin/sh", "-c", command], check=True)
    return time.perf_counter() - start


def peak_kib(pcmwrap, dump):
    result = subprocess.run(
        ["/bin/sh", "-c", f"cat {dump} | /usr/bin/time -f %M {pcmwrap} -b24 -c2 -o- - 2>&1 >/dev/null | tail -1"],
        check=True, capture_output=True, text=True)
    return int(result.stdout.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pcmwrap", default="build/pcmwrap")
    parser.add_argument("--mib", type=int, default=512)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    pcmwrap = os.path.abspath(args.pcmwrap)
    with tempfile.TemporaryDirectory() as folder:
        dump = Path(folder) / "d.raw"
        small = Path(folder) / "small.raw"
        with open(dump, "wb") as out:
            block = os.urandom(1 << 20)
            for _ in range(args.mib):
                out.write(block)
        with open(small, "wb") as out:
            out.write(os.urandom(64 << 20))
        subprocess.run(["cat", str(dump)], stdout=subprocess.DEVNULL, check=True)  # into the page cache
        commands = {
            "pcmwrap": f"cat {dump} | {pcmwrap} -b24 -c2 -o- - 2>/dev/null | cat > /dev/null",
            "cat": f"cat {dump} | cat | cat > /dev/null",
        }
        times = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, command in commands.items():
                times[name].append(timed(command))
        medians = {name: statistics.median(values) for name, values in times.items()}
        print(f"{args.mib} MiB 24-bit stereo dump, {args.runs} interleaved runs, median wall time")
        print("| pipeline middle | median s | MiB/s | ratio to cat |")
        print("|---|---:|---:|---:|")
        for name, median in medians.items():
            print(f"| {name} | {median:.3f} | {args.mib / median:.0f} | {median / medians['cat']:.2f} |")
        print(f"pcmwrap peak RSS: {peak_kib(pcmwrap, small)} KiB for 64 MiB, {peak_kib(pcmwrap, dump)} KiB for "
              f"{args.mib} MiB")


if __name__ == "__main__":
    main()
