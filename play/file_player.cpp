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

// The data of one file on its way to the ring: read into `input`, turned into ring
// frames in `output`, queued.
class DataQueue {
public:
    DataQueue(const SourceFrames& source, RingOutput& ring) : source_(source), ring_(ring) {}

    BYTE* readTarget() { return input_.data() + carried_; }
    std::uint64_t framesQueued() const { return framesQueued_; }

    // Queues the whole frames among what was carried and the `delivered` bytes just read;
    // the bytes of a frame that the read cut move to the front for the next. Returns
    // playback_queue's code.
    std::int32_t queue(DWORD delivered)
    {
        const std::size_t bytes = carried_ + delivered;
        const std::size_t frames = bytes / source_.frameBytes();
        toRingFrames(source_, input_.data(), frames, output_.data());
        carried_ = bytes % source_.frameBytes();
        std::memmove(input_.data(), input_.data() + frames * source_.frameBytes(), carried_);
        framesQueued_ += frames;
        return ring_.play(output_.data(), frames * kRingFrameBytes);
    }

private:
    const SourceFrames& source_;
    RingOutput& ring_;
    std::array<BYTE, kReadBytes + kLargestFrameBytes> input_{};
    std::array<BYTE, kLargestRingBytes> output_{};
    std::size_t carried_ = 0;
    std::uint64_t framesQueued_ = 0;
};

// Reads, converts and queues the whole data chunk, then waits until it has played.
FilePlayResult playData(const std::string& name, WaveDataReader& reader, const SourceFrames& source,
                        RingOutput& ring)
{
    ProgressLine progress(reader.dataBytes() / source.frameBytes());
    DataQueue data(source, ring);
    for (;;) {
        DWORD delivered = 0;
        const std::int32_t readResult = reader.read(data.readTarget(), kReadBytes, &delivered);
        // A data chunk cut short by the end of the file still delivers what the file
        // holds, which plays before the failure is told.
        if (delivered > 0) {
            if (const std::int32_t result = data.queue(delivered); result != 0) {
                return {FileOutcome::DeviceFailed, result};
            }
            if (playback_events::interrupted()) {
                return {FileOutcome::Interrupted};
            }
            progress.show(data.framesQueued());
        }
        if (readResult != 0) {
            progress.end();
            reportUnreadable(name, readResult);
            return {FileOutcome::Unreadable};
        }
        if (delivered == 0) {
            break;
        }
    }
    const std::optional<std::int32_t> played = ring.waitUntilPlayed();
    if (!played) {
        return {FileOutcome::Interrupted};
    }
    if (*played != 0) {
        return {FileOutcome::DeviceFailed, *played};
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
    return playData(name, reader, *source, ring);
}
