// The RIFF file I/O on its own: the chunk search, size completion on ascent, the
// buffer hand-over protocol and the refusal of bad and closed handles.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/mmio.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

using namespace testsupport;

namespace {

constexpr FOURCC kRiff = mmioFOURCC('R', 'I', 'F', 'F');

// RIFF form "TEST" with an odd chunk, an empty one, an odd LIST and a target chunk.
Bytes formWithOddChunks()
{
    Bytes inner;
    appendText(inner, "TEST");
    appendChunk(inner, "odd1", {1, 2, 3});
    appendChunk(inner, "zero", {});
    Bytes list;
    appendText(list, "INFO");
    appendChunk(list, "INAM", {'x'});
    appendChunk(inner, "LIST", list);
    appendChunk(inner, "want", {9, 8, 7, 6, 5});
    Bytes file;
    appendChunk(file, "RIFF", inner);
    return file;
}

class Mmio : public ::testing::Test {
protected:
    TempDir dir;
    std::string name = dir.file("f.riff");

    HMMIO openForReading(const Bytes& content)
    {
        writeFile(name, content);
        HMMIO handle = mmioOpenA(name.c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
        EXPECT_NE(handle, nullptr);
        return handle;
    }
};

}  // namespace

TEST_F(Mmio, FindChunkSkipsWholeChunksWithTheirPadBytes)
{
    HMMIO handle = openForReading(formWithOddChunks());
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(handle, &riff, nullptr, 0), 0u);
    EXPECT_EQ(riff.ckid, kRiff);
    EXPECT_EQ(riff.fccType, mmioFOURCC('T', 'E', 'S', 'T'));
    EXPECT_EQ(riff.dwDataOffset, 8u);

    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('w', 'a', 'n', 't');
    ASSERT_EQ(mmioDescend(handle, &chunk, &riff, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(chunk.cksize, 5u);
    char data[5];
    ASSERT_EQ(mmioRead(handle, data, 5), 5);
    EXPECT_EQ(data[0], 9);
    EXPECT_EQ(static_cast<DWORD>(mmioSeek(handle, 0, SEEK_CUR)), chunk.dwDataOffset + 5);
    // Leaving a chunk that was read steps over its pad byte, to the end of the form.
    ASSERT_EQ(mmioAscend(handle, &chunk, 0), 0u);
    EXPECT_EQ(mmioSeek(handle, 0, SEEK_CUR), static_cast<LONG>(formWithOddChunks().size()));
    mmioClose(handle, 0);
}

TEST_F(Mmio, AChunkThatIsNotThereIsNotFoundAndThePositionStays)
{
    HMMIO handle = openForReading(formWithOddChunks());
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(handle, &riff, nullptr, 0), 0u);
    MMCKINFO chunk{};
    // INAM lives inside the LIST, which the search steps over as one chunk.
    chunk.ckid = mmioFOURCC('I', 'N', 'A', 'M');
    EXPECT_EQ(mmioDescend(handle, &chunk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(mmioSeek(handle, 0, SEEK_CUR), 12);
    chunk.ckid = mmioFOURCC('w', 'a', 'n', 't');
    EXPECT_EQ(mmioDescend(handle, &chunk, &riff, MMIO_FINDCHUNK), 0u);
    mmioClose(handle, 0);
}

TEST_F(Mmio, TheSearchStopsAtHeadersCutShortAndAtChunksPastTheirParent)
{
    Bytes cut = formWithOddChunks();
    cut.resize(12 + 12 + 5);  // ends inside the header of "zero"
    HMMIO handle = openForReading(cut);
    MMCKINFO riff{};
    ASSERT_EQ(mmioDescend(handle, &riff, nullptr, 0), 0u);
    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('w', 'a', 'n', 't');
    EXPECT_EQ(mmioDescend(handle, &chunk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    mmioClose(handle, 0);

    // A form that claims to end before its last chunk: the chunk is outside it.
    Bytes shortForm = formWithOddChunks();
    shortForm[4] = 30;
    shortForm[5] = shortForm[6] = shortForm[7] = 0;
    handle = openForReading(shortForm);
    ASSERT_EQ(mmioDescend(handle, &riff, nullptr, 0), 0u);
    EXPECT_EQ(mmioDescend(handle, &chunk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    mmioClose(handle, 0);

    // A size near 2^32 cannot wrap the search around to an earlier chunk.
    Bytes huge;
    Bytes inner;
    appendText(inner, "TEST");
    appendText(inner, "big ");
    appendLittleEndian32(inner, 0xFFFFFFFFu);
    appendChunk(huge, "RIFF", inner);
    huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;
    handle = openForReading(huge);
    ASSERT_EQ(mmioDescend(handle, &riff, nullptr, 0), 0u);
    EXPECT_EQ(mmioDescend(handle, &chunk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    mmioClose(handle, 0);
}

TEST_F(Mmio, EmptyAndTinyFilesHaveNoChunkHeader)
{
    for (const Bytes& content : {Bytes{}, Bytes{'R', 'I', 'F', 'F', 4, 0, 0}, Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0}}) {
        HMMIO handle = openForReading(content);
        MMCKINFO riff{};
        EXPECT_EQ(mmioDescend(handle, &riff, nullptr, 0), MMIOERR_CHUNKNOTFOUND) << content.size();
        mmioClose(handle, 0);
    }
}

TEST_F(Mmio, AscendSettlesTheSizeOfACreatedChunkAndPadsAnOddOne)
{
    HMMIO handle = mmioOpenA(name.c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
    ASSERT_NE(handle, nullptr);
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioCreateChunk(handle, &riff, MMIO_CREATERIFF), 0u);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('o', 'd', 'd', '1');
    ASSERT_EQ(mmioCreateChunk(handle, &chunk, 0), 0u);
    ASSERT_EQ(mmioWrite(handle, "\x01\x02\x03", 3), 3);
    ASSERT_EQ(mmioAscend(handle, &chunk, 0), 0u);
    EXPECT_EQ(chunk.cksize, 3u);
    ASSERT_EQ(mmioAscend(handle, &riff, 0), 0u);
    EXPECT_EQ(riff.cksize, 4u + 8u + 4u);
    ASSERT_EQ(mmioClose(handle, 0), 0u);

    Bytes inner;
    appendText(inner, "TEST");
    appendChunk(inner, "odd1", {1, 2, 3});
    Bytes expected;
    appendChunk(expected, "RIFF", inner);
    EXPECT_EQ(readFile(name), expected);
}

TEST_F(Mmio, TheBufferProtocolReadsToTheEndOfTheFile)
{
    // Larger than one buffer, so that reading it takes several advances.
    const Bytes content = randomBytes(700001, 11);
    HMMIO handle = openForReading(content);
    MMIOINFO info{};
    ASSERT_EQ(mmioGetInfo(handle, &info, 0), 0u);
    Bytes seen;
    for (;;) {
        if (info.pchNext == info.pchEndRead) {
            ASSERT_EQ(mmioAdvance(handle, &info, MMIO_READ), 0u);
            if (info.pchNext == info.pchEndRead) {
                break;  // end of file
            }
        }
        seen.push_back(static_cast<std::uint8_t>(*info.pchNext++));
    }
    ASSERT_EQ(mmioSetInfo(handle, &info, 0), 0u);
    EXPECT_EQ(seen, content);
    EXPECT_EQ(mmioSeek(handle, 0, SEEK_CUR), 700001);
    mmioClose(handle, 0);
}

TEST_F(Mmio, BadHandlesAndForeignBufferStatesAreRefused)
{
    MMCKINFO chunk{};
    MMIOINFO info{};
    char byte = 0;
    const HMMIO stray = reinterpret_cast<HMMIO>(&chunk);
    for (HMMIO handle : {static_cast<HMMIO>(nullptr), stray}) {
        EXPECT_EQ(mmioClose(handle, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(mmioRead(handle, &byte, 1), -1);
        EXPECT_EQ(mmioWrite(handle, &byte, 1), -1);
        EXPECT_EQ(mmioSeek(handle, 0, SEEK_SET), -1);
        EXPECT_EQ(mmioGetInfo(handle, &info, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(mmioSetInfo(handle, &info, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(mmioAdvance(handle, &info, MMIO_READ), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(mmioDescend(handle, &chunk, nullptr, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(mmioAscend(handle, &chunk, 0), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(mmioCreateChunk(handle, &chunk, 0), MMSYSERR_INVALHANDLE);
    }
    HMMIO handle = openForReading({1, 2, 3});
    info.pchBuffer = &byte;
    info.pchNext = &byte;
    EXPECT_EQ(mmioSetInfo(handle, &info, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mmioWrite(handle, &byte, 1), -1) << "opened for reading only";
    EXPECT_EQ(mmioCreateChunk(handle, &chunk, 0), MMIOERR_CANNOTWRITE);
    mmioClose(handle, 0);
    EXPECT_EQ(mmioOpenA(dir.file("none").c_str(), nullptr, MMIO_READ), nullptr);
    EXPECT_EQ(mmioOpenA(dir.path().c_str(), nullptr, MMIO_READ), nullptr) << "a directory holds no file bytes";
}

// Handles are never issued twice: a closed one is refused even when a newer file's
// record takes its memory, so nothing done through it reaches the newer file.
TEST_F(Mmio, AClosedHandleIsRefusedWhileANewerFileIsOpen)
{
    const HMMIO closed = mmioOpenA(dir.file("old.riff").c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE);
    ASSERT_NE(closed, nullptr);
    ASSERT_EQ(mmioClose(closed, 0), 0u);
    const HMMIO open = mmioOpenA(name.c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE);
    ASSERT_NE(open, nullptr);
    EXPECT_NE(open, closed);
    char byte = 7;
    EXPECT_EQ(mmioWrite(closed, &byte, 1), -1);
    EXPECT_EQ(mmioClose(closed, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioWrite(open, &byte, 1), 1) << "the newer file is still open";
    EXPECT_EQ(mmioClose(open, 0), 0u);
    EXPECT_EQ(readFile(name), Bytes{7});
}

TEST_F(Mmio, OfThreadsClosingOneHandleOneSucceedsAndTheOthersAreRefused)
{
    constexpr int kThreads = 3;
    // The threads meet before closing, so that their calls overlap; many rounds, since
    // how they overlap is the scheduler's choice.
    for (int round = 0; round < 200; ++round) {
        const HMMIO handle = openForReading({1, 2, 3});
        std::atomic<int> waiting{kThreads};
        std::atomic<int> closed{0};
        std::atomic<int> refused{0};
        std::vector<std::thread> threads;
        for (int thread = 0; thread < kThreads; ++thread) {
            threads.emplace_back([&] {
                --waiting;
                while (waiting.load() > 0) {
                    std::this_thread::yield();
                }
                const MMRESULT result = mmioClose(handle, 0);
                if (result == MMSYSERR_NOERROR) {
                    ++closed;
                } else if (result == MMSYSERR_INVALHANDLE) {
                    ++refused;
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        ASSERT_EQ(closed.load(), 1) << round;
        ASSERT_EQ(refused.load(), kThreads - 1) << round;
    }
}

// A reader has nothing to write: a buffer state marked dirty is refused at once and the
// handle goes on reading from where it stood, with no failure kept for later calls.
TEST_F(Mmio, AReaderRefusesADirtyAdvanceAndStaysUsable)
{
    const HMMIO handle = openForReading({1, 2, 3, 4});
    char byte = 0;
    ASSERT_EQ(mmioRead(handle, &byte, 1), 1);
    MMIOINFO info{};
    ASSERT_EQ(mmioGetInfo(handle, &info, 0), 0u);
    info.pchNext = info.pchBuffer;  // as a writer that has filled nothing yet would hand it back
    info.dwFlags |= MMIO_DIRTY;
    EXPECT_EQ(mmioAdvance(handle, &info, MMIO_READ), MMIOERR_CANNOTWRITE);
    EXPECT_EQ(mmioSeek(handle, 0, SEEK_CUR), 1) << "the position stays where it was";
    char rest[3] = {};
    EXPECT_EQ(mmioRead(handle, rest, 3), 3);
    EXPECT_EQ(Bytes(rest, rest + 3), (Bytes{2, 3, 4}));
    EXPECT_EQ(mmioGetInfo(handle, &info, 0), 0u);
    EXPECT_EQ(mmioClose(handle, 0), 0u);
}
