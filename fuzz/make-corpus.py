#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus into fuzz/corpus/<target>/: WAVE files of every
shape the tests use (as our writer and Python's wave module make them, with side
chunks, odd sizes, other format tags) and the hostile ones (cut short, sizes past the
end of the file or the form, sizes near 2^32, fmt chunks too small, cbSize 65535,
nested LIST chunks, thousands of tiny chunks). Deterministic: running it again gives
the same files. Files it did not write (kept findings, named regression-*) stay."""

import io
import struct
import sys
import wave
from pathlib import Path

CORPUS = Path(__file__).resolve().parent / "corpus"


def chunk(ckid: bytes, data: bytes, size: int | None = None) -> bytes:
    """A chunk; `size` overrides the announced size (the data stays as given)."""
    announced = len(data) if size is None else size
    pad = b"\0" if len(data) % 2 else b""
    return ckid + struct.pack("<I", announced) + data + pad


def form(kind: bytes, chunks: list[bytes], size: int | None = None, ckid: bytes = b"RIFF") -> bytes:
    return chunk(ckid, kind + b"".join(chunks), size)


def fmt_data(tag=1, channels=2, rate=44100, bits=16, extra: bytes | None = None, cb_size=None) -> bytes:
    align = channels * ((bits + 7) // 8)
    data = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra is not None:
        data += struct.pack("<H", len(extra) if cb_size is None else cb_size) + extra
    return data


def samples(count: int, seed: int = 1) -> bytes:
    state, out = seed, bytearray()
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 16 & 0xFF)
    return bytes(out)


def ours(channels=2, bits=16, frames=32, extra_chunks: list[bytes] = ()) -> bytes:
    """The layout our writer makes: fmt, fact, data."""
    data = samples(frames * channels * bits // 8)
    return form(b"WAVE", [chunk(b"fmt ", fmt_data(1, channels, 44100, bits)), chunk(b"fact", struct.pack("<I", frames)),
                          *extra_chunks, chunk(b"data", data)])


def python_wave(channels: int, width: int, frames: int) -> bytes:
    """A file made by Python's own wave module: fmt and data only."""
    buffer = io.BytesIO()
    with wave.open(buffer, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(width)
        out.setframerate(22050)
        out.writeframes(samples(frames * channels * width, seed=width))
    return buffer.getvalue()


FMT = chunk(b"fmt ", fmt_data())
DATA = chunk(b"data", samples(64))


def wave_seeds() -> dict[str, bytes]:
    info = form(b"INFO", [chunk(b"INAM", b"seed\0"), chunk(b"ICMT", b"odd")], ckid=b"LIST")
    seeds = {
        # Valid files of the shapes the tests know.
        "ours-pcm16-stereo.wav": ours(),
        "ours-pcm8-mono.wav": ours(channels=1, bits=8, frames=33),
        "ours-pcm24-stereo.wav": ours(bits=24, frames=7),
        "ours-empty-data.wav": ours(frames=0),
        "python-pcm8-mono.wav": python_wave(1, 1, 40),
        "python-pcm16-stereo.wav": python_wave(2, 2, 40),
        "python-pcm24-stereo.wav": python_wave(2, 3, 21),
        "list-first.wav": form(b"WAVE", [info, FMT, DATA]),
        "fmt-after-data.wav": form(b"WAVE", [DATA, chunk(b"junk", b"x"), FMT]),
        "odd-chunks-padded.wav": form(b"WAVE", [chunk(b"odd1", b"abc"), FMT, chunk(b"odd2", b"z"),
                                                 chunk(b"data", samples(33))]),
        "pcm-fmt-18.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(extra=b"")), DATA]),
        "float-fmt-16.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(3, 2, 48000, 32)), DATA]),
        "float-fmt-18.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(3, 1, 48000, 32, extra=b"")), DATA]),
        "extensible-fmt-40.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(0xFFFE, 2, 44100, 16, extra=samples(22, 7))),
                                                DATA]),
        "side-chunks.wav": ours(extra_chunks=[chunk(b"DISP", b"\x01\0\0\0first"), info, chunk(b"plst", samples(12, 3)),
                                              chunk(b"disp", b"lower"), chunk(b"PLST", b"upper"),
                                              chunk(b"DISP", b"second!")]),
        "disp-empty-and-odd.wav": ours(extra_chunks=[chunk(b"DISP", b""), chunk(b"DISP", b"odd")]),
        "disp-after-data.wav": form(b"WAVE", [FMT, DATA, chunk(b"DISP", b"\x02\0\0\0late")]),
        # Hostile files.
        "empty.wav": b"",
        "four-bytes.wav": b"RIFF",
        "header-cut-short.wav": b"RIFF\x24\0\0\0WAV",
        "chunk-header-cut-short.wav": form(b"WAVE", [FMT, DATA])[:12 + len(FMT) + 3],
        "not-riff.wav": b"RIFX" + ours()[4:],
        "not-wave.wav": form(b"AVI ", [FMT, DATA]),
        "riff-size-0.wav": form(b"WAVE", [FMT, DATA], size=0),
        "riff-size-4.wav": form(b"WAVE", [FMT, DATA], size=4),
        "riff-size-past-eof.wav": form(b"WAVE", [FMT, DATA], size=0x7FFFFFF0),
        "riff-size-max.wav": form(b"WAVE", [FMT, DATA], size=0xFFFFFFFF),
        "no-fmt.wav": form(b"WAVE", [DATA]),
        "no-data.wav": form(b"WAVE", [FMT, chunk(b"DISP", b"only side")]),
        "fmt-0.wav": form(b"WAVE", [chunk(b"fmt ", b""), DATA]),
        "fmt-14.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data()[:14]), DATA]),
        "fmt-15.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data()[:15]), DATA]),
        "fmt-size-past-eof.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(), size=0x10000)]),
        "cbsize-65535-short.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(3, extra=b"ab", cb_size=65535)), DATA]),
        "cbsize-past-chunk.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(3, extra=b"abcd", cb_size=6)), DATA]),
        "data-past-eof.wav": form(b"WAVE", [FMT, chunk(b"data", samples(40), size=4000)]),
        "data-size-max.wav": form(b"WAVE", [FMT, chunk(b"data", samples(40), size=0xFFFFFFFF)]),
        "data-size-near-2-32.wav": form(b"WAVE", [FMT, chunk(b"data", samples(40), size=0xFFFFFFF0)]),
        "disp-past-form.wav": form(b"WAVE", [FMT, chunk(b"DISP", b"xx", size=0x100), chunk(b"plst", b"yy"), DATA]),
        "disp-near-2-32.wav": form(b"WAVE", [FMT, chunk(b"DISP", b"xx", size=0xFFFFFFF8), DATA],
                                   size=0xFFFFFFFF),
        "plst-past-eof.wav": form(b"WAVE", [FMT, DATA, chunk(b"plst", b"12", size=0x10000)],
                                  size=0x7FFFFFFF),
        "nested-list.wav": form(b"WAVE", [form(b"adtl", [form(b"INFO", [form(b"deep", [chunk(b"DISP", b"inner")],
                                                                              ckid=b"LIST")], ckid=b"LIST")],
                                                ckid=b"LIST"), FMT, DATA]),
        "list-size-2.wav": form(b"WAVE", [FMT, chunk(b"LIST", b"IN"), DATA]),
        "many-tiny-chunks.wav": form(b"WAVE", [FMT, *[chunk(b"tiny", b"") for _ in range(1000)], DATA]),
    }
    return seeds


