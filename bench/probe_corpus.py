#!/usr/bin/python3
"""Measures pcmwrap-probe on a corpus of raw dumps made from natural sounds.

The sounds come from Debian packages that bench/install-probe-corpus-deps.sh installs
(this script installs nothing): speech from espeak-ng and flite, music that fluidsynth
renders from notes written here with two GM sound fonts (FluidR3, TimGM6mb), the
SuperTux game's music and sound effects, drum patterns played here on the Hydrogen drum
kits, and the freedesktop sound theme. They are cut, mixed to 1 to 8 channels, set to a
random level (a tenth of them clipped) and stored in every layout family the probe
tells: 16/24-bit signed in both byte orders, 8-bit unsigned and signed, 32-bit integer,
24 bits in 32-bit words, 32- and 64-bit float; each family at every channel count, and again with 1 to
(sample width - 1) stray bytes before the samples. Beside them: quiet dumps, 16-bit
samples in 24-bit containers, identical channels, white noise, random bytes, silence.
Prints confusion tables in Markdown: by truth, and by layout family and channel count.

    bench/install-probe-corpus-deps.sh
    bench/probe_corpus.py --probe build/pcmwrap-probe [--per-cell 5] [--work DIR [--reuse]]
"""

import argparse
import collections
import glob
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

import numpy as np

TOOLS = ["sox", "ffmpeg", "espeak-ng", "flite", "fluidsynth"]
SOUND_FONTS = ["/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"]
THEME = "/usr/share/sounds/freedesktop/stereo"
GAME = "/usr/share/games/supertux2"
DRUM_KITS = "/usr/share/hydrogen/data/drumkits"
RATE = 44100
SECONDS = 3

SENTENCES = [
    "The first thing a person with a raw dump does not know is its format.",
    "Please convert the recording from yesterday before the meeting starts.",
    "Seven quick brown foxes jumped over the lazy sleeping dogs at noon.",
    "It was the best of times, it was the worst of times, it was the age of wisdom.",
    "Turn left at the second traffic light and follow the river for two miles.",
    "Numbers such as forty two, one thousand and three point one four are spoken.",
    "She sells sea shells by the sea shore, and the shells she sells are surely seashells.",
    "The weather tomorrow will be cloudy with occasional rain in the afternoon.",
]
FOREIGN = [("de", "Ein Mann geht mit seinem Hund durch den dunklen Wald nach Hause."),
           ("fr", "Le petit chat dort sur le canape pendant que la pluie tombe dehors."),
           ("es", "El tren sale de la estacion a las ocho y media de la manana."),
           ("it", "Nel mezzo del cammin di nostra vita mi ritrovai per una selva oscura.")]
ESPEAK_VOICES = ["en", "en-us", "en+f3", "en+m3", "en-gb-x-rp", "en+f2", "en+m7", "en-us+f4"]
FLITE_VOICES = ["kal", "kal16", "awb", "rms", "slt"]
PROGRAMS = [0, 4, 6, 19, 24, 25, 32, 40, 42, 48, 52, 56, 61, 65, 71, 73, 11, 13, 46, 105]

# name: (family, bits, bytes per sample, encoding); the names are pcmwrap's -f names.
FORMATS = {
    "s16": ("16/24-bit", 16, 2, "signed"), "s24": ("16/24-bit", 24, 3, "signed"),
    "u8": ("8-bit", 8, 1, "unsigned"), "s8": ("8-bit", 8, 1, "signed"),
    "s32": ("32-bit integer", 32, 4, "signed"), "s24in32": ("24 in 32-bit", 24, 4, "signed"),
    "f32": ("float", 32, 4, "float"), "f64": ("float", 64, 8, "float"),
}


