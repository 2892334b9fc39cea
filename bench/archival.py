#!/usr/bin/env python3
"""Times the archival work against its yardsticks, on dumps held in the page cache, and
prints Markdown tables of medians:

- `pcmwrap --md5` against `md5sum` of the same dump (the target: within 1.1 x), beside
  the plain conversion;
- `pcmwrap --loudness` against `ffmpeg -af ebur128=peak=true -f null -` on a dump of
  swelling and fading pink noise made by sox (the target: faster);
- `pcmwrap-check` of the `--md5` output against `md5sum` of that file (within 1.1 x).

Runs are interleaved (one of each command, then the next round) so that the machine's
noise falls on all of them alike. Outputs are deleted before each run, outside the
timing. One command:

    bench/archival.py [--pcmwrap build/pcmwrap] [--check build/pcmwrap-check]
                      [--mib 1024] [--loudness-mib 256] [--runs 3] [--dir .]
"""

import argparse
import os
import statistics
import subprocess
import tempfile
import time
from pathlib import Path


def make_dump(path: Path, mib: int) -> None:
    """24-bit stereo noise, quiet enough to be a signal: MD5 and the meter do not
    depend on the values, the meter's gating a little."""
    block = bytearray(os.urandom(1 << 20))
    for i in range(0, len(block), 3):
        block[i] &= 0x0F  # the most significant byte (big-endian dump): -18 dBFS or so
    with open(path, "wb") as out:
        for _ in range(mib):
            out.write(block)


def warm(path: Path) -> None:
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def timed(command, cwd) -> float:
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def table(title, rows, runs, floor):
    """rows: name -> list of seconds; ratios against the row named floor."""
    base = statistics.median(rows[floor])
    print(f"\n{title}\n")
    print("| command | median s | x " + floor.split(" ")[0] + " |")
    print("|---|---:|---:|")
    for name, times in rows.items():
        median = statistics.median(times)
        print(f"| {name} | {median:.2f} | {median / base:.2f} |")
    print(f"\n({runs} runs each, interleaved)")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pcmwrap", default="build/pcmwrap")
    parser.add_argument("--check", default="build/pcmwrap-check")
    parser.add_argument("--mib", type=int, default=1024)
    parser.add_argument("--loudness-mib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--dir", default=".", help="where the dumps and outputs go (a real disk, not a tmpfs)")
    args = parser.parse_args()
    pcmwrap = str(Path(args.pcmwrap).resolve())
    check = str(Path(args.check).resolve())

    with tempfile.TemporaryDirectory(dir=args.dir, prefix="archival-bench-") as work:
        work = Path(work)
        dump = work / "take.raw"
        make_dump(dump, args.mib)
        warm(dump)
        out = work / "take.wav"

        md5 = {"md5sum (dump)": [], "pcmwrap -b24 -c2": [], "pcmwrap -b24 -c2 --md5": []}
        commands = {
            "md5sum (dump)": ["md5sum", str(dump)],
            "pcmwrap -b24 -c2": [pcmwrap, "-b24", "-c2", "take.raw"],
            "pcmwrap -b24 -c2 --md5": [pcmwrap, "-b24", "-c2", "--md5", "take.raw"],
        }
        for _ in range(args.runs):
            for name, command in commands.items():
                out.unlink(missing_ok=True)
                md5[name].append(timed(command, work))
        table(f"--md5 on a {args.mib} MiB 24-bit stereo dump", md5, args.runs, "md5sum (dump)")

        # The file with an MD5 chunk, checked against md5sum of it.
        out.unlink(missing_ok=True)
        subprocess.run([pcmwrap, "-b24", "-c2", "--md5", "take.raw"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        warm(out)
        checking = {"md5sum (file)": [], "pcmwrap-check": []}
        for _ in range(args.runs):
            checking["md5sum (file)"].append(timed(["md5sum", str(out)], work))
            checking["pcmwrap-check"].append(timed([check, str(out)], work))
        table(f"pcmwrap-check of the {args.mib} MiB file with an MD5 chunk", checking, args.runs, "md5sum (file)")

        # Loudness on sound rather than noise: pink noise swelling and fading (90 % deep,
        # 0.7 times a second) as speech and music do, made by sox in its repeatable mode.
        small = work / "short.raw"
        seconds = (args.loudness_mib << 20) // (48000 * 6)
        subprocess.run(["sox", "-R", "-D", "-n", "-r", "48000", "-c", "2", "-b", "24", "-e", "signed", "-B", "-t",
                        "raw", str(small), "synth", str(seconds), "pinknoise", "tremolo", "0.7", "90", "vol", "0.5"],
                       check=True)
        warm(small)
        loud = {
            "ffmpeg -af ebur128=peak=true": [],
            "pcmwrap -b24 -c2 -r48000 --loudness": [],
        }
        for _ in range(args.runs):
            loud["ffmpeg -af ebur128=peak=true"].append(
                timed(["ffmpeg", "-v", "error", "-f", "s24be", "-ar", "48000", "-ac", "2", "-i", str(small),
                       "-af", "ebur128=peak=true", "-f", "null", "-"], work))
            (work / "short.wav").unlink(missing_ok=True)
            loud["pcmwrap -b24 -c2 -r48000 --loudness"].append(
                timed([pcmwrap, "-b24", "-c2", "-r48000", "--loudness", "short.raw"], work))
        table(f"--loudness on {seconds} s of 24-bit stereo 48 kHz sound", loud, args.runs,
              "ffmpeg -af ebur128=peak=true")


if __name__ == "__main__":
    main()