def riff_seeds() -> dict[str, bytes]:
    """Shapes for the RIFF file I/O on its own, beyond the WAVE files."""
    return {
        "top-level-chunks.riff": chunk(b"abcd", b"1") + chunk(b"efgh", b"") + form(b"TEST", [chunk(b"in  ", b"xy")]),
        "two-forms.riff": form(b"ONE ", [chunk(b"a   ", b"1")]) + form(b"TWO ", [chunk(b"b   ", b"22")], ckid=b"LIST"),
        "deep-lists.riff": form(b"TEST", [form(b"L%03d" % 0, [form(b"L001", [form(b"L002", [form(b"L003", [
            chunk(b"leaf", b"end")], ckid=b"LIST")], ckid=b"LIST")], ckid=b"LIST")], ckid=b"LIST")]),
        "list-without-type.riff": form(b"TEST", [b"LIST\x02\0\0\0"]),
        "chunk-size-max.riff": form(b"TEST", [chunk(b"huge", b"x", size=0xFFFFFFFF), chunk(b"next", b"")]),
        "odd-form.riff": form(b"TEST", [chunk(b"odd ", b"abc")]) + b"trailing",
        "form-cut-in-type.riff": b"RIFF\x10\0\0\0TE",
    }


def large_seeds() -> dict[str, bytes]:
    """A data chunk longer than the file I/O buffer (256 KiB), so that reading it refills the buffer."""
    frames = 0x10000 + 17
    data = bytes(range(256)) * (frames * 4 // 256) + bytes(frames * 4 % 256)
    return {"pcm16-longer-than-io-buffer.wav": form(b"WAVE", [FMT, chunk(b"fact", struct.pack("<I", frames)),
                                                                 chunk(b"data", data)])}


GUID_TAIL = bytes([0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])


def extensible(channels: int, bits: int, subformat: int, mask: int = 0) -> bytes:
    return fmt_data(0xFFFE, channels, 48000, bits, struct.pack("<HIH", bits, mask, subformat) + GUID_TAIL)


def large_form(kind: bytes, fmt: bytes, data: bytes, table: list[tuple[bytes, int]] = (), data_size=None) -> bytes:
    """An RF64 or BW64 form: 32-bit sizes all ones, the true ones in ds64."""
    ds64 = struct.pack("<QQQI", 0, len(data) if data_size is None else data_size, 0, len(table))
    ds64 += b"".join(ckid + struct.pack("<Q", size) for ckid, size in table)
    body = b"WAVE" + chunk(b"ds64", ds64) + chunk(b"fmt ", fmt) + b"data" + struct.pack("<I", 0xFFFFFFFF) + data
    return kind + struct.pack("<I", 0xFFFFFFFF) + body


def wav_reader_seeds() -> dict[str, bytes]:
    """The forms, formats and streamed sizes WavReader takes, and a few it refuses."""
    s24 = samples(6 * 33, seed=24)
    streamed = form(b"WAVE", [chunk(b"fmt ", fmt_data(1, 2, 44100, 16))], size=0)
    return {
        "rf64-s24.wav": large_form(b"RF64", fmt_data(1, 2, 48000, 24), s24),
        "bw64-table-odd.wav": large_form(b"BW64", fmt_data(1, 1, 48000, 24), s24[:33], [(b"LIST", 4)]),
        "rf64-streamed.wav": large_form(b"RF64", fmt_data(1, 2, 48000, 16), samples(64), data_size=0),
        "extensible-float-6ch.wav": form(b"WAVE", [chunk(b"fmt ", extensible(6, 32, 3, 0x3F)),
                                                  chunk(b"data", samples(6 * 4 * 9))]),
        "extensible-s24-valid20.wav": form(b"WAVE", [chunk(b"fmt ", extensible(2, 24, 1)), chunk(b"data", s24)]),
        "float64-list-after.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(3, 1, 8000, 64)), chunk(b"data", samples(80)),
                                                chunk(b"LIST", b"INFOodd")]),
        "u8-odd.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(1, 1, 8000, 8)), chunk(b"data", samples(7))]),
        "streamed-pipe.wav": streamed + b"data" + struct.pack("<I", 0xFFFFFFFF) + samples(66),
        "data-past-eof.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(1, 2, 8000, 16))]) + b"data" +
                             struct.pack("<I", 4000) + samples(30),
        "adpcm.wav": form(b"WAVE", [chunk(b"fmt ", fmt_data(2, 1, 8000, 4, b"\0\0")), chunk(b"data", samples(16))]),
    }


def write(target: str, seeds: dict[str, bytes]) -> None:
    directory = CORPUS / target
    directory.mkdir(parents=True, exist_ok=True)
    for name, content in seeds.items():
        (directory / name).write_bytes(content)


def main() -> None:
    if len(sys.argv) > 1:
        sys.exit("usage: make-corpus.py (writes fuzz/corpus/ next to the script)")
    waves = wave_seeds()
    write("wave_read", {**waves, **large_seeds()})
    write("wave_load_save", waves)
    write("wave_copy", waves)
    write("mmio_walk", {**waves, **riff_seeds()})
    write("wav_reader", wav_reader_seeds())


if __name__ == "__main__":
    main()
