#include "convert/wav_sample_writer.h"

#include <poll.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "convert/exit_status.h"
#include "convert/interruption.h"
#include "convert/sample_conversion.h"

namespace {

// Refused before anything is created: nothing below may divide by a block align of 0
// or write a record whose block align does not match its channels and bits.
void exitIfUnconvertible(const PcmSettings& settings)
{
    if (const auto message = unconvertibleFormatMessage(settings)) {
        std::cout << *message << std::endl;
        std::exit(kExitUnconvertibleFormat);
    }
}

}  // namespace

WavSampleWriter::WavSampleWriter(const PcmSettings& settings, const std::string& name,
                                 std::optional<std::uint64_t> dumpBytes, bool growable)
    : format_(pcmFormatRecord(settings)), name_(name), littleEndian_(settings.littleEndian)
{
    exitIfUnconvertible(settings);
    if (!dumpBytes && growable) {
        form_ = Form::kGrowable;
    } else if (dumpBytes && wav_needs_rf64(&format_, *dumpBytes) != 0) {
        form_ = Form::kRf64;
    }
    const auto create = form_ == Form::kRf64 ? wav_create_rf64 : form_ == Form::kGrowable ? wav_create_growable : wav_create;
    const std::int32_t created = create(name_.c_str(), &handle_, &format_, &dataChunk_, &riffChunk_);
    if (created == static_cast<std::int32_t>(MMIOERR_INVALIDFILE)) {
        // Nothing was written to it; the driver skips the pair.
        std::cout << "Error creating <" << name_ << ">: not a regular file" << std::endl << std::endl;
        return;
    }
    if (created != 0) {
        failWith("Error creating <", created);
    }
    beginData();
}

WavSampleWriter::WavSampleWriter(const PcmSettings& settings, const std::string& name, int descriptor,
                                 std::optional<std::uint64_t> dumpBytes)
    : format_(pcmFormatRecord(settings)), name_(name), littleEndian_(settings.littleEndian), descriptor_(descriptor)
{
    exitIfUnconvertible(settings);
    MMIOINFO info{};
    handle_ = mmioOpenDescriptor(descriptor, &info);
    if (handle_ == nullptr) {
        failWith("Error creating <", WAV_ERR_WRITE_FAILED);
    }
    // A regular file on standard output takes its sizes in place when they are not known
    // at the start; otherwise the header goes out once, sized as the stream decides.
    if (!dumpBytes && !mmioIsStream(handle_)) {
        form_ = Form::kGrowable;
        if (const std::int32_t result = wav_begin_growable(handle_, &format_, &dataChunk_, &riffChunk_);
            result != 0) {
            failWith("Error creating <", result);
        }
        beginData();
        return;
    }
    form_ = Form::kStream;
    announced_ = dumpBytes;
    created_ = true;
    // A stream whose reader takes nothing must not hold a run that was asked to stop.
    mmioSetStreamWake(handle_, interruptionDescriptor());
    const std::uint64_t size = dumpBytes ? *dumpBytes : WAV_STREAM_SIZE_UNKNOWN;
    if (const std::int32_t result = wav_begin_stream(handle_, &format_, size, &dataChunk_, &io_); result != 0) {
        failWith("Error creating <", result);
    }
    uncaughtExceptions_ = std::uncaught_exceptions();
}

void WavSampleWriter::beginData()
{
    // Kept for settling a failed file through the descriptor it was written with.
    spare_ = mmioDuplicate(handle_);
    created_ = true;
    if (const std::int32_t result = wav_begin_data(&handle_, &dataChunk_, &io_); result != 0) {
        failWith("Error creating <", result);
    }
    begunDataChunk_ = dataChunk_;
    uncaughtExceptions_ = std::uncaught_exceptions();
}

WavSampleWriter::~WavSampleWriter()
{
    if (!created_) {
        return;
    }
    if (const std::int32_t result = finish(); result != 0) {
        // A stream cut short by its dump, or given up for a stop: the driver says so.
        if (form_ == Form::kStream && (result == WAV_ERR_TRUNCATED || interruptionSignal() != 0)) {
            return;
        }
        settle();
        if (std::uncaught_exceptions() > uncaughtExceptions_) {
            closeSpare();
            return;
        }
        failWith("Error writing to <", result);
    }
    closeSpare();
}

