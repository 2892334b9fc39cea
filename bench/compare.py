#!/usr/bin/env python3
"""Times pcmwrap against a plain copy of the same file (and sox and ffmpeg where they
are installed) on dumps held in the page cache, and prints a table of medians, ratios
to the copy and peak resident memory.

Runs are interleaved (one of each command, then the next round) so that the machine's
noise falls on all of them alike. Each run is timed by hyperfine when it is installed,
otherwise by this script around the process; peak memory comes from /usr/bin/time in
the same run. Outputs are deleted before each run, outside the timing, except for the
"replacing" rows, which convert over an existing output on purpose.

Two copies are shown: `cat`, the floor the targets are set against, and `dd bs=128K`,
which moves every byte through user space as pcmwrap must. Coreutils 9 `cat` copies
with copy_file_range, inside the kernel, and so does one memory copy fewer.

The RF64 case converts sparse dumps on either side of the RIFF limit (4.0 GB gives a
RIFF file, 4.3 GB an RF64 file) and compares their throughput and peak memory. Those
outputs are real blocks: on a machine whose page cache cannot hold 4 GB of dirty pages
the disk's write speed sets the pace of both.

    bench/compare.py [--pcmwrap build/pcmwrap] [--mib 1024] [--runs 5] [--rf64-runs 3]
"""

import argparse
import json
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FORMATS = [
    # name, pcmwrap options, sox options, ffmpeg input format, ffmpeg codec
    ("24-bit stereo", ["-b24", "-c2"], ["-b", "24"], "s24be", "pcm_s24le"),
    ("16-bit stereo", ["-b16", "-c2"], ["-b", "16"], "s16be", "pcm_s16le"),
]
FLOOR = "cat (floor)"
# 24-bit stereo dumps just under the RIFF limit and past it (odd, so with a pad byte).
SPARSE_DUMPS = [("RIFF", 4_000_000_002), ("RF64", 4_300_000_003)]


def make_dump(path: Path, mib: int) -> None:
    """Pseudo-random bytes: the converter's speed does not depend on the values."""
    block = os.urandom(1 << 20)
    with open(path, "wb") as out:
        for _ in range(mib):
            out.write(block)


def warm(path: Path) -> None:
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def timed(command: str, work: Path, hyperfine: bool) -> tuple[float, int]:
    """Wall seconds and peak resident KiB of one run of a shell command."""
    report = work / "time.txt"
    measured = f"/usr/bin/time -f %M -o {shlex.quote(str(report))} sh -c {shlex.quote(command)}"
    if hyperfine:
        result = work / "hyperfine.json"
        subprocess.run(["hyperfine", "--runs", "1", "--style", "none", "--export-json", str(result), measured],
                       check=True, stdout=subprocess.DEVNULL)
        seconds = json.loads(result.read_text())["results"][0]["times"][0]
    else:
        start = time.perf_counter()
        subprocess.run(measured, shell=True, check=True, stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
    return seconds, int(report.read_text().split()[-1])


def sparse_rows(pcmwrap: Path, work: Path, runs: int, hyperfine: bool) -> list[tuple[str, str, int, float, int]]:
    """Output, command, dump bytes, median seconds and peak KiB of converting and of copying
    each sparse dump; the copy is the floor of writing that many bytes to this disk."""
    results: dict[tuple[str, str], list[tuple[float, int]]] = {}
    for _ in range(runs):
        for form, size in SPARSE_DUMPS:
            dump = work / f"{form}.raw"
            with open(dump, "wb") as out:
                out.truncate(size)
            q_dump, q_copy = shlex.quote(str(dump)), shlex.quote(str(work / "copy.raw"))
            commands = {
                "dd bs=128K (floor)": f"dd if={q_dump} of={q_copy} bs=128K status=none",
                "pcmwrap": f"{shlex.quote(str(pcmwrap))} -c2 {q_dump}",
            }
            for label, command in commands.items():
                # Each run starts with no dirty pages of the one before still to be written.
                os.sync()
                results.setdefault((form, label), []).append(timed(command, work, hyperfine))
                (work / "copy.raw").unlink(missing_ok=True)
                (work / f"{form}.wav").unlink(missing_ok=True)
            dump.unlink()
    sizes = dict(SPARSE_DUMPS)
    return [(form, label, sizes[form], statistics.median(s for s, _ in runs), max(k for _, k in runs))
            for (form, label), runs in results.items()]


def machine() -> str:
    model = platform.processor() or platform.machine()
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} cores, Linux {platform.release()}"


