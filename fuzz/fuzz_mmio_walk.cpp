// Fuzz target: the RIFF file I/O on its own. The input, as a file, is walked chunk by
// chunk the way a reader of any RIFF file walks it (into RIFF and LIST forms), searched
// with MMIO_FINDCHUNK, positioned with mmioSeek, and read both through mmioRead and
// through the buffer hand-over that the wave reader uses. Every answer is checked
// against the input's own bytes, so a walk that reads the wrong place fails as surely
// as one that reads out of bounds.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "fuzz/fuzz_file.h"
#include "fuzz/riff_model.h"
#include "platform/mmio.h"

namespace {

using fuzzsupport::Input;
using fuzzsupport::kFormTypeBytes;
using fuzzsupport::kHeaderBytes;

constexpr std::uint64_t kLongMax = static_cast<std::uint64_t>(std::numeric_limits<LONG>::max());
constexpr std::uint64_t kNoParentEnd = std::numeric_limits<std::uint64_t>::max();
// Deep enough for any nesting a 4 KiB input can hold; it only bounds the recursion.
constexpr int kMaxDepth = 512;
// A form may claim more than its parent holds, so the inner walks of neighbouring
// forms can cover the same bytes again, level after level. The file I/O stays linear
// per walk; this bound keeps the number of walks from growing with the nesting.
constexpr int kMaxDescents = 20000;

std::uint64_t chunkEnd(const MMCKINFO& chunk)
{
    return std::uint64_t{chunk.dwDataOffset} + chunk.cksize + (chunk.cksize & 1u);
}

std::uint64_t parentEnd(const MMCKINFO* parent)
{
    return parent != nullptr ? std::uint64_t{parent->dwDataOffset} + parent->cksize : kNoParentEnd;
}

// The position as mmioSeek reports it: -1 once it no longer fits a LONG.
void expectPosition(HMMIO handle, std::uint64_t expected)
{
    const LONG reported = mmioSeek(handle, 0, SEEK_CUR);
    FUZZ_CHECK(expected <= kLongMax ? reported == static_cast<LONG>(expected) : reported == -1);
}

// Reads up to count bytes at `at` (the position) and checks them against the input.
void readAndCompare(HMMIO handle, const Input& input, std::uint64_t at, std::uint32_t count)
{
    std::vector<char> bytes(count);
    const LONG got = mmioRead(handle, bytes.data(), static_cast<LONG>(count));
    const std::uint64_t available = at < input.size ? input.size - at : 0;
    FUZZ_CHECK(got == static_cast<LONG>(std::min<std::uint64_t>(count, available)));
    FUZZ_CHECK(got == 0 || std::memcmp(bytes.data(), input.data + at, static_cast<std::size_t>(got)) == 0);
}

// Enters every chunk from `at` on, as far as the parent (without one, the file) allows;
// reads the data of plain chunks and walks the inside of forms.
void walk(HMMIO handle, const Input& input, const MMCKINFO* parent, std::uint64_t at, int depth, int& descents)
{
    const std::uint64_t end = parentEnd(parent);
    while (++descents <= kMaxDescents) {
        MMCKINFO chunk{};
        const MMRESULT result = mmioDescend(handle, &chunk, parent, 0);

        bool enterable = at <= end && end - at >= kHeaderBytes && input.holds(at, kHeaderBytes);
        const bool form = enterable && fuzzsupport::isFormId(input.field32(at));
        if (form) {
            enterable = end - at >= kHeaderBytes + kFormTypeBytes && input.holds(at, kHeaderBytes + kFormTypeBytes);
        }
        if (!enterable) {
            FUZZ_CHECK(result != MMSYSERR_NOERROR);
            expectPosition(handle, at);  // a failed descent stays where it was
            return;
        }
        FUZZ_CHECK(result == MMSYSERR_NOERROR);
        FUZZ_CHECK(chunk.ckid == input.field32(at));
        FUZZ_CHECK(chunk.cksize == input.field32(at + 4));
        FUZZ_CHECK(chunk.dwDataOffset == at + kHeaderBytes);
        FUZZ_CHECK(chunk.dwFlags == 0);
        if (form) {
            FUZZ_CHECK(chunk.fccType == input.field32(at + kHeaderBytes));
            expectPosition(handle, at + kHeaderBytes + kFormTypeBytes);
            if (depth < kMaxDepth) {
                walk(handle, input, &chunk, at + kHeaderBytes + kFormTypeBytes, depth + 1, descents);
            }
        } else {
            expectPosition(handle, chunk.dwDataOffset);
            readAndCompare(handle, input, chunk.dwDataOffset, std::min<std::uint32_t>(chunk.cksize, 1024));
        }

        FUZZ_CHECK(mmioAscend(handle, &chunk, 0) == MMSYSERR_NOERROR);
        const std::uint64_t following = chunkEnd(chunk);
        expectPosition(handle, following);
        FUZZ_CHECK(following >= at + kHeaderBytes);  // every step moves forward, so the walk ends
        at = following;
    }
}

// Searches the first form for an id from `from`, and again after each chunk found.
void searchAll(HMMIO handle, const Input& input, const MMCKINFO& form, std::uint64_t from, FOURCC wanted)
{
    FUZZ_CHECK(mmioSeek(handle, static_cast<LONG>(from), SEEK_SET) == static_cast<LONG>(from));
    const std::uint64_t end = parentEnd(&form);
    std::uint64_t at = from;
    for (;;) {
        MMCKINFO chunk{};
        chunk.ckid = wanted;
        const MMRESULT result = mmioDescend(handle, &chunk, &form, MMIO_FINDCHUNK);
        const std::optional<fuzzsupport::RawChunk> expected = fuzzsupport::findChunk(input, at, end, wanted);
        if (!expected) {
            FUZZ_CHECK(result == MMIOERR_CHUNKNOTFOUND);
            expectPosition(handle, at);
            return;
        }
        FUZZ_CHECK(result == MMSYSERR_NOERROR);
        FUZZ_CHECK(chunk.ckid == wanted);
        FUZZ_CHECK(chunk.cksize == expected->size);
        FUZZ_CHECK(chunk.dwDataOffset == expected->dataOffset());
        expectPosition(handle, chunk.dwDataOffset);
        FUZZ_CHECK(mmioAscend(handle, &chunk, 0) == MMSYSERR_NOERROR);
        at = chunkEnd(chunk);
        expectPosition(handle, at);
    }
}

void searchFirstForm(HMMIO handle, const Input& input)
{
    FUZZ_CHECK(mmioSeek(handle, 0, SEEK_SET) == 0);
    MMCKINFO form{};
    if (mmioDescend(handle, &form, nullptr, 0) != MMSYSERR_NOERROR || !fuzzsupport::isFormId(form.ckid)) {
        return;
    }
    const std::uint64_t first = std::uint64_t{form.dwDataOffset} + kFormTypeBytes;
    std::vector<FOURCC> ids = {mmioFOURCC('f', 'm', 't', ' '), mmioFOURCC('d', 'a', 't', 'a'),
                               mmioFOURCC('D', 'I', 'S', 'P'), mmioFOURCC('p', 'l', 's', 't'), mmioFOURCC('L', 'I', 'S', 'T'), 0};
    // Ids the input itself holds, so that deep searches happen without the fuzzer guessing.
    for (const std::uint64_t offset : {first, input.size / 2, input.size - std::min<std::uint64_t>(input.size, 8)}) {
        if (input.holds(offset, 4)) {
            ids.push_back(input.field32(offset));
        }
    }
    for (const FOURCC id : ids) {
        searchAll(handle, input, form, first, id);
    }
}

void seekAndRead(HMMIO handle, const Input& input)
{
    const std::uint64_t size = input.size;
    for (const std::uint64_t target :
         {std::uint64_t{0}, std::uint64_t{11}, std::uint64_t{12}, size / 2, size - std::min<std::uint64_t>(size, 1),
          size, size + 1, size + 300000, kLongMax}) {
        FUZZ_CHECK(mmioSeek(handle, static_cast<LONG>(target), SEEK_SET) == static_cast<LONG>(target));
        readAndCompare(handle, input, target, 777);
    }
    FUZZ_CHECK(mmioSeek(handle, 5, SEEK_SET) == 5);
    // Positions before the start are refused and change nothing.
    FUZZ_CHECK(mmioSeek(handle, -1, SEEK_SET) == -1);
    FUZZ_CHECK(mmioSeek(handle, -6, SEEK_CUR) == -1);
    FUZZ_CHECK(mmioSeek(handle, -static_cast<LONG>(size) - 1, SEEK_END) == -1);
    expectPosition(handle, 5);
    FUZZ_CHECK(mmioSeek(handle, -static_cast<LONG>(size), SEEK_END) == 0);
    FUZZ_CHECK(mmioSeek(handle, 0, SEEK_END) == static_cast<LONG>(size));
    // A file opened for reading takes no bytes.
    FUZZ_CHECK(mmioWrite(handle, "x", 1) == -1);
}

// Reads from `from` to the end of the file straight out of the I/O buffer, as the wave
// reader does: take the buffer state over, advance it whenever it runs dry, give it back.
void readThroughBuffer(HMMIO handle, const Input& input, std::uint64_t from)
{
    FUZZ_CHECK(mmioSeek(handle, static_cast<LONG>(from), SEEK_SET) == static_cast<LONG>(from));
    MMIOINFO info{};
    FUZZ_CHECK(mmioGetInfo(handle, &info, 0) == MMSYSERR_NOERROR);
    std::uint64_t at = from;
    for (;;) {
        if (info.pchNext == info.pchEndRead) {
            FUZZ_CHECK(mmioAdvance(handle, &info, MMIO_READ) == MMSYSERR_NOERROR);
            if (info.pchNext == info.pchEndRead) {
                break;
            }
        }
        FUZZ_CHECK(at < input.size && static_cast<std::uint8_t>(*info.pchNext) == input.data[at]);
        ++info.pchNext;
        ++at;
    }
    FUZZ_CHECK(at == std::max(from, input.size));
    FUZZ_CHECK(mmioSetInfo(handle, &info, 0) == MMSYSERR_NOERROR);
    expectPosition(handle, at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kLongMax) {
        return 0;
    }
    const Input input{data, size};
    const std::string name = fuzzsupport::writeScratchFile("input.riff", data, size);
    HMMIO handle = mmioOpenA(name.c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    FUZZ_CHECK(handle != nullptr);

    int descents = 0;
    walk(handle, input, nullptr, 0, 0, descents);
    searchFirstForm(handle, input);
    seekAndRead(handle, input);
    readThroughBuffer(handle, input, 0);
    readThroughBuffer(handle, input, size / 3);

    FUZZ_CHECK(mmioClose(handle, 0) == MMSYSERR_NOERROR);
    return 0;
}
