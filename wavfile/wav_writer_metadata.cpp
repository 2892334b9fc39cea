// WavWriter's broadcast metadata: the bext and LIST/INFO chunks, judged and laid out by
// the one parser of broadcast_metadata, go before the data like any chunk added early.

#include <stdexcept>

#include "wavfile/broadcast_metadata.h"
#include "wavfile/wav_file.h"

namespace pcmwrap {

namespace {

void refuseIf(const std::string& problem, const std::string& what)
{
    if (!problem.empty()) {
        throw std::invalid_argument("WavWriter: " + what + ": " + problem);
    }
}

}  // namespace

void WavWriter::setBroadcastExtension(const BroadcastExtension& bext)
{
    if (frameCount() != 0) {
        throw std::logic_error("WavWriter::setBroadcastExtension: after the first frames");
    }
    refuseIf(meta::textProblem(bext.description, meta::kDescriptionBytes), "description");
    refuseIf(meta::textProblem(bext.originator, meta::kOriginatorBytes), "originator");
    refuseIf(meta::textProblem(bext.originatorReference, meta::kOriginatorReferenceBytes), "originator reference");
    if (!bext.originationDate.empty()) {
        refuseIf(meta::dateProblem(bext.originationDate), "origination date");
    }
    if (!bext.originationTime.empty()) {
        refuseIf(meta::timeProblem(bext.originationTime), "origination time");
    }
    refuseIf(meta::codingHistoryProblem(bext.codingHistory), "coding history");
    const std::vector<unsigned char> data = meta::bextChunkData(bext);
    addChunk("bext", std::as_bytes(std::span(data)));
}

void WavWriter::setInfoTags(std::span<const InfoTag> tags)
{
    if (frameCount() != 0) {
        throw std::logic_error("WavWriter::setInfoTags: after the first frames");
    }
    for (const InfoTag& tag : tags) {
        refuseIf(meta::infoIdProblem(tag.id), "INFO id <" + tag.id + ">");
        refuseIf(meta::textProblem(tag.text, 0xFFFFFF), "INFO " + tag.id);
    }
    const std::vector<unsigned char> data = meta::infoListData(tags);
    addChunk("LIST", std::as_bytes(std::span(data)));
}

}  // namespace pcmwrap