def run(command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def check_tools():
    missing = [t for t in TOOLS if shutil.which(t) is None]
    missing += [p for p in SOUND_FONTS + [THEME, GAME, DRUM_KITS] if not os.path.exists(p)]
    if missing:
        sys.exit("missing: " + " ".join(missing) + "\nrun bench/install-probe-corpus-deps.sh first")


def read_float(path, channels=None):
    """A sound file as float frames at RATE (frames x channels)."""
    command = ["sox", path, "-t", "f32", "-e", "floating-point", "-b", "32", "-L", "-"]
    if channels:
        command += ["channels", str(channels)]
    command += ["rate", str(RATE)]
    data = subprocess.run(command, check=True, capture_output=True).stdout
    count = channels or int(subprocess.run(["soxi", "-c", path], capture_output=True, text=True,
                                           check=True).stdout)
    return np.frombuffer(data, "<f4").reshape(-1, count).astype(np.float64)


def write_float(path, frames):
    """Stores frames as a float WAVE file (sox reads it back with its channel count)."""
    channels = frames.shape[1]
    data = frames.astype("<f4").tobytes()
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 26 + 8 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHHH", 18, 3, channels, RATE, RATE * channels * 4, channels * 4, 32, 0))
        f.write(b"data" + struct.pack("<I", len(data)) + data)


def fit(frames, rng):
    """Exactly SECONDS long (a random excerpt, or padded with silence), peak at 1."""
    length = SECONDS * RATE
    if len(frames) > length:
        start = rng.randrange(len(frames) - length)
        frames = frames[start:start + length]
    else:
        frames = np.vstack([frames, np.zeros((length - len(frames), frames.shape[1]))])
    peak = np.max(np.abs(frames))
    return frames / peak if peak > 0 else frames


def midi_file(path, rng):
    """A short piece: a melody and a chord accompaniment on two GM instruments."""
    def vlq(value):
        out = [value & 0x7F]
        value >>= 7
        while value:
            out.insert(0, (value & 0x7F) | 0x80)
            value >>= 7
        return bytes(out)

    division = 480
    tempo = rng.randint(70, 160)
    events = []  # (tick, bytes)
    scale = [0, 2, 4, 5, 7, 9, 11]
    root = rng.randint(48, 60)
    for channel, program in ((0, rng.choice(PROGRAMS)), (1, rng.choice(PROGRAMS))):
        events.append((0, bytes([0xC0 | channel, program])))
    tick = 0
    beats = SECONDS * tempo // 60 + 2
    while tick < beats * division:
        length = rng.choice([240, 480, 480, 960])
        note = root + 12 + scale[rng.randrange(7)] + 12 * rng.randint(0, 1)
        events.append((tick, bytes([0x90, note, rng.randint(60, 120)])))
        events.append((tick + length - 20, bytes([0x80, note, 0])))
        tick += length
    for bar in range(0, beats * division, 4 * division):
        chord_root = root + scale[rng.choice([0, 3, 4, 5])]
        for offset in (0, 4, 7):
            events.append((bar, bytes([0x91, chord_root + offset, rng.randint(40, 80)])))
            events.append((bar + 4 * division - 20, bytes([0x81, chord_root + offset, 0])))
    events.sort(key=lambda e: (e[0], e[1][0] & 0xF0 == 0x90))
    track = vlq(0) + b"\xFF\x51\x03" + (60000000 // tempo).to_bytes(3, "big")
    last = 0
    for when, data in events:
        track += vlq(when - last) + data
        last = when
    track += vlq(0) + b"\xFF\x2F\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, division))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def speech(work, i, rng):
    path = f"{work}/src-speech{i}.wav"
    if rng.random() < 0.5:
        voice, text = rng.choice(FOREIGN) if rng.random() < 0.3 else (rng.choice(ESPEAK_VOICES), rng.choice(SENTENCES))
        run(["espeak-ng", "-v", voice, "-s", str(rng.randint(130, 190)), "-w", path, text + " " + text])
    else:
        text = rng.choice(SENTENCES) + " " + rng.choice(SENTENCES)
        run(["flite", "-voice", rng.choice(FLITE_VOICES), "-t", text, "-o", path])
    return fit(read_float(path, 1), rng)


def music(work, i, rng):
    midi = f"{work}/src-music{i}.mid"
    midi_file(midi, rng)
    path = f"{work}/src-music{i}.wav"
    run(["fluidsynth", "-ni", "-g", "0.7", "-r", str(RATE), "-F", path, rng.choice(SOUND_FONTS), midi])
    return fit(read_float(path, 2), rng)


def game_music(work, i, rng):
    return fit(read_float(rng.choice(sorted(glob.glob(f"{GAME}/music/**/*.ogg", recursive=True))), 2), rng)


def effects(work, i, rng):
    """Four UI or game sounds one after the other."""
    files = sorted(glob.glob(f"{THEME}/*.oga")) + sorted(glob.glob(f"{GAME}/sounds/*.wav"))
    return fit(np.vstack([read_float(p, 2) for p in rng.sample(files, 4)]), rng)


def drums(work, i, rng):
    """A bar or two of sixteenths on one kit: kick, snare, hi-hats and the rest at random."""
    kits = sorted(d for d in glob.glob(f"{DRUM_KITS}/*") if os.path.isdir(d))
    kit = rng.choice(kits)
    hits = sorted(glob.glob(f"{kit}/*.wav") + glob.glob(f"{kit}/*.flac"))
    chosen = [read_float(p, 2) for p in rng.sample(hits, min(len(hits), 6))]
    step = int(RATE * 60 / rng.randint(80, 170) / 4)
    out = np.zeros((SECONDS * RATE + RATE, 2))
    for start in range(0, SECONDS * RATE, step):
        for k, hit in enumerate(chosen):
            if rng.random() < (0.6 if k == 0 else 0.25):
                piece = hit[:len(out) - start] * rng.uniform(0.4, 1.0)
                out[start:start + len(piece)] += piece
    return fit(out, rng)


def make_sources(work, count, rng):
    makers = [speech, music, game_music, effects, drums]
    sources = []
    for i in range(count):
        for maker in makers:
            sources.append((maker.__name__, maker(work, i, rng)))
    return sources


def mix(sources, channels, rng):
    """Frames of `channels` channels from different sources, at a random level."""
    picked = rng.sample(sources, len(sources))
    columns = []
    names = []
    for name, frames in picked:
        if len(columns) >= channels:
            break
        columns += [frames[:, c] for c in range(frames.shape[1])]
        names.append(name)
    frames = np.stack(columns[:channels], axis=1)
    if rng.random() < 0.1:
        frames = np.clip(frames * 10 ** (rng.uniform(1, 6) / 20), -1, 1)  # a clipped master
    else:
        frames = frames * 10 ** (-rng.uniform(0.3, 12) / 20)
    return frames, "+".join(names)


def stored(frames, name, order, rng, stored_bits=None):
    """The frames stored in a -f layout, TPDF-dithered at 8 and 16 bits."""
    family, bits, width, encoding = FORMATS[name]
    x = frames.reshape(-1)
    tag = ">" if order == "big" else "<"
    if encoding == "float":
        return x.astype(tag + f"f{width}").tobytes()
    bits = stored_bits or bits
    scale = 2.0 ** (bits - 1) - 1
    dither = rng_triangular(rng, len(x)) if bits <= 16 else 0
    values = np.clip(np.round(x * scale + dither), -scale - 1, scale).astype(np.int64)
    if encoding == "unsigned":
        return (values + 128).astype(np.uint8).tobytes()
    if width == 1:
        return values.astype(np.int8).tobytes()
    if stored_bits:
        values <<= 8 * width - bits if name != "s24in32" else 0
    words = values.astype(tag + "i4").view(np.uint8).reshape(-1, 4)
    if width == 4:
        return words.tobytes()
    return (words[:, 4 - width:] if order == "big" else words[:, :width]).tobytes()


def rng_triangular(rng, count):
    generator = np.random.default_rng(rng.randrange(1 << 30))
    return generator.random(count) - generator.random(count)


def build_corpus(work, per_cell, rng, sources):
    """Returns [(path, truth)]; truth: group, cls, family, format, bits, bytes, encoding, order, channels, offset."""
    corpus = []

    def add(name, data, group, cls, fmt, order, channels, offset=0, bits=None, family=None):
        family_name, fmt_bits, width, encoding = FORMATS[fmt]
        with open(f"{work}/{name}", "wb") as f:
            f.write(data)
        corpus.append((f"{work}/{name}", dict(group=group, cls=cls, family=family or family_name, format=fmt,
                                              bits=bits or fmt_bits, bytes=width, encoding=encoding, order=order,
                                              channels=channels, offset=offset)))

    natural = [("s16", "big"), ("s16", "little"), ("s24", "big"), ("s24", "little"), ("u8", "big"), ("s8", "big"),
               ("s32", "big"), ("s32", "little"), ("s24in32", "little"), ("s24in32", "big"),
               ("f32", "big"), ("f32", "little"), ("f64", "big"), ("f64", "little")]
    for fmt, order in natural:
        for channels in range(1, 9):
            for i in range(per_cell):
                frames, what = mix(sources, channels, rng)
                name = f"n-{fmt}{order[0]}-{channels}c-{i}.raw"
                cls = fmt + ("" if FORMATS[fmt][2] == 1 else " " + order)
                add(name, stored(frames, fmt, order, rng), "natural", cls, fmt, order, channels)
    for fmt, order in natural:
        width = FORMATS[fmt][2]
        for i in range(per_cell * 2 if width > 1 else 0):
            channels = rng.randint(1, 8)
            offset = rng.randint(1, width - 1)
            frames, what = mix(sources, channels, rng)
            stray = bytes(offset) if rng.random() < 0.5 else rng.randbytes(offset)
            name = f"s-{fmt}{order[0]}-{channels}c-{i}.raw"
            add(name, stray + stored(frames, fmt, order, rng), "stray", f"{fmt} {order}, stray bytes", fmt, order,
                channels, offset)
    for fmt in ("s16", "s24"):
        for order in ("big", "little"):
            for i in range(per_cell):
                channels = rng.choice([1, 2, 2, 6])
                frames, what = mix(sources, channels, rng)
                frames = frames / (np.max(np.abs(frames)) or 1.0) * 10 ** (-rng.uniform(40, 50) / 20)
                add(f"q-{fmt}{order[0]}-{channels}c-{i}.raw", stored(frames, fmt, order, rng), "quiet",
                    f"{fmt} {order}, quiet", fmt, order, channels)
    for order in ("big", "little"):
        for i in range(per_cell):
            channels = rng.choice([1, 2, 6])
            frames, what = mix(sources, channels, rng)
            add(f"p-24{order[0]}-{channels}c-{i}.raw", stored(frames, "s24", order, rng, stored_bits=16),
                "16-in-24", f"16 in 24-bit {order}", "s24", order, channels)
    for i in range(per_cell * 2):
        channels = rng.choice([1, 2, 2, 6])
        order = rng.choice(["big", "little"])
        fmt = rng.choice(["s16", "s24"])
        one, what = mix(sources, 1, rng)
        add(f"dual-{channels}c-{i}.raw", stored(np.repeat(one, channels, axis=1), fmt, order, rng),
            "identical channels", "identical channels", fmt, order, channels)
    noise = []
    for i in range(per_cell):
        samples = np.random.default_rng(i).normal(0, rng.uniform(0.05, 0.3), SECONDS * RATE).clip(-1, 1)
        noise.append((f"white{i}.raw", stored(samples.reshape(-1, 1), "s16", "big", rng), "white noise"))
        noise.append((f"random{i}.raw", rng.randbytes(rng.randint(100000, 1000000)), "random bytes"))
        noise.append((f"silence{i}.raw", bytes(rng.randint(1000, 1000000)), "silence"))
    for name, data, cls in noise:
        with open(f"{work}/{name}", "wb") as f:
            f.write(data)
        corpus.append((f"{work}/{name}", dict(group="noise", cls=cls, family=None)))
    return corpus


def answer_of(result, truth):
    """The table's column for one answer."""
    if result["result"] != "format":
        return result["result"]
    if truth.get("family") is None:
        return "format"
    # A probe without sample_format tells no 24 bits in 32-bit words.
    told = result.get("sample_format") or {(8, "unsigned"): "u8", (8, "signed"): "s8", (16, "signed"): "s16", (24, "signed"): "s24",
                                            (32, "signed"): "s32", (32, "float"): "f32", (64, "float"): "f64"}[(result["bits"],
                                                                                         result["encoding"])]
    if told != truth["format"]:
        return "wrong width or kind"
    if truth["bits"] > 8 and result["byte_order"] != truth["order"]:
        return "wrong byte order"
    if result.get("offset", 0) != truth["offset"]:
        return "wrong offset"
    if result["channels"] != truth["channels"]:
        return "wrong channels"
    return "right"


WRONG = ("wrong byte order", "wrong width or kind", "wrong offset", "wrong channels")


def probe_all(probe, paths):
    """Each file's answer; a file the probe gave no line for (it crashed) is an error."""
    answers = {}
    for start in range(0, len(paths), 100):
        run = subprocess.run([probe, "--json"] + paths[start:start + 100], capture_output=True, text=True)
        for line in run.stdout.splitlines():
            answer = json.loads(line)
            answers[answer["file"]] = answer
    return [answers.get(path, {"result": "error"}) for path in paths]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", required=True)
    parser.add_argument("--per-cell", type=int, default=5, help="dumps per layout and channel count")
    parser.add_argument("--work", help="keep the corpus in this folder")
    parser.add_argument("--seed", type=int, default=28)
    parser.add_argument("--show-misses", action="store_true")
    parser.add_argument("--reuse", action="store_true", help="probe the corpus already in --work again")
    arguments = parser.parse_args()
    rng = random.Random(arguments.seed)
    work = arguments.work or tempfile.mkdtemp(prefix="probe-corpus-")
    os.makedirs(work, exist_ok=True)
    manifest = f"{work}/corpus.json"
    if arguments.reuse and os.path.exists(manifest):
        corpus = json.load(open(manifest))
    else:
        check_tools()
        sources = make_sources(work, max(6, arguments.per_cell * 2), rng)
        corpus = build_corpus(work, arguments.per_cell, rng, sources)
        for leftover in glob.glob(f"{work}/src-*"):
            os.remove(leftover)
        json.dump(corpus, open(manifest, "w"))

    columns = ["right"] + list(WRONG) + ["format", "unclear", "silent", "container", "empty", "error"]
    table = collections.OrderedDict()
    families = collections.defaultdict(collections.Counter)  # (family, channels) -> columns
    misses = []
    results = probe_all(arguments.probe, [path for path, _ in corpus])
    for (path, truth), result in zip(corpus, results):
        column = answer_of(result, truth)
        table.setdefault(truth["cls"], collections.Counter())[column] += 1
        if truth["group"] == "natural":
            families[(truth["family"], truth["channels"])][column] += 1
        if truth["group"] == "stray":
            families[("stray bytes", truth["channels"])][column] += 1
        if column != "right" and not (truth["group"] == "noise" and column in ("unclear", "silent")):
            misses.append((os.path.basename(path), column, json.dumps(result)))
    used = [c for c in columns if any(row[c] for row in table.values())]
    print("| truth | files | " + " | ".join(used) + " |")
    print("|---|---:|" + "---:|" * len(used))
    for cls, row in table.items():
        print(f"| {cls} | {sum(row.values())} | " + " | ".join(str(row[c]) if row[c] else "" for c in used) + " |")
    print("\nWrong / unclear / files, by layout family (natural dumps; stray bytes: every layout) and channel count:\n")
    print("| family | " + " | ".join(f"{c} ch" for c in range(1, 9)) + " | all |")
    print("|---|" + "---:|" * 9)
    for family in ["16/24-bit", "8-bit", "32-bit integer", "24 in 32-bit", "float", "stray bytes"]:
        cells = []
        total = collections.Counter()
        for channels in range(1, 9):
            row = families[(family, channels)]
            total.update(row)
            files = sum(row.values())
            cells.append(f"{sum(row[c] for c in WRONG)} / {row['unclear']} / {files}" if files else "")
        files = sum(total.values())
        wrong = sum(total[c] for c in WRONG)
        cells.append(f"{100.0 * wrong / max(files, 1):.1f} % / {100.0 * total['unclear'] / max(files, 1):.1f} %")
        print(f"| {family} | " + " | ".join(cells) + " |")
    stray_order = table_count(corpus, results, "stray", "wrong byte order")
    print(f"\nStray-byte dumps told in the wrong byte order: {stray_order}")
    if arguments.show_misses:
        print()
        for name, column, line in misses:
            print(name, column, line)


def table_count(corpus, results, group, column):
    return sum(1 for (path, truth), result in zip(corpus, results)
               if truth["group"] == group and answer_of(result, truth) == column)


if __name__ == "__main__":
    main()
