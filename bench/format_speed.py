#!/usr/bin/env python3
"""Times pcmwrap on every sample format and byte order against two copies of the same
dump, `dd bs=128k` (a copy through user space, the floor of a conversion that must touch
every byte) and `cat` (which copies inside the kernel with copy_file_range; pcmwrap
copies samples already in the file's form inside the kernel too, with splice), and prints a table of medians, ratios and
peak resident memory. On a busy machine the best of the runs is the steadier figure (a
run that meets another program's write-back can take several times as long), and the CPU
time (user and system, median) shows the work each command does whatever the load.

The dump is read from the page cache; the outputs go to a real disk: the folder must not
be a tmpfs (ext4, for one, writes a file truncated to zero back when it is closed, which
a tmpfs never shows). Every run writes a new output, deleted before the next, and starts
after a sync, so that no run pays for the write-back of the one before. Runs are
interleaved (one of each command, then the next round) so that the machine's noise falls
on all of them alike.

    bench/format_speed.py [--pcmwrap build/pcmwrap] [--mib 512] [--runs 5] [--dir .]
"""

import argparse
import os
import platform
import shlex
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# label, pcmwrap options, how the dump's samples are made
FORMATS = [
    ("u8", ["-fu8"], "random"),
    ("s8", ["-fs8"], "random"),
    ("s16", ["-fs16"], "random"),
    ("s16 -l", ["-fs16", "-l"], "random"),
    ("s24", ["-fs24"], "random"),
    ("s24 -l", ["-fs24", "-l"], "random"),
    ("s32", ["-fs32"], "random"),
    ("s32 -l", ["-fs32", "-l"], "random"),
    ("s24in32", ["-fs24in32"], "24in32 big"),
    ("s24in32 -l", ["-fs24in32", "-l"], "24in32 little"),
    ("f32", ["-ff32"], "random"),
    ("f32 -l", ["-ff32", "-l"], "random"),
    ("f64", ["-ff64"], "random"),
    ("f64 -l", ["-ff64", "-l"], "random"),
]
DD = "dd bs=128k"
CAT = "cat"


def block(kind: str) -> bytes:
    """1 MiB of samples; s24in32 words carry the sign extension of bit 23 in their high byte."""
    data = os.urandom(1 << 20)
    if kind == "random":
        return data
    words = bytearray(data)
    big = kind == "24in32 big"
    for at in range(0, len(words), 4):
        if big:
            words[at] = 0xFF if words[at + 1] & 0x80 else 0x00
        else:
            words[at + 3] = 0xFF if words[at + 2] & 0x80 else 0x00
    return bytes(words)


def make_dump(path: Path, mib: int, kind: str) -> None:
    one = block(kind)
    with open(path, "wb") as out:
        for _ in range(mib):
            out.write(one)
    with open(path, "rb") as f:  # into the page cache
        while f.read(1 << 24):
            pass


def timed(command: str, work: Path) -> tuple[float, int, float]:
    """Wall seconds, peak resident KiB and CPU seconds (user and system) of one run of a
    shell command, after a sync."""
    os.sync()
    report = work / "time.txt"
    measured = f"/usr/bin/time -f '%M %U %S' -o {shlex.quote(str(report))} sh -c {shlex.quote(command)}"
    start = time.perf_counter()
    subprocess.run(measured, shell=True, check=True, stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    peak, user, system = report.read_text().split()[-3:]
    return seconds, int(peak), float(user) + float(system)


def file_system(path: Path) -> str:
    return subprocess.run(["stat", "-f", "-c", "%T", str(path)], capture_output=True, text=True).stdout.strip()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pcmwrap", default="build/pcmwrap")
    parser.add_argument("--mib", type=int, default=512, help="dump size in MiB")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", default=".", help="folder on the disk to measure (not a tmpfs)")
    args = parser.parse_args()

    pcmwrap = Path(args.pcmwrap).resolve()
    if not pcmwrap.exists():
        print(f"{pcmwrap} not found: build it first (cmake --preset release && cmake --build --preset program)")
        return 2
    if not Path("/usr/bin/time").exists():
        print("/usr/bin/time is needed: apt-get install time")
        return 2
    kind = file_system(Path(args.dir))
    if kind == "tmpfs":
        print(f"{args.dir} is a tmpfs: give --dir a folder on a real disk")
        return 2
    load_before = " ".join(f"{v:.2f}" for v in os.getloadavg())
    work = Path(tempfile.mkdtemp(prefix="pcmwrap-formats-", dir=args.dir))
    try:
        dumps = {}
        for kind_of_samples in sorted({k for _, _, k in FORMATS}):
            dumps[kind_of_samples] = work / f"{kind_of_samples.replace(' ', '-')}.raw"
            make_dump(dumps[kind_of_samples], args.mib, kind_of_samples)
        copy = work / "copy.raw"
        random_dump = shlex.quote(str(dumps["random"]))
        commands: dict[str, tuple[str, Path]] = {
            CAT: (f"cat {random_dump} > {shlex.quote(str(copy))}", copy),
            DD: (f"dd if={random_dump} of={shlex.quote(str(copy))} bs=128k status=none", copy),
        }
        for label, options, samples in FORMATS:
            dump = dumps[samples]
            commands[label] = (f"{shlex.quote(str(pcmwrap))} -c2 {' '.join(options)} {shlex.quote(str(dump))}",
                               dump.with_suffix(".wav"))
        results: dict[str, list[tuple[float, int, float]]] = {label: [] for label in commands}
        for _ in range(args.runs):
            for label, (command, output) in commands.items():
                output.unlink(missing_ok=True)
                results[label].append(timed(command, work))
                output.unlink(missing_ok=True)
        dd = statistics.median(s for s, _, _ in results[DD])
        cat = statistics.median(s for s, _, _ in results[CAT])
        dd_best = min(s for s, _, _ in results[DD])
        cat_best = min(s for s, _, _ in results[CAT])
        print(f"{args.mib} MiB stereo dumps in the page cache, outputs on {kind}, median of {args.runs} "
              f"interleaved runs, each after a sync")
        print(f"machine: {platform.processor() or platform.machine()}, {os.cpu_count()} cores, "
              f"Linux {platform.release()}; load average before {load_before}, after "
              f"{' '.join(f'{v:.2f}' for v in os.getloadavg())}\n")
        print("| command | median s | × dd | × cat | best s | best × dd | best × cat | CPU s | peak RSS MiB |")
        print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for label, runs in results.items():
            seconds = statistics.median(s for s, _, _ in runs)
            best = min(s for s, _, _ in runs)
            cpu = statistics.median(c for _, _, c in runs)
            peak = max(k for _, k, _ in runs) / 1024
            name = label if label in (DD, CAT) else f"pcmwrap -f{label}"
            print(f"| {name} | {seconds:.3f} | {seconds / dd:.2f} | {seconds / cat:.2f} | {best:.3f} | "
                  f"{best / dd_best:.2f} | {best / cat_best:.2f} | {cpu:.2f} | {peak:.1f} |")
    finally:
        for path in work.iterdir():
            path.unlink()
        work.rmdir()
    return 0


if __name__ == "__main__":
    sys.exit(main())
