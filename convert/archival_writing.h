#pragma once
// The side of one WAVE file's writing that an archive asks for: the bext and INFO chunks
// written when the file is created, the data bytes hashed and measured beside the
// conversion (each on a thread of its own), and at the end the "MD5 " chunk after the
// data and the measured loudness in the bext chunk. Through the wave layer's functions
// for side chunks, so the rest of the file is what the converter writes without them.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "convert/archival_chunks.h"
#include "convert/background_feed.h"
#include "convert/loudness_meter.h"
#include "wave/wave.h"
#include "wavfile/md5_hash.h"

class ArchivalWriting {
public:
    ArchivalWriting(const ArchivalMetadata& metadata, const WAVEFORMATEX& format);
    ~ArchivalWriting();
    ArchivalWriting(const ArchivalWriting&) = delete;
    ArchivalWriting& operator=(const ArchivalWriting&) = delete;

    // The bytes the side chunks add to the file, for the choice of RIFF or RF64.
    std::uint64_t sideBytes() const { return layout_.sideBytes(); }

    // As wav_create or wav_create_rf64, with the bext and LIST chunks in their places.
    std::int32_t create(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                        MMCKINFO* riff, bool rf64);
    // True when the data bytes are hashed or measured: they must all pass through add().
    bool seesData() const { return !feeds_.empty(); }
    // As wav_begin_stream, with the bext and LIST chunks in their places, and the MD5
    // chunk's bytes counted when the stream's size is known (one of unknown size ends with
    // its data, so it gets none: mayHashStream() says so beforehand).
    std::int32_t beginStream(HMMIO handle, const WAVEFORMATEX* format, std::uint64_t dataBytes, MMCKINFO* chunk,
                             MMIOINFO* io);
    // As wav_finish_stream, with the "MD5 " chunk after the data when beginStream counted it.
    std::int32_t finishStream(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io, std::uint64_t dataBytes);
    // False when an MD5 chunk was asked for but a stream of that size cannot carry one.
    bool mayHashStream(std::uint64_t dataBytes) const { return !md5_ || dataBytes != WAV_STREAM_SIZE_UNKNOWN; }
    // The data bytes as they go into the file.
    void add(const std::uint8_t* bytes, std::size_t count);
    // As wav_finish or wav_finish_rf64, with the "MD5 " chunk and the loudness fields.
    std::int32_t finish(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, std::uint64_t frames);

private:
    // Waits for the hash and the meters: the trailing MD5 chunk (when asked) and the
    // loudness fields (when measured); false when one of them failed.
    bool collect(std::vector<std::uint8_t>* trailing, std::vector<unsigned char>* loudnessFields);

    ArchivalMetadata metadata_;
    ArchivalLayout layout_;
    DWORD streamTrailing_ = 0;  // the trailing bytes a stream's header counted
    std::unique_ptr<pcmwrap::Md5Hash> md5_;
    std::unique_ptr<GatedLoudnessMeter> loudness_;
    std::vector<std::unique_ptr<TruePeakMeter>> truePeaks_;
    // Declared after what they feed, so that their threads stop first: one thread for the
    // hash, one for the gated loudness, and the true peak split over up to two more.
    std::vector<std::unique_ptr<BackgroundFeed>> feeds_;
};