void WavSampleWriter::closeSpare()
{
    if (spare_ != nullptr) {
        mmioClose(spare_, 0);
        spare_ = nullptr;
    }
}

void WavSampleWriter::write(std::span<const std::uint8_t, kChunkBytes> source, std::uint32_t count)
{
    // Never more than the buffer holds, whatever a caller passes.
    count = std::min<std::uint32_t>(count, kChunkBytes);
    // Little-endian samples are already in the file's order and go from the source as
    // they are. Otherwise the bytes past count are converted too but never written.
    // Construction let only 16 and 24 bits through.
    const std::uint8_t* bytes = source.data();
    if (!littleEndian_) {
        if (format_.wBitsPerSample == 16) {
            swapSampleBytes16(source, buffer_);
        } else {
            reverseSampleBytes24(source, buffer_);
        }
        bytes = buffer_.data();
    }
    DWORD written = 0;
    const std::int32_t result = wav_write(handle_, count, bytes, &dataChunk_, &written, &io_);
    bytesPlaced_ += written;
    if (result != 0 || written < count) {
        if (form_ == Form::kStream && interruptionSignal() != 0) {
            // Given up for a stop: the driver reports the interruption, as for a file.
            finish();
            return;
        }
        // Finishing only closes the failed file here (or finishes it over all it holds);
        // settling then makes its header describe what reached the disk.
        finish();
        settle();
        failWith("Error writing to <", result);
    }
    countFrames(count);
}

// The count is that of the whole file, total bytes over block align: a frame may straddle
// two chunks when the block align does not divide the chunk size (5 channels of 24 bits
// make 15 bytes), so the bytes of an incomplete frame carry over to the next chunk.
void WavSampleWriter::countFrames(std::uint32_t count)
{
    const std::uint32_t bytes = partialFrameBytes_ + count;
    frames_ += bytes / format_.nBlockAlign;
    partialFrameBytes_ = bytes % format_.nBlockAlign;
}

// A RIFF file holds fewer than 2^32 bytes, so its frame count fits its 32-bit field.
std::int32_t WavSampleWriter::finish()
{
    switch (form_) {
    case Form::kRf64: return wav_finish_rf64(&handle_, &dataChunk_, &riffChunk_, &io_, frames_);
    case Form::kGrowable: return wav_finish_growable(&handle_, &dataChunk_, &riffChunk_, &io_, frames_);
    case Form::kStream:
        return wav_finish_stream(&handle_, &dataChunk_, &io_, announced_ ? *announced_ : WAV_STREAM_SIZE_UNKNOWN);
    case Form::kRiff: break;
    }
    return wav_finish(&handle_, &dataChunk_, &riffChunk_, &io_, static_cast<DWORD>(frames_));
}

// After a failed write or finish, with the file closed: settles its header over what
// reached the disk. A failure of the settling itself is not reported; the first is.
void WavSampleWriter::settle() const
{
    switch (form_) {
    case Form::kRf64: wav_settle_rf64(spare_, &begunDataChunk_, bytesPlaced_, format_.nBlockAlign); return;
    case Form::kGrowable: wav_settle_growable(spare_, &begunDataChunk_, bytesPlaced_, format_.nBlockAlign); return;
    case Form::kStream: return;  // what went out cannot be revisited
    case Form::kRiff: break;
    }
    const auto placed = static_cast<DWORD>(std::min<std::uint64_t>(bytesPlaced_, 0xFFFFFFFFu));
    wav_settle(spare_, &begunDataChunk_, placed, format_.nBlockAlign);
}

// Ends the process without unwinding; a file that was being written has been settled.
void WavSampleWriter::failWith(const char* messageStart, std::int32_t result) const
{
    exitIfReaderGone();
    std::cout << messageStart << name_ << ">, code <" << result << ">" << std::endl << std::endl;
    std::exit(exitStatusForWaveResult(result));
}

// A stream whose reader went away ends the run at once and quietly, as the standard tools
// end: SIGPIPE kills them; when it is ignored, the write fails and lands here.
void WavSampleWriter::exitIfReaderGone() const
{
    if (form_ != Form::kStream || descriptor_ < 0) {
        return;
    }
    pollfd output{descriptor_, POLLOUT, 0};
    if (poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0) {
        std::exit(kExitSignalBase + SIGPIPE);
    }
}
