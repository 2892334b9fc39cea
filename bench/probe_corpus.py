#!/usr/bin/env python3
"""Measures pcmwrap-probe on a corpus of raw dumps made from natural sounds.

The sounds come from Debian packages, made fresh on each run: speech from espeak-ng,
music that fluidsynth renders from notes written here with the GM sound font, and the
freedesktop sound theme. They are cut, mixed to 1 to 8 channels and stored in every
format the probe tells (16/24-bit in both byte orders, quiet, 16-bit in 24-bit
containers, 8-bit, 32-bit integer and float), beside white noise, random bytes and
silence. Prints a confusion table (truth against answer) in Markdown.

    bench/probe_corpus.py --probe build/pcmwrap-probe [--per-cell 10] [--work DIR [--reuse]]
"""

import argparse
import collections
import glob
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

PACKAGES = ["espeak-ng", "fluidsynth", "fluid-soundfont-gm", "sound-theme-freedesktop", "sox", "ffmpeg"]
SOUND_FONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
THEME = "/usr/share/sounds/freedesktop/stereo"
RATE = 44100
SECONDS = 4

SENTENCES = [
    "The first thing a person with a raw dump does not know is its format.",
    "Please convert the recording from yesterday before the meeting starts.",
    "Seven quick brown foxes jumped over the lazy sleeping dogs at noon.",
    "It was the best of times, it was the worst of times, it was the age of wisdom.",
    "Turn left at the second traffic light and follow the river for two miles.",
    "Numbers such as forty two, one thousand and three point one four are spoken.",
    "She sells sea shells by the sea shore, and the shells she sells are surely seashells.",
    "The weather tomorrow will be cloudy with occasional rain in the afternoon.",
    "Ein Mann geht mit seinem Hund durch den dunklen Wald nach Hause.",
    "Le petit chat dort sur le canape pendant que la pluie tombe dehors.",
    "El tren sale de la estacion a las ocho y media de la manana.",
    "Nel mezzo del cammin di nostra vita mi ritrovai per una selva oscura.",
]
VOICES = ["en", "en-us", "en+f3", "en+m3", "en-gb-x-rp", "en+f2", "de", "fr", "es", "it", "en+m7", "en-us+f4"]
LANGUAGE_OF = {8: ["de"], 9: ["fr"], 10: ["es"], 11: ["it"]}
PROGRAMS = [0, 4, 6, 19, 24, 25, 32, 40, 42, 48, 52, 56, 61, 65, 71, 73, 11, 13, 46, 105]


