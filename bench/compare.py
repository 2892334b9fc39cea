#!/usr/bin/env python3
"""Times pcmwrap against a plain copy of the same file (and sox and ffmpeg where they
are installed) on dumps held in the page cache, and prints a table of medians, ratios
to the copy and peak resident memory.

Runs are interleaved (one of each command, then the next round) so that the machine's
noise falls on all of them alike. Each run is timed by /usr/bin/time; outputs are
deleted between runs, outside the timing, except for the "replace" rows, which convert
over an existing output on purpose.

    bench/compare.py [--pcmwrap build/pcmwrap] [--mib 1024] [--runs 5]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

FORMATS = [
    # name, pcmwrap options, sox options, ffmpeg input format, ffmpeg codec
    ("24-bit stereo", ["-b24", "-c2"], ["-b", "24"], "s24be", "pcm_s24le"),
    ("16-bit stereo", ["-b16", "-c2"], ["-b", "16"], "s16be", "pcm_s16le"),
]


def make_dump(path: Path, mib: int) -> None:
    """Pseudo-random bytes: the converter's speed does not depend on the values."""
    block = os.urandom(1 << 20)
    with open(path, "wb") as out:
        for _ in range(mib):
            out.write(block)


def timed(command: str) -> tuple[float, int]:
    """Wall seconds and peak resident KiB of one run of a shell command."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", report.name, "sh", "-c", command],
                       check=True, stdout=subprocess.DEVNULL)
        seconds, kib = report.read().split()[-2:]
        return float(seconds), int(kib)


def warm(path: Path) -> None:
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pcmwrap", default="build/pcmwrap")
    parser.add_argument("--mib", type=int, default=1024, help="dump size in MiB")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", default=None, help="where to put the dumps (default: a temporary folder)")
    args = parser.parse_args()

    pcmwrap = Path(args.pcmwrap).resolve()
    if not pcmwrap.exists():
        print(f"{pcmwrap} not found: build it first (cmake --preset release && cmake --build --preset release)")
        return 2
    if not Path("/usr/bin/time").exists():
        print("/usr/bin/time is needed: apt-get install time")
        return 2
    work = Path(tempfile.mkdtemp(prefix="pcmwrap-bench-", dir=args.dir))
    try:
        rows = []
        for name, options, sox_bits, ffmpeg_format, ffmpeg_codec in FORMATS:
            dump = work / "in.raw"
            make_dump(dump, args.mib)
            warm(dump)
            wav = work / "in.wav"
            copy = work / "out.raw"
            commands = {
                "cat (floor)": (f"cat {dump} > {copy}", copy, False),
                "pcmwrap, new output": (f"{pcmwrap} {' '.join(options)} {dump}", wav, False),
                "pcmwrap, replacing output": (f"{pcmwrap} {' '.join(options)} {dump}", wav, True),
            }
            if shutil.which("sox"):
                commands["sox"] = (f"sox -t raw -r 44100 -e signed {' '.join(sox_bits)} -B -c 2 {dump} {wav}", wav, False)
            if shutil.which("ffmpeg"):
                commands["ffmpeg"] = (f"ffmpeg -loglevel error -nostdin -y -f {ffmpeg_format} -ar 44100 -ac 2 -i {dump} "
                                      f"-c:a {ffmpeg_codec} {wav}", wav, False)
            results: dict[str, list[tuple[float, int]]] = {label: [] for label in commands}
            for _ in range(args.runs):
                for label, (command, output, replace) in commands.items():
                    if replace:
                        if not output.exists():
                            subprocess.run(["sh", "-c", command], check=True, stdout=subprocess.DEVNULL)
                    else:
                        output.unlink(missing_ok=True)
                    results[label].append(timed(command))
                    if not replace:
                        output.unlink(missing_ok=True)
                wav.unlink(missing_ok=True)
            floor = statistics.median(s for s, _ in results["cat (floor)"])
            for label, runs in results.items():
                seconds = statistics.median(s for s, _ in runs)
                peak = max(k for _, k in runs)
                rows.append((name, label, seconds, seconds / floor if floor else float("nan"), peak / 1024))
            dump.unlink()
        print(f"{args.mib} MiB dump in the page cache, median of {args.runs} interleaved runs, {os.cpu_count()} cores\n")
        print("| format | command | median s | × cat | peak RSS MiB |")
        print("|---|---|---:|---:|---:|")
        for name, label, seconds, ratio, peak in rows:
            print(f"| {name} | {label} | {seconds:.2f} | {ratio:.2f} | {peak:.1f} |")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
