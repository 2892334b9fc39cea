#pragma once
// Writes one WAVE file from the chunks of one sample dump: creates it when constructed,
// turns each chunk's samples to least significant byte first and appends them, and
// finishes the file (sizes and frame count) when destroyed. A dump whose file would pass
// the largest RIFF file, as far as its size is known before it is read, is written as an
// RF64 file; any other gives a RIFF file, which stops at that limit with a write failure.
//
// An output name that exists as another kind of file than a regular one (a FIFO, a
// device, a socket, a directory) is refused with a message and left untouched; created()
// is then false and the writer does nothing more. Every other failure ends the process: a
// format it cannot write (status 2, before any file is made), or a failure of the wave
// layer (a message with the code, and the status of exitStatusForWaveResult). So a
// created writer always has an open, healthy file. A file whose writing or finishing
// failed is first settled over what reached the disk (wav_settle, wav_settle_rf64),
// through a spare handle on the descriptor it was written with, never by its name, so
// the samples there stay readable. When the finish fails while a stream failure unwinds
// through the writer, the file is settled and nothing is reported: the stream failure
// came first and is the one reported.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/archival_chunks.h"
#include "convert/chunk.h"
#include "convert/chunk_conversion.h"
#include "convert/format_block.h"
#include "convert/pcm_settings.h"
#include "wave/wave.h"

class ArchivalWriting;

class WavSampleWriter {
public:
    // dumpBytes: the length of the dump when it is known in advance. archival: the bext,
    // INFO, MD5 and loudness the file gets (convert/archival_writing.h); none or nothing
    // asked leaves the file byte for byte as without it.
    //
    // growable: a dump of unknown length gets a file that reserves the place of a ds64
    // chunk and becomes an RF64 file in place when it grows past the RIFF limit
    // (wav_create_growable); without it, or with archival chunks, such a dump gives a RIFF
    // file, which stops at the limit.
    WavSampleWriter(const PcmSettings& settings, const std::string& name,
                    std::optional<std::uint64_t> dumpBytes = std::nullopt, bool growable = false,
                    const ArchivalMetadata* archival = nullptr);
    // Writes to an open descriptor (standard output, or a FIFO or device named by -o),
    // which the caller keeps open until the writer is gone. One that cannot seek is a
    // stream: its header goes out once, first, with the exact sizes of dumpBytes, or the
    // streamed sizes when that is not known (wav_begin_stream); archival chunks go with it
    // (an MD5 chunk only when the size is known: said on standard output when it is left
    // out). When the stream's reader has gone away, the process ends with status 141
    // (128 + SIGPIPE) and prints nothing.
    WavSampleWriter(const PcmSettings& settings, const std::string& name, int descriptor,
                    std::optional<std::uint64_t> dumpBytes, const ArchivalMetadata* archival = nullptr);
    ~WavSampleWriter();
    WavSampleWriter(const WavSampleWriter&) = delete;
    WavSampleWriter& operator=(const WavSampleWriter&) = delete;

    // False when the output was refused as not a regular file; nothing may be written then.
    bool created() const { return created_; }

    // Converts the whole source chunk and appends what its first `count` bytes (at most
    // kChunkBytes) give (ChunkConversion::fileBytes) to the file. Samples already in the
    // file's form are appended as they are.
    void write(std::span<const std::uint8_t, kChunkBytes> source, std::uint32_t count);

    // Takes back the bytes of a frame begun but not completed, where they have not left
    // the file's buffer yet (all but a frame that straddles a flush of the 256 KiB
    // buffer), so the data ends on a whole frame when a conversion stops mid-frame.
    void dropPartialFrame();

    // For samples already in the file's form: appends up to `count` bytes read from the
    // descriptor of a regular file at its offset, copied inside the kernel, and returns
    // how many; fewer at the end of the source. A failed read raises the stream failure
    // exception, as the dump reader's does; a failed write ends the process as write() does.
    std::uint64_t append(int source, std::uint64_t count);
    // True when the data bytes must pass through write(): they are hashed or measured.
    bool seesEveryByte() const;

    // The data bytes a stream's header announced, when it announced them; the bytes written.
    std::optional<std::uint64_t> announcedBytes() const { return announced_; }
    std::uint64_t bytesWritten() const { return bytesPlaced_; }

private:
    [[noreturn]] void failWith(const char* messageStart, std::int32_t result) const;
    std::int32_t finish();
    void settle() const;
    void countFrames(std::uint64_t count);
    void feedArchival(const std::uint8_t* bytes, std::size_t count);
    void closeSpare();
    void beginData();
    void exitIfReaderGone() const;
    // What both constructors take first: the conversion, and the archival side if any.
    void takeSettings(const PcmSettings& settings, const ArchivalMetadata* archival);

    // How the file is made and finished: a RIFF or RF64 file of known size, a file that
    // grows into RF64 when it must, or a stream written once.
    enum class Form { kRiff, kRf64, kGrowable, kStream };

    HMMIO handle_ = nullptr;
    FormatBlock format_;
    MMCKINFO dataChunk_{};
    MMCKINFO riffChunk_{};
    MMIOINFO io_{};
    std::array<std::uint8_t, kChunkBytes> buffer_{};
    std::string name_;
    ChunkConversion conversion_;
    bool created_ = false;
    Form form_ = Form::kRiff;
    int descriptor_ = -1;  // of a writer made on a descriptor; the caller's
    std::optional<std::uint64_t> announced_;
    // A second handle on the file, open from its creation to the writer's end.
    HMMIO spare_ = nullptr;
    // Whole frames written so far, and the bytes of a frame begun but not yet complete.
    // 64 bits wide: an RF64 file may hold more than 2^32 frames.
    std::uint64_t frames_ = 0;
    std::uint64_t partialFrameBytes_ = 0;
    std::vector<std::uint8_t> heldFrameBytes_;  // an incomplete frame not yet hashed or measured
    // What settling a failed file needs: the data chunk as it was begun (wav_finish reuses
    // the record for the fact chunk), and every data byte placed, a failed write's included.
    MMCKINFO begunDataChunk_{};
    std::uint64_t bytesPlaced_ = 0;
    // Exceptions in flight when the writer was made: more at its end means it is unwinding.
    int uncaughtExceptions_ = 0;
    std::unique_ptr<ArchivalWriting> archival_;
};