def run(command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def install_packages():
    missing = [p for p in PACKAGES
               if subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True, text=True)
               .stdout.find("install ok installed") < 0]
    if missing:
        print("installing:", " ".join(missing), file=sys.stderr)
        sudo = [] if os.geteuid() == 0 else ["sudo"]
        run(sudo + ["apt-get", "update", "-qq"])
        run(sudo + ["apt-get", "install", "-y", "-qq"] + missing, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


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
        velocity = rng.randint(60, 120)
        events.append((tick, bytes([0x90, note, velocity])))
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


def make_sources(work, count, rng):
    """Float WAVE files at RATE, SECONDS long: speech (mono), music (stereo), themes."""
    speech, music, themes = [], [], []
    for i in range(count):
        sentence = rng.randrange(len(SENTENCES))
        voices = LANGUAGE_OF.get(sentence, [v for v in VOICES if v.startswith("en")])
        raw = f"{work}/speech{i}-raw.wav"
        text = SENTENCES[sentence] + " " + SENTENCES[rng.randrange(8)]
        run(["espeak-ng", "-v", rng.choice(voices), "-s", str(rng.randint(130, 190)), "-w", raw, text])
        out = f"{work}/speech{i}.wav"
        run(["sox", raw, "-e", "floating-point", "-b", "32", out, "rate", str(RATE), "trim", "0", str(SECONDS),
             "pad", "0", str(SECONDS), "trim", "0", str(SECONDS), "norm", str(-rng.uniform(0.5, 6))])
        speech.append(out)
    for i in range(count):
        midi = f"{work}/music{i}.mid"
        midi_file(midi, rng)
        raw = f"{work}/music{i}-raw.wav"
        run(["fluidsynth", "-ni", "-g", "0.7", "-r", str(RATE), "-F", raw, SOUND_FONT, midi])
        out = f"{work}/music{i}.wav"
        run(["sox", raw, "-e", "floating-point", "-b", "32", out, "trim", "0.2", str(SECONDS),
             "norm", str(-rng.uniform(0.5, 6))])
        music.append(out)
    theme_files = sorted(glob.glob(f"{THEME}/*.oga"))
    for i in range(count):
        picks = rng.sample(theme_files, 4)
        parts = []
        for j, pick in enumerate(picks):
            part = f"{work}/theme{i}-{j}.wav"
            run(["ffmpeg", "-y", "-loglevel", "error", "-i", pick, "-ar", str(RATE), "-ac", "2", part])
            parts.append(part)
        out = f"{work}/theme{i}.wav"
        run(["sox"] + parts + ["-e", "floating-point", "-b", "32", out, "trim", "0", str(SECONDS),
                               "pad", "0", str(SECONDS), "trim", "0", str(SECONDS), "norm", str(-rng.uniform(0.5, 6))])
        themes.append(out)
    return speech, music, themes


def write_dump(path, sox_inputs, channels, encoding, bits, order, gain_db=0.0):
    """Mixes the inputs to `channels` channels and stores them raw."""
    command = ["sox", "-M"] + sox_inputs if len(sox_inputs) > 1 else ["sox"] + sox_inputs
    kind = {"signed": "signed-integer", "unsigned": "unsigned-integer", "float": "floating-point"}[encoding]
    command += ["-t", "raw", "-e", kind, "-b", str(bits)]
    if bits > 8:
        command += ["-B" if order == "big" else "-L"]
    command += [path, "remix"] + [str(c + 1) for c in range(channels)]
    if gain_db:
        command += ["vol", f"{gain_db}dB"]
    command += ["dither"] if bits <= 16 and encoding == "signed" else []
    run(command)


def source_channels(path):
    return int(subprocess.run(["soxi", "-c", path], capture_output=True, text=True, check=True).stdout)


def mix_inputs(channels, pools, rng):
    """Input files whose channels, merged, give at least `channels` channels."""
    speech, music, themes = pools
    if channels == 1:
        return [rng.choice(speech + music + themes)]
    inputs = [rng.choice(music + themes)]
    have = 2
    while have < channels:
        pick = rng.choice([p for p in speech + music + themes if p not in inputs])
        inputs.append(pick)
        have += source_channels(pick)
    return inputs


def pad_16_in_24(source, target, order):
    data = open(source, "rb").read()
    out = bytearray(len(data) // 2 * 3)
    if order == "big":
        out[0::3] = data[0::2]
        out[1::3] = data[1::2]
    else:
        out[1::3] = data[0::2]
        out[2::3] = data[1::2]
    open(target, "wb").write(out)


def build_corpus(work, per_cell, rng, pools):
    """Returns [(path, truth)]; truth is a dict with class, bits, encoding, order, channels."""
    corpus = []

    def add(name, truth):
        corpus.append((f"{work}/{name}", truth))

    for bits in (16, 24):
        for order in ("big", "little"):
            for channels in range(1, 9):
                for i in range(per_cell):
                    name = f"n{bits}{order[0]}{channels}c-{i}.raw"
                    write_dump(f"{work}/{name}", mix_inputs(channels, pools, rng), channels, "signed", bits, order)
                    add(name, dict(group="natural", cls=f"{bits}-bit {order}", bits=bits, encoding="signed",
                                   order=order, channels=channels))
    for bits in (16, 24):
        for order in ("big", "little"):
            for i in range(per_cell * 2):
                channels = rng.choice([1, 2, 2, 6])
                name = f"q{bits}{order[0]}{channels}c-{i}.raw"
                write_dump(f"{work}/{name}", mix_inputs(channels, pools, rng), channels, "signed", bits, order,
                           gain_db=-rng.uniform(40, 50))
                add(name, dict(group="quiet", cls=f"{bits}-bit {order}, quiet", bits=bits, encoding="signed",
                               order=order, channels=channels))
    for order in ("big", "little"):
        for i in range(per_cell * 2):
            channels = rng.choice([1, 2, 6])
            source = f"{work}/tmp16.raw"
            write_dump(source, mix_inputs(channels, pools, rng), channels, "signed", 16, order)
            name = f"p24{order[0]}{channels}c-{i}.raw"
            pad_16_in_24(source, f"{work}/{name}", order)
            add(name, dict(group="16-in-24", cls=f"16 in 24-bit {order}", bits=24, encoding="signed", order=order,
                           channels=channels))
    for i in range(per_cell * 2):
        channels = rng.choice([1, 2, 2, 6])
        name = f"dual{channels}-{i}.raw"
        order = rng.choice(["big", "little"])
        bits = rng.choice([16, 24])
        mono = rng.choice(pools[0] + pools[1])
        run(["sox", mono, "-t", "raw", "-e", "signed-integer", "-b", str(bits), "-B" if order == "big" else "-L",
             f"{work}/{name}", "remix"] + ["1"] * channels)
        add(name, dict(group="identical channels", cls="identical channels", bits=bits, encoding="signed",
                       order=order, channels=channels))
    others = [("8-bit unsigned", 8, "unsigned", "big"), ("32-bit integer big", 32, "signed", "big"),
              ("32-bit integer little", 32, "signed", "little"), ("32-bit float big", 32, "float", "big"),
              ("32-bit float little", 32, "float", "little")]
    for cls, bits, encoding, order in others:
        for i in range(per_cell * 2):
            channels = rng.choice([1, 2, 6])
            name = f"o{bits}{encoding[0]}{order[0]}{channels}c-{i}.raw"
            write_dump(f"{work}/{name}", mix_inputs(channels, pools, rng), channels, encoding, bits, order)
            add(name, dict(group="other widths", cls=cls, bits=bits, encoding=encoding, order=order,
                           channels=channels))
    for i in range(per_cell):
        name = f"white{i}.raw"
        run(["sox", "-n", "-t", "raw", "-e", "signed-integer", "-b", str(rng.choice([16, 24])), "-B",
             f"{work}/{name}", "synth", str(SECONDS), "whitenoise", "vol", str(rng.uniform(0.1, 0.9))])
        add(name, dict(group="noise", cls="white noise"))
        name = f"random{i}.raw"
        with open(f"{work}/{name}", "wb") as f:
            f.write(rng.randbytes(rng.randint(100000, 1000000)))
        add(name, dict(group="noise", cls="random bytes"))
        name = f"silence{i}.raw"
        with open(f"{work}/{name}", "wb") as f:
            f.write(bytes(rng.randint(1000, 1000000)))
        add(name, dict(group="silence", cls="silence"))
    return corpus


def answer_of(result, truth):
    """The table's column for one answer."""
    if result["result"] != "format":
        return result["result"]
    if "bits" not in truth:
        return "format"
    same_kind = (result["bits"] == truth["bits"] and result["encoding"] == truth["encoding"])
    if not same_kind:
        return "wrong width or kind"
    if truth["bits"] > 8 and result["byte_order"] != truth["order"]:
        return "wrong byte order"
    if result["channels"] != truth["channels"]:
        return "wrong channels"
    return "right"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", required=True)
    parser.add_argument("--per-cell", type=int, default=5, help="dumps per format and channel count")
    parser.add_argument("--work", help="keep the corpus in this folder")
    parser.add_argument("--seed", type=int, default=23)
    parser.add_argument("--show-misses", action="store_true")
    parser.add_argument("--reuse", action="store_true", help="probe the corpus already in --work again")
    arguments = parser.parse_args()
    install_packages()
    rng = random.Random(arguments.seed)
    work = arguments.work or tempfile.mkdtemp(prefix="probe-corpus-")
    os.makedirs(work, exist_ok=True)
    manifest = f"{work}/corpus.json"
    if arguments.reuse and os.path.exists(manifest):
        corpus = json.load(open(manifest))
    else:
        pools = make_sources(work, max(8, arguments.per_cell * 3), rng)
        corpus = build_corpus(work, arguments.per_cell, rng, pools)
        json.dump(corpus, open(manifest, "w"))

    columns = ["right", "wrong byte order", "wrong width or kind", "wrong channels", "format", "unclear", "silent",
               "container", "empty", "error"]
    table = collections.OrderedDict()
    channel_table = collections.defaultdict(collections.Counter)
    misses = []
    paths = [path for path, _ in corpus]
    output = subprocess.run([arguments.probe, "--json"] + paths, capture_output=True, text=True).stdout.splitlines()
    for (path, truth), line in zip(corpus, output):
        result = json.loads(line)
        column = answer_of(result, truth)
        table.setdefault(truth["cls"], collections.Counter())[column] += 1
        if truth["group"] == "natural":
            channel_table[truth["channels"]][result["channels"] if column in ("right", "wrong channels")
                                             else column] += 1
        if column not in ("right", "silent") or truth["cls"] in ("white noise", "random bytes"):
            if not (truth["group"] == "noise" and column == "unclear") and not (truth["cls"] == "silence"):
                misses.append((os.path.basename(path), truth, line))
    used = [c for c in columns if any(row[c] for row in table.values())]
    print("| truth | files | " + " | ".join(used) + " |")
    print("|---|---:|" + "---:|" * len(used))
    for cls, row in table.items():
        print(f"| {cls} | {sum(row.values())} | " + " | ".join(str(row[c]) if row[c] else "" for c in used) + " |")
    natural = [row for cls, row in table.items() if "quiet" not in cls and cls[0:2] in ("16", "24")
               and not cls.startswith("16 in")]
    total = sum(sum(r.values()) for r in natural)
    wrong = sum(r[c] for r in natural for c in ("wrong byte order", "wrong width or kind", "wrong channels"))
    unclear = sum(r["unclear"] for r in natural)
    print(f"\nNatural 16/24-bit dumps, 1 to 8 channels: {total} files, {wrong} wrong "
          f"({100.0 * wrong / max(total, 1):.1f} %), {unclear} unclear ({100.0 * unclear / max(total, 1):.1f} %)")
    print("\n| channels | " + " | ".join(str(c) for c in range(1, 9)) + " | unclear | other |")
    print("|---:|" + "---:|" * 10)
    for truth in range(1, 9):
        row = channel_table[truth]
        other = sum(v for k, v in row.items() if not isinstance(k, int) and k != "unclear")
        print(f"| {truth} | " + " | ".join(str(row[c]) if row[c] else "" for c in range(1, 9)) +
              f" | {row['unclear'] or ''} | {other or ''} |")
    if arguments.show_misses:
        print()
        for name, truth, line in misses:
            print(name, truth.get("cls"), truth.get("channels"), line)


if __name__ == "__main__":
    main()
