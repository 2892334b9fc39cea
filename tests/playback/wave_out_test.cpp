// The wave output device under the ring: what it opens, how headers pass through it,
// and where and in which order its callbacks come.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "device_control.h"
#include "audio/wave_out.h"
#include "audio/wave_out_testing.h"

namespace playbacktest {
namespace {

WAVEFORMATEX ringFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 176400;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    return format;
}

struct Message {
    UINT message;
    DWORD_PTR instance;
    DWORD_PTR param1;
    std::thread::id thread;
};

std::mutex messagesMutex;
std::vector<Message> messages;

void recordMessage(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    std::lock_guard lock(messagesMutex);
    messages.push_back({message, instance, param1, std::this_thread::get_id()});
}

std::vector<Message> takeMessages()
{
    std::lock_guard lock(messagesMutex);
    return std::exchange(messages, {});
}

// A header over its own bytes, prepared for the device.
struct Block {
    Block(HWAVEOUT device, std::uint32_t seed, std::size_t length) : bytes(blockBytes(seed, length))
    {
        header.lpData = reinterpret_cast<char*>(bytes.data());
        header.dwBufferLength = static_cast<DWORD>(length);
        header.dwFlags = WHDR_DONE;
        EXPECT_EQ(waveOutPrepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(flagsOf(header), WHDR_DONE | WHDR_PREPARED);
    }
    std::vector<BYTE> bytes;
    WAVEHDR header{};
};

TEST(WaveOut, OpensOnlyDeviceZeroInTheRingsFormatOnceAtATime)
{
    const WAVEFORMATEX good = ringFormat();
    HWAVEOUT device = nullptr;
    EXPECT_EQ(waveOutOpen(&device, 1, &good, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &good, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    for (int field = 0; field < 6; ++field) {
        WAVEFORMATEX bad = good;
        switch (field) {
        case 0: bad.wFormatTag = 3; break;
        case 1: bad.nChannels = 1; break;
        case 2: bad.nSamplesPerSec = 48000; break;
        case 3: bad.nAvgBytesPerSec = 88200; break;
        case 4: bad.nBlockAlign = 2; break;
        default: bad.wBitsPerSample = 8; break;
        }
        EXPECT_EQ(waveOutOpen(&device, 0, &bad, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT) << field;
    }
    EXPECT_EQ(waveOutOpen(nullptr, 0, &good, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&device, 0, nullptr, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&device, 0, &good, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&device, 0, &good, 0, 0, 0x00050000), MMSYSERR_INVALPARAM);
    EXPECT_EQ(device, nullptr);

    ASSERT_EQ(waveOutOpen(&device, 0, &good, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    HWAVEOUT second = nullptr;
    EXPECT_EQ(waveOutOpen(&second, 0, &good, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutOpen(&second, 0, &good, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_NE(second, device);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(second), MMSYSERR_NOERROR);
}

TEST(WaveOut, HeaderFlagsFollowTheBlockThroughTheDevice)
{
    DeviceControl control(true);
    const WAVEFORMATEX format = ringFormat();
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

    WAVEHDR unprepared{};
    unprepared.lpData = nullptr;
    EXPECT_EQ(waveOutWrite(device, &unprepared, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(device, &unprepared, sizeof(WAVEHDR) - 1), MMSYSERR_INVALPARAM);

    Block block(device, 1, 40);
    ASSERT_EQ(waveOutWrite(device, &block.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(flagsOf(block.header), WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(waveOutWrite(device, &block.header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(device, &block.header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);

    EXPECT_EQ(waveOutStepForTesting(5), 1u);
    EXPECT_EQ(flagsOf(block.header), WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(waveOutTakeRecordingForTesting(), block.bytes);
    EXPECT_EQ(waveOutUnprepareHeader(device, &block.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(flagsOf(block.header), WHDR_DONE);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

    EXPECT_EQ(waveOutPrepareHeader(device, &block.header, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutWrite(device, &block.header, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(device), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(nullptr), MMSYSERR_INVALHANDLE);
}

TEST(WaveOut, CallbacksComeInOrderOnTheDevicesThreadAndEndWithTheClose)
{
    DeviceControl control(true);
    const WAVEFORMATEX format = ringFormat();
    HWAVEOUT device = nullptr;
    takeMessages();
    ASSERT_EQ(waveOutOpen(&device, 0, &format, reinterpret_cast<DWORD_PTR>(&recordMessage), 77, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::deque<Block> blocks;  // not moved: the device holds their headers
    for (std::uint32_t seed = 0; seed < 5; ++seed) {
        blocks.emplace_back(device, seed, 4 * seed);
        ASSERT_EQ(waveOutWrite(device, &blocks.back().header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutStepForTesting(3), 3u);
    EXPECT_EQ(waveOutReset(device), MMSYSERR_NOERROR);  // hands back the last two unplayed
    for (const Block& block : blocks) {
        EXPECT_EQ(flagsOf(block.header), WHDR_PREPARED | WHDR_DONE);
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

    const std::vector<Message> got = takeMessages();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got.front().message, WOM_OPEN);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(got[i + 1].message, WOM_DONE) << i;
        EXPECT_EQ(got[i + 1].param1, reinterpret_cast<DWORD_PTR>(&blocks[i].header)) << i;
    }
    EXPECT_EQ(got.back().message, WOM_CLOSE);
    for (const Message& message : got) {
        EXPECT_EQ(message.instance, 77u);
        EXPECT_EQ(message.thread, got.front().thread);
        EXPECT_NE(message.thread, std::this_thread::get_id());
    }
    std::vector<BYTE> played;
    for (std::size_t i = 0; i < 3; ++i) {
        played.insert(played.end(), blocks[i].bytes.begin(), blocks[i].bytes.end());
    }
    EXPECT_EQ(waveOutTakeRecordingForTesting(), played);
}

// The default pace, without asserting on time: blocks still come back, in order, and a
// reset stops blocks that are playing.
TEST(WaveOut, RealTimePlaysInOrderAndStopsOnReset)
{
    DeviceControl control(false);
    const WAVEFORMATEX format = ringFormat();
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::deque<Block> blocks;
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
        blocks.emplace_back(device, seed, seed < 2 ? 441 * 4 : 8192);  // 10 ms, then 46 ms each
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(waveOutWrite(device, &blocks[i].header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(eventually([&] { return (flagsOf(blocks[1].header) & WHDR_DONE) != 0; }));
    EXPECT_NE(flagsOf(blocks[0].header) & WHDR_DONE, 0u);
    std::vector<BYTE> played = blocks[0].bytes;
    played.insert(played.end(), blocks[1].bytes.begin(), blocks[1].bytes.end());
    EXPECT_EQ(waveOutTakeRecordingForTesting(), played);

    for (int i = 2; i < 6; ++i) {
        ASSERT_EQ(waveOutWrite(device, &blocks[i].header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    for (int i = 2; i < 6; ++i) {
        EXPECT_EQ(flagsOf(blocks[i].header), WHDR_PREPARED | WHDR_DONE) << i;
    }
    // However far it got, it played whole blocks from the first written on.
    const std::vector<BYTE> cut = waveOutTakeRecordingForTesting();
    EXPECT_EQ(cut.size() % 8192, 0u);
    for (std::size_t i = 0; i < cut.size() / 8192; ++i) {
        EXPECT_TRUE(std::equal(blocks[i + 2].bytes.begin(), blocks[i + 2].bytes.end(), cut.begin() + 8192 * i));
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace playbacktest
