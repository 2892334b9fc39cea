// WavReader from every origin through the one walk: memory, a descriptor (a regular file
// and a pipe), a FIFO named by its path; streams read forward only, with streamed sizes;
// and the walk's edge cases: a stale RIFF size ending inside a chunk header, an empty
// data chunk followed by other chunks, an odd final chunk without its pad byte.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wavfile/wav_file.h"

using namespace testsupport;
using pcmwrap::WavError;
using pcmwrap::WavReader;

namespace {

// 16-bit stereo: a LIST chunk before the data and another after it.
Bytes sampleFile(const Bytes& samples, bool streamedSizes = false)
{
    const Bytes list = {'I', 'N', 'F', 'O', 'a', 'b', 'c'};
    Bytes file = riffFile({{"fmt ", formatChunkData(pcmWaveFormat(2, 8000, 16))},
                           {"LIST", list},
                           {"data", samples},
                           {"LIST", {'I', 'N', 'F', 'O'}}});
    if (streamedSizes) {
        // RIFF and data sizes all ones, nothing after the data: a streamed file.
        file.resize(file.size() - 12);
        for (const std::size_t field : {std::size_t{4}, std::size_t{12 + 8 + 16 + 8 + 8 + 4}}) {
            std::memset(file.data() + field, 0xFF, 4);
        }
    }
    return file;
}

std::vector<std::int16_t> readAll(WavReader& reader)
{
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> piece(2 * 1000);
    while (const std::size_t frames = reader.readFrames(piece)) {
        all.insert(all.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(frames * 2));
    }
    return all;
}

// A pipe whose write end a thread fills with bytes and closes.
struct PipeFeed {
    int readEnd = -1;
    std::thread writer;
    explicit PipeFeed(const Bytes& bytes)
    {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        readEnd = ends[0];
        writer = std::thread([bytes, end = ends[1]] {
            std::size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t put = write(end, bytes.data() + done, bytes.size() - done);
                if (put <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(put);
            }
            close(end);
        });
    }
    ~PipeFeed()
    {
        close(readEnd);
        writer.join();
    }
};

std::vector<std::int16_t> littleEndian16(const Bytes& samples)
{
    std::vector<std::int16_t> values;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        values.push_back(static_cast<std::int16_t>(samples[i] | (samples[i + 1] << 8)));
    }
    return values;
}

TEST(WavReaderSources, MemoryAndARegularDescriptorReadAsThePath)
{
    const Bytes samples = randomBytes(4 * 3001, 81);
    const Bytes file = sampleFile(samples);
    TempDir dir;
    writeFile(dir.file("x.wav"), file);
    WavReader byPath(dir.file("x.wav"));
    const auto image = std::as_bytes(std::span(file));
    WavReader inMemory(image);
    const int descriptor = open(dir.file("x.wav").c_str(), O_RDONLY | O_CLOEXEC);
    WavReader byDescriptor(descriptor);
    close(descriptor);
    for (WavReader* reader : {&byPath, &inMemory, &byDescriptor}) {
        EXPECT_TRUE(reader->seekable());
        EXPECT_EQ(reader->frameCount(), 3001u);
        EXPECT_EQ(reader->chunks().size(), 4u);
        EXPECT_EQ(readAll(*reader), littleEndian16(samples));
    }
}

TEST(WavReaderSources, APipeIsReadForwardOnlyAndItsLaterChunksComeAtTheEnd)
{
    const Bytes samples = randomBytes(4 * 70001, 82);
    PipeFeed feed(sampleFile(samples));
    WavReader reader(feed.readEnd);
    EXPECT_FALSE(reader.seekable());
    EXPECT_TRUE(reader.frameCountKnown());
    EXPECT_EQ(reader.frameCount(), 70001u);
    ASSERT_EQ(reader.chunks().size(), 3u);  // fmt, LIST, data
    EXPECT_EQ(reader.readChunk(reader.chunks()[1]).size(), 7u);
    EXPECT_THROW(reader.seekFrame(0), WavError);
    EXPECT_EQ(readAll(reader), littleEndian16(samples));
    ASSERT_EQ(reader.chunks().size(), 4u);
    EXPECT_EQ(reader.chunks()[3].id, "LIST");
    EXPECT_EQ(reader.readChunk(reader.chunks()[3]).size(), 4u);
}

TEST(WavReaderSources, AStreamWithStreamedSizesReadsToItsEnd)
{
    const Bytes samples = randomBytes(4 * 50000, 83);
    PipeFeed feed(sampleFile(samples, true));
    WavReader reader(feed.readEnd);
    EXPECT_FALSE(reader.frameCountKnown());
    EXPECT_EQ(readAll(reader), littleEndian16(samples));
    EXPECT_TRUE(reader.frameCountKnown());
    EXPECT_EQ(reader.frameCount(), 50000u);
    EXPECT_EQ(reader.chunks()[2].size, samples.size());
}

