#include "convert/wav_sample_writer.h"

#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "convert/archival_writing.h"
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

// Why a file could not be created is not in the layer's code: a name that exists as
// another kind of file was refused untouched (on the descriptor, whatever the name
// shows by now), and that is told apart from other failures here.
bool existsAsOtherThanRegularFile(const std::string& name)
{
    struct stat status {};
    return stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

// The record the hash and the meters read the data by: an extensible block's samples
// are those of its subformat.
WAVEFORMATEX meteredFormat(const FormatBlock& block)
{
    WAVEFORMATEX record = block.record;
    if (record.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        record.wFormatTag = static_cast<WORD>(block.subFormat[0] | (block.subFormat[1] << 8));
        record.cbSize = 0;
    }
    return record;
}

}  // namespace

WavSampleWriter::WavSampleWriter(const PcmSettings& settings, const std::string& name,
                                 std::optional<std::uint64_t> dumpBytes, bool growable,
                                 const ArchivalMetadata* archival)
    : format_(formatBlock(settings)), name_(name)
{
    takeSettings(settings, archival);
    const std::uint64_t sideBytes = archival_ ? archival_->sideBytes() : 0;
    // The side chunks' place is fixed when the file is made: a file that grows into RF64
    // in place does not take them.
    if (!dumpBytes && growable && !archival_) {
        form_ = Form::kGrowable;
    } else if (dumpBytes &&
               wav_needs_rf64_with_chunks(&format_.record, conversion_.fileBytes(*dumpBytes), sideBytes) != 0) {
        form_ = Form::kRf64;
    }
    std::int32_t created = 0;
    if (archival_) {
        created = archival_->create(name_.c_str(), &handle_, &format_.record, &dataChunk_, &riffChunk_,
                                    form_ == Form::kRf64);
    } else {
        const auto create = form_ == Form::kRf64      ? wav_create_rf64
                            : form_ == Form::kGrowable ? wav_create_growable
                                                       : wav_create;
        created = create(name_.c_str(), &handle_, &format_.record, &dataChunk_, &riffChunk_);
    }
    if (handle_ == nullptr && existsAsOtherThanRegularFile(name_)) {
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
                                 std::optional<std::uint64_t> dumpBytes, const ArchivalMetadata* archival)
    : format_(formatBlock(settings)), name_(name), descriptor_(descriptor)
{
    takeSettings(settings, archival);
    MMIOINFO info{};
    handle_ = mmioOpenDescriptor(descriptor, &info);
    if (handle_ == nullptr) {
        failWith("Error creating <", WAV_ERR_WRITE_FAILED);
    }
    const std::optional<std::uint64_t> fileBytes =
        dumpBytes ? std::optional<std::uint64_t>(conversion_.fileBytes(*dumpBytes)) : std::nullopt;
    // A regular file on standard output takes its sizes in place when they are not known
    // at the start; otherwise the header goes out once, sized as the stream decides.
    if (!fileBytes && !mmioIsStream(handle_) && !archival_) {
        form_ = Form::kGrowable;
        if (const std::int32_t result = wav_begin_growable(handle_, &format_.record, &dataChunk_, &riffChunk_);
            result != 0) {
            failWith("Error creating <", result);
        }
        beginData();
        return;
    }
    form_ = Form::kStream;
    announced_ = fileBytes;
    created_ = true;
    // A stream whose reader takes nothing must not hold a run that was asked to stop.
    mmioSetStreamWake(handle_, interruptionDescriptor());
    const std::uint64_t size = fileBytes ? *fileBytes : WAV_STREAM_SIZE_UNKNOWN;
    if (archival_ && !archival_->mayHashStream(size)) {
        std::cout << "Note: <" << name_ << "> gets no MD5 chunk: a stream of unknown length ends with its data"
                  << std::endl;
    }
    const std::int32_t result = archival_ ? archival_->beginStream(handle_, &format_.record, size, &dataChunk_, &io_)
                                          : wav_begin_stream(handle_, &format_.record, size, &dataChunk_, &io_);
    if (result != 0) {
        failWith("Error creating <", result);
    }
    uncaughtExceptions_ = std::uncaught_exceptions();
}

void WavSampleWriter::takeSettings(const PcmSettings& settings, const ArchivalMetadata* archival)
{
    exitIfUnconvertible(settings);
    conversion_ = chunkConversion(*dumpFormat(settings), settings.littleEndian);
    if (archival != nullptr && archival->any()) {
        archival_ = std::make_unique<ArchivalWriting>(*archival, meteredFormat(format_));
    }
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
    // The whole chunk is converted (samples in the file's form copied), the bytes past
    // count too, which are never written: straight into the file's I/O buffer when a
    // whole converted chunk fits there, else through the writer's own.
    count = static_cast<std::uint32_t>(conversion_.fileBytes(count));
    const auto kernel = conversion_.kernel != nullptr ? conversion_.kernel : copySamples;
    if (io_.pchEndWrite - io_.pchNext >= static_cast<std::ptrdiff_t>(kChunkBytes)) {
        kernel(source, std::span<std::uint8_t, kChunkBytes>(reinterpret_cast<std::uint8_t*>(io_.pchNext), kChunkBytes));
        feedArchival(reinterpret_cast<const std::uint8_t*>(io_.pchNext), count);
        io_.pchNext += count;
        bytesPlaced_ += count;
        countFrames(count);
        return;
    }
    kernel(source, buffer_);
    const std::uint8_t* const bytes = buffer_.data();
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
    feedArchival(bytes, count);
    countFrames(count);
}

bool WavSampleWriter::seesEveryByte() const
{
    return archival_ && archival_->seesData();
}

// Whole frames go to the hash and the meters; the bytes of a frame not yet complete wait
// here, since a stop on a foreign word takes them out of the file again.
void WavSampleWriter::feedArchival(const std::uint8_t* bytes, std::size_t count)
{
    if (!archival_) {
        return;
    }
    const std::size_t frameBytes = format_.record.nBlockAlign;
    std::size_t lead = 0;
    if (!heldFrameBytes_.empty()) {
        lead = std::min(count, frameBytes - heldFrameBytes_.size());
        heldFrameBytes_.insert(heldFrameBytes_.end(), bytes, bytes + lead);
        if (heldFrameBytes_.size() < frameBytes) {
            return;
        }
        archival_->add(heldFrameBytes_.data(), heldFrameBytes_.size());
        heldFrameBytes_.clear();
    }
    const std::size_t whole = (count - lead) - (count - lead) % frameBytes;
    archival_->add(bytes + lead, whole);
    heldFrameBytes_.assign(bytes + lead + whole, bytes + count);
}

void WavSampleWriter::dropPartialFrame()
{
    // Bytes before pchNext in the buffer are the file's only once the buffer is handed back.
    if (partialFrameBytes_ == 0 || io_.pchNext - io_.pchBuffer < static_cast<std::ptrdiff_t>(partialFrameBytes_)) {
        return;
    }
    io_.pchNext -= partialFrameBytes_;
    bytesPlaced_ -= partialFrameBytes_;
    partialFrameBytes_ = 0;
    heldFrameBytes_.clear();
}

// The count is that of the whole file, total bytes over block align: a frame may straddle
// two chunks when the block align does not divide the chunk size (5 channels of 24 bits
// make 15 bytes), so the bytes of an incomplete frame carry over to the next chunk.
void WavSampleWriter::countFrames(std::uint64_t count)
{
    const std::uint64_t bytes = partialFrameBytes_ + count;
    frames_ += bytes / format_.record.nBlockAlign;
    partialFrameBytes_ = bytes % format_.record.nBlockAlign;
}

// A RIFF file holds fewer than 2^32 bytes, so its frame count fits its 32-bit field.
std::int32_t WavSampleWriter::finish()
{
    if (archival_) {
        // A cut last frame stays in the file, so it is hashed and measured too.
        archival_->add(heldFrameBytes_.data(), heldFrameBytes_.size());
        heldFrameBytes_.clear();
    }
    const std::uint64_t streamBytes = announced_ ? *announced_ : WAV_STREAM_SIZE_UNKNOWN;
    switch (form_) {
    case Form::kRf64:
        return archival_ ? archival_->finish(&handle_, &dataChunk_, &riffChunk_, &io_, frames_)
                         : wav_finish_rf64(&handle_, &dataChunk_, &riffChunk_, &io_, frames_);
    case Form::kGrowable: return wav_finish_growable(&handle_, &dataChunk_, &riffChunk_, &io_, frames_);
    case Form::kStream:
        return archival_ ? archival_->finishStream(&handle_, &dataChunk_, &io_, streamBytes)
                         : wav_finish_stream(&handle_, &dataChunk_, &io_, streamBytes);
    case Form::kRiff: break;
    }
    return archival_ ? archival_->finish(&handle_, &dataChunk_, &riffChunk_, &io_, frames_)
                     : wav_finish(&handle_, &dataChunk_, &riffChunk_, &io_, static_cast<DWORD>(frames_));
}

// After a failed write or finish, with the file closed: settles its header over what
// reached the disk. A failure of the settling itself is not reported; the first is.
void WavSampleWriter::settle() const
{
    const WORD blockAlign = format_.record.nBlockAlign;
    switch (form_) {
    case Form::kRf64: wav_settle_rf64(spare_, &begunDataChunk_, bytesPlaced_, blockAlign); return;
    case Form::kGrowable: wav_settle_growable(spare_, &begunDataChunk_, bytesPlaced_, blockAlign); return;
    case Form::kStream: return;  // what went out cannot be revisited
    case Form::kRiff: break;
    }
    const auto placed = static_cast<DWORD>(std::min<std::uint64_t>(bytesPlaced_, 0xFFFFFFFFu));
    wav_settle(spare_, &begunDataChunk_, placed, blockAlign);
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