def load() -> str:
    return " ".join(f"{value:.2f}" for value in os.getloadavg())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pcmwrap", default="build/pcmwrap")
    parser.add_argument("--mib", type=int, default=1024, help="dump size in MiB")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rf64-runs", type=int, default=3, help="runs of the RF64 case (0: skip it)")
    parser.add_argument("--dir", default=None, help="where to put the dumps (default: a temporary folder)")
    args = parser.parse_args()

    pcmwrap = Path(args.pcmwrap).resolve()
    if not pcmwrap.exists():
        print(f"{pcmwrap} not found: build it first (cmake --preset release && cmake --build --preset release)")
        return 2
    if not Path("/usr/bin/time").exists():
        print("/usr/bin/time is needed: apt-get install time")
        return 2
    hyperfine = shutil.which("hyperfine") is not None
    load_before = load()
    work = Path(tempfile.mkdtemp(prefix="pcmwrap-bench-", dir=args.dir))
    try:
        rows = []
        for name, options, sox_bits, ffmpeg_format, ffmpeg_codec in FORMATS:
            dump = work / "in.raw"
            make_dump(dump, args.mib)
            warm(dump)
            wav = work / "in.wav"
            copy = work / "out.raw"
            q_dump, q_wav, q_copy = (shlex.quote(str(path)) for path in (dump, wav, copy))
            convert = f"{shlex.quote(str(pcmwrap))} {' '.join(options)} {q_dump}"
            commands = {
                FLOOR: (f"cat {q_dump} > {q_copy}", copy, False),
                "dd bs=128K (user-space copy)": (f"dd if={q_dump} of={q_copy} bs=128K status=none", copy, False),
                "pcmwrap, new output": (convert, wav, False),
                "pcmwrap, replacing output": (convert, wav, True),
            }
            if shutil.which("sox"):
                commands["sox"] = (f"sox -t raw -r 44100 -e signed {' '.join(sox_bits)} -B -c 2 {q_dump} {q_wav}", wav, False)
            if shutil.which("ffmpeg"):
                commands["ffmpeg"] = (f"ffmpeg -loglevel error -nostdin -y -f {ffmpeg_format} -ar 44100 -ac 2 -i {q_dump} "
                                      f"-c:a {ffmpeg_codec} {q_wav}", wav, False)
            results: dict[str, list[tuple[float, int]]] = {label: [] for label in commands}
            for _ in range(args.runs):
                for label, (command, output, replace) in commands.items():
                    if replace:
                        if not output.exists():
                            subprocess.run(["sh", "-c", command], check=True, stdout=subprocess.DEVNULL)
                    else:
                        output.unlink(missing_ok=True)
                    results[label].append(timed(command, work, hyperfine))
                    if not replace:
                        output.unlink(missing_ok=True)
                wav.unlink(missing_ok=True)
            floor = statistics.median(s for s, _ in results[FLOOR])
            for label, runs in results.items():
                seconds = statistics.median(s for s, _ in runs)
                peak = max(k for _, k in runs)
                rows.append((name, label, seconds, seconds / floor if floor else float("nan"), peak / 1024))
            dump.unlink()
        print(f"{args.mib} MiB dump in the page cache, median of {args.runs} interleaved runs "
              f"({'hyperfine' if hyperfine else 'timed by the script'}; peak RSS from /usr/bin/time)")
        print(f"machine: {machine()}; load average before {load_before}, after {load()}\n")
        print("| format | command | median s | × cat | peak RSS MiB |")
        print("|---|---|---:|---:|---:|")
        for name, label, seconds, ratio, peak in rows:
            print(f"| {name} | {label} | {seconds:.3f} | {ratio:.2f} | {peak:.1f} |")
        if args.rf64_runs > 0:
            print(f"\nSparse 24-bit stereo dumps, output to disk, median of {args.rf64_runs} interleaved runs\n")
            print("| output | command | dump bytes | median s | MB/s | peak RSS MiB |")
            print("|---|---|---:|---:|---:|---:|")
            for form, label, size, seconds, peak in sparse_rows(pcmwrap, work, args.rf64_runs, hyperfine):
                print(f"| {form} | {label} | {size} | {seconds:.3f} | {size / seconds / 1e6:.0f} | {peak / 1024:.1f} |")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
