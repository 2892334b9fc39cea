#include "convert/archival_writing.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "wavfile/broadcast_metadata.h"

namespace {

// The true peak, 4 x oversampled, costs three times the rest of the loudness: its
// channels are split over this many threads.
constexpr std::size_t kTruePeakThreads = 2;

}  // namespace

ArchivalWriting::ArchivalWriting(const ArchivalMetadata& metadata, const WAVEFORMATEX& format)
    : metadata_(metadata), layout_(archivalLayout(metadata, false))
{
    if (metadata_.md5) {
        md5_ = std::make_unique<pcmwrap::Md5Hash>();
        feeds_.push_back(std::make_unique<BackgroundFeed>(
            [hash = md5_.get()](const std::uint8_t* bytes, std::size_t count) { hash->update(bytes, count); }));
    }
    if (metadata_.loudness) {
        loudness_ = std::make_unique<GatedLoudnessMeter>(format);
        feeds_.push_back(std::make_unique<BackgroundFeed>(
            [meter = loudness_.get()](const std::uint8_t* bytes, std::size_t count) { meter->add(bytes, count); }));
        const std::size_t threads = std::min<std::size_t>(kTruePeakThreads, format.nChannels);
        for (std::size_t first = 0; first < threads; ++first) {
            truePeaks_.push_back(std::make_unique<TruePeakMeter>(format, first, threads));
            feeds_.push_back(std::make_unique<BackgroundFeed>(
                [meter = truePeaks_.back().get()](const std::uint8_t* bytes, std::size_t count) { meter->add(bytes, count); }));
        }
    }
}

ArchivalWriting::~ArchivalWriting() = default;

std::int32_t ArchivalWriting::create(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format,
                                     MMCKINFO* chunk, MMCKINFO* riff, bool rf64)
{
    layout_ = archivalLayout(metadata_, rf64);
    return wav_create_with_chunks(fileName, handle, format, chunk, riff, rf64 ? 1 : 0, layout_.leading.data(),
                                  static_cast<DWORD>(layout_.leading.size()), layout_.middle.data(),
                                  static_cast<DWORD>(layout_.middle.size()));
}

void ArchivalWriting::add(const std::uint8_t* bytes, std::size_t count)
{
    for (const auto& feed : feeds_) {
        feed->add(bytes, count);
    }
}

bool ArchivalWriting::collect(std::vector<std::uint8_t>* trailing, std::vector<unsigned char>* loudnessFields)
{
    try {
        for (const auto& feed : feeds_) {
            feed->drain();
        }
        if (md5_) {
            *trailing = md5Chunk(md5_->digest());
        }
        if (loudness_) {
            LoudnessValues values;
            loudness_->fill(&values);
            double peak = 0;
            for (const auto& meter : truePeaks_) {
                peak = std::max(peak, meter->peak());
            }
            values.truePeak = 20 * std::log10(peak);
            pcmwrap::BroadcastExtension measured;
            measured.loudnessValue = loudnessField(values.integrated);
            measured.loudnessRange = loudnessField(values.range);
            measured.maxTruePeakLevel = loudnessField(values.truePeak);
            measured.maxMomentaryLoudness = loudnessField(values.maxMomentary);
            measured.maxShortTermLoudness = loudnessField(values.maxShortTerm);
            *loudnessFields = pcmwrap::meta::loudnessFieldBytes(measured);
        }
        return true;
    } catch (const std::exception&) {
        // The hash or the meter failed: the file is finished without what they give.
        trailing->clear();
        loudnessFields->clear();
        return false;
    }
}

std::int32_t ArchivalWriting::finish(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io,
                                     std::uint64_t frames)
{
    std::vector<std::uint8_t> trailing;
    std::vector<unsigned char> loudnessFields;
    const bool failed = !collect(&trailing, &loudnessFields);
    const DWORD patchOffset = loudnessFields.empty() ? 0 : layout_.loudnessOffset;
    const std::int32_t result =
        wav_finish_with_chunks(handle, chunk, riff, io, frames, trailing.data(), static_cast<DWORD>(trailing.size()),
                               patchOffset, loudnessFields.data(), static_cast<DWORD>(loudnessFields.size()));
    // A file without the MD5 or loudness it was asked for is not a success.
    return result == 0 && failed ? WAV_ERR_WRITE_FAILED : result;
}

std::int32_t ArchivalWriting::beginStream(HMMIO handle, const WAVEFORMATEX* format, std::uint64_t dataBytes,
                                          MMCKINFO* chunk, MMIOINFO* io)
{
    // Loudness is refused for streams before anything runs: nothing in the header is
    // revisited, so the layout's place of its fields does not matter.
    layout_ = archivalLayout(metadata_, false);
    streamTrailing_ = mayHashStream(dataBytes) ? layout_.trailingBytes : 0;
    return wav_begin_stream_with_chunks(handle, format, dataBytes, layout_.leading.data(),
                                        static_cast<DWORD>(layout_.leading.size()), layout_.middle.data(),
                                        static_cast<DWORD>(layout_.middle.size()), streamTrailing_, chunk, io);
}

std::int32_t ArchivalWriting::finishStream(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io, std::uint64_t dataBytes)
{
    std::vector<std::uint8_t> trailing;
    std::vector<unsigned char> loudnessFields;
    const bool failed = !collect(&trailing, &loudnessFields);
    if (trailing.size() != streamTrailing_) {
        // What the header announced is all a stream may carry after its data.
        trailing.clear();
    }
    const std::int32_t result =
        wav_finish_stream_with_chunks(handle, chunk, io, dataBytes, trailing.data(), static_cast<DWORD>(trailing.size()));
    return result == 0 && (failed || trailing.size() != streamTrailing_) ? WAV_ERR_WRITE_FAILED : result;
}
