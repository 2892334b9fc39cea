#include "play/file_player.h"

#include <array>
#include <cstring>
#include <iostream>
#include <optional>

#include "play/playback_events.h"
#include "play/progress_line.h"
#include "play/ring_frames.h"
#include "play/ring_output.h"
#include "play/wave_data_reader.h"

namespace {

constexpr DWORD kReadBytes = 8192;
constexpr std::size_t kLargestFrameBytes = 6;  // 24-bit stereo
// The most ring bytes one read can give: mono 16-bit doubles its bytes.
constexpr std::size_t kLargestRingBytes = (kReadBytes + kLargestFrameBytes) / 2 * kRingFrameBytes;

void reportUnreadable(const std::string& name, std::int32_t result)
{
    std::cout << "Error reading <" << name << ">, code <" << result << ">" << std::endl;
}

// Reads, converts and queues the whole data chunk.
FilePlayResult queueData(const std::string& name, WaveDataReader& reader, const SourceFrames& source,
                         RingOutput& ring)
{
    ProgressLine progress(reader.dataBytes() / source.frameBytes());
    std::array<BYTE, kReadBytes + kLargestFrameBytes> input{};
    std::array<BYTE, kLargestRingBytes> output{};
    std::size_t carried = 0;  // the bytes of a frame that the last read cut
    std::uint64_t queuedFrames = 0;
    for (;;) {
        DWORD delivered = 0;
        if (const std::int32_t result = reader.read(input.data() + carried, kReadBytes, &delivered); result != 0) {
            progress.end();
            reportUnreadable(name, result);
            return {FileOutcome::Unreadable};
        }
        if (delivered == 0) {
            break;
        }
        const std::size_t bytes = carried + delivered;
        const std::size_t frames = bytes / source.frameBytes();
        toRingFrames(source, input.data(), frames, output.data());
        carried = bytes % source.frameBytes();
        std::memmove(input.data(), input.data() + frames * source.frameBytes(), carried);
        if (const std::int32_t result = ring.play(output.data(), frames * kRingFrameBytes); result != 0) {
            return {FileOutcome::DeviceFailed, result};
        }
        if (playback_events::interrupted()) {
            return {FileOutcome::Interrupted};
        }
        queuedFrames += frames;
        progress.show(queuedFrames);
    }
    if (!ring.waitUntilPlayed()) {
        return {FileOutcome::Interrupted};
    }
    progress.showEnd();
    return {FileOutcome::Played};
}

}  // namespace

FilePlayResult playFile(const std::string& name, RingOutput& ring)
{
    WaveDataReader reader(name.c_str());
    if (reader.result() != 0) {
        reportUnreadable(name, reader.result());
        return {FileOutcome::Unreadable};
    }
    const std::optional<SourceFrames> source = playableFrames(reader.format());
    if (!source) {
        std::cout << "Skipping <" << name << ">: " << describeFormat(reader.format()) << "; the output plays "
                  << kPlayableFormats << std::endl;
        return {FileOutcome::Skipped};
    }
    std::cout << "Playing <" << name << ">" << std::endl;
    return queueData(name, reader, *source, ring);
}