TEST(WavReaderSources, AFifoIsReadAsAStreamAndADirectoryOrSocketIsRefusedAtOnce)
{
    TempDir dir;
    const Bytes samples = randomBytes(4 * 1000, 84);
    const Bytes file = sampleFile(samples);
    ASSERT_EQ(mkfifo(dir.file("in.wav").c_str(), 0600), 0);
    // The writer comes late: the reader's open must not wait for it, its first read does.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int end = open(dir.file("in.wav").c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(write(end, file.data(), file.size()), static_cast<ssize_t>(file.size()));
        close(end);
    });
    {
        WavReader reader(dir.file("in.wav"));
        EXPECT_FALSE(reader.seekable());
        EXPECT_EQ(readAll(reader), littleEndian16(samples));
    }
    writer.join();
    try {
        WavReader reader(dir.path());
        ADD_FAILURE() << "a directory was read";
    } catch (const WavError& error) {
        EXPECT_STREQ(error.reason(), "Is a directory");
    }
    const std::string socketName = dir.file("s.sock");
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketName.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_THROW(WavReader{socketName}, WavError);
    close(server);
}

// The walk's own cases, each as a file built here, read from memory and through a pipe.
struct WalkCase {
    const char* name;
    Bytes file;
    std::uint64_t frames;
    std::size_t chunks;
};

std::vector<WalkCase> walkCases()
{
    std::vector<WalkCase> cases;
    const Bytes fmt = formatChunkData(pcmWaveFormat(2, 8000, 16));
    const Bytes samples = randomBytes(16, 85);
    // A RIFF size that ends inside the data chunk's header (which starts at 36): stale.
    for (std::uint32_t riffSize = 28; riffSize <= 36; ++riffSize) {
        Bytes file = riffFile({{"fmt ", fmt}, {"data", samples}});
        file[4] = static_cast<std::uint8_t>(riffSize);
        cases.push_back({"stale RIFF size", file, 4, 2});
    }
    // An empty data chunk that other chunks follow holds no frames.
    cases.push_back({"empty data, then LIST", riffFile({{"fmt ", fmt}, {"data", {}}, {"LIST", Bytes(32, 'x')}}), 0, 3});
    // An odd final chunk whose pad byte is missing is read, not "truncated".
    Bytes unpadded = riffFile({{"fmt ", fmt}, {"data", samples}, {"note", {'a', 'b', 'c'}}});
    unpadded.pop_back();
    cases.push_back({"odd last chunk without pad", unpadded, 4, 3});
    return cases;
}

TEST(WavReaderSources, TheWalkTakesStaleSizesEmptyDataAndAMissingPadByte)
{
    for (const WalkCase& walkCase : walkCases()) {
        SCOPED_TRACE(walkCase.name);
        WavReader inMemory(std::as_bytes(std::span(walkCase.file)));
        EXPECT_EQ(inMemory.frameCount(), walkCase.frames);
        EXPECT_EQ(readAll(inMemory).size(), walkCase.frames * 2);
        ASSERT_EQ(inMemory.chunks().size(), walkCase.chunks);
        EXPECT_NO_THROW(inMemory.readChunk(inMemory.chunks().back()));
        PipeFeed feed(walkCase.file);
        WavReader streamed(feed.readEnd);
        EXPECT_EQ(readAll(streamed).size(), walkCase.frames * 2);
        EXPECT_EQ(streamed.chunks().size(), walkCase.chunks);
    }
}

}  // namespace

namespace {

// An RF64 file's ds64 chunk is a chunk of the file like the others, first in chunks(),
// whether the walk could go back to it or passed it on a stream.
TEST(WavReaderSources, Ds64IsListedFirstFromAFileAndFromAStream)
{
    const Bytes file = readFile(std::string(PCMWRAP_SOURCE_DIR) + "/fuzz/corpus/wav_reader/rf64-s24.wav");
    WavReader inMemory(std::as_bytes(std::span(file)));
    PipeFeed feed(file);
    WavReader onStream(feed.readEnd);
    for (WavReader* reader : {&inMemory, &onStream}) {
        ASSERT_FALSE(reader->chunks().empty());
        EXPECT_EQ(reader->chunks().front().id, "ds64");
        EXPECT_EQ(reader->chunks().front().offset, 20u);
        EXPECT_EQ(reader->chunks()[1].id, "fmt ");
    }
}

}  // namespace
