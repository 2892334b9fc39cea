#include "play/source_opening.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <fstream>
#include <iostream>
#include <span>
#include <system_error>
#include <vector>

#include "play/raw_dump_source.h"
#include "play/ring_frame_feed.h"
#include "play/wav_file_source.h"
#include "probe/container_signature.h"
#include "probe/file_windows.h"
#include "probe/format_description.h"
#include "probe/probe.h"
#include "wavfile/wav_file.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;

constexpr const char* kStandardInputName = "-";

pcmwrap::SampleKind kindOf(Encoding encoding)
{
    return encoding == Encoding::kFloat      ? pcmwrap::SampleKind::kFloat
           : encoding == Encoding::kUnsigned ? pcmwrap::SampleKind::kUnsigned
                                             : pcmwrap::SampleKind::kSigned;
}

// Standard input cannot be read twice: the bytes the probe reads are kept to be played.
std::vector<unsigned char> probeBudgetOfStandardInput()
{
    std::vector<unsigned char> bytes(pcmwrap::probe::kReadBudget);
    std::size_t held = 0;
    while (held < bytes.size()) {
        const ssize_t got = read(STDIN_FILENO, bytes.data() + held, bytes.size() - held);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw UnreadableFile(std::generic_category().message(errno));
        }
        if (got == 0) {
            break;
        }
        held += static_cast<std::size_t>(got);
    }
    bytes.resize(held);
    return bytes;
}

RawDumpFormat probedFormat(const std::string& name, std::int32_t rate, const std::vector<unsigned char>& prefix,
                           std::string* told)
{
    const ProbeResult result = name == kStandardInputName
                                   ? pcmwrap::probe::probeBytes(std::as_bytes(std::span(prefix)))
                                   : pcmwrap::probe::probeFile(name);
    if (result.verdict == Verdict::kError) {
        throw UnreadableFile(result.message);
    }
    if (result.verdict != Verdict::kFormat) {
        throw UnplayableFile("the probe cannot tell its format: " + pcmwrap::probe::describeVerdict(result));
    }
    const Candidate& found = result.format;
    if (found.offset != 0) {
        // Raw playing takes samples from the first byte.
        throw UnplayableFile("the probe tells " + pcmwrap::probe::describe(found) + ", which is not played raw");
    }
    const std::optional<pcmwrap::SampleFormat> sample =
        pcmwrap::sampleFormatOf(found.bits, pcmwrap::probe::sampleBytes(found), kindOf(found.encoding));
    if (!sample) {
        throw UnplayableFile("the probe tells " + pcmwrap::probe::describe(found) + ", which the player does not take");
    }
    RawDumpFormat format;
    format.sampleRate = static_cast<std::uint32_t>(rate);
    format.sample = *sample;
    format.channels = static_cast<unsigned>(found.channels);
    format.bigEndian = found.byteOrder == ByteOrder::kBig;
    if (told != nullptr) {
        *told = pcmwrap::probe::describe(found);
    }
    return format;
}

// The sound file format a regular file's first bytes name (the probe's list), or
// nothing. A stream is not looked into: what is read from it is gone.
std::string containerOf(const std::string& name)
{
    struct stat status {};
    if (stat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return {};
    }
    // Enough for two MP3 frame headers, the longest check of the list.
    std::array<char, 4096> head{};
    std::ifstream file(name, std::ios::binary);
    file.read(head.data(), head.size());
    const auto got = static_cast<std::size_t>(file.gcount());
    return pcmwrap::probe::containerSignature(std::as_bytes(std::span(head.data(), got)));
}

bool isWaveContainer(const std::string& container)
{
    return container == "RIFF WAVE" || container == "RF64 WAVE";
}

}  // namespace

std::unique_ptr<PcmSource> openSource(const std::string& name, const PlayerOptions& options, std::string* told)
{
    std::unique_ptr<PcmSource> source;
    const std::string container = options.rawFormat() ? containerOf(name) : std::string();
    if (isWaveContainer(container)) {
        // Raw settings would play its header and samples as noise at full scale.
        std::cerr << name << ": a WAVE file: -r/-b/-c/-l ignored" << std::endl;
        source = std::make_unique<WavFileSource>(name);
    } else if (!container.empty()) {
        throw UnplayableFile("container: " + container + "; raw settings apply to dumps only");
    } else if (options.probeDumps()) {
        std::vector<unsigned char> prefix;
        if (name == kStandardInputName) {
            prefix = probeBudgetOfStandardInput();
        }
        const RawDumpFormat format = probedFormat(name, options.rawRate(), prefix, told);
        source = std::make_unique<RawDumpSource>(name, format, std::move(prefix));
    } else if (options.rawFormat()) {
        source = std::make_unique<RawDumpSource>(name, *options.rawFormat());
    } else if (name == kStandardInputName) {
        source = std::make_unique<WavFileSource>(STDIN_FILENO);
    } else {
        source = std::make_unique<WavFileSource>(name);
    }
    if (const std::optional<std::string> reason = unplayableReason(*source)) {
        throw UnplayableFile(*reason);
    }
    return source;
}

bool isFormatRefusal(const std::exception& error)
{
    const auto* refusal = dynamic_cast<const pcmwrap::WavError*>(&error);
    return refusal != nullptr && refusal->sampleFormatRefused();
}

std::string reasonOf(const std::exception& error)
{
    const auto* refusal = dynamic_cast<const pcmwrap::WavError*>(&error);
    return refusal != nullptr ? refusal->reason() : error.what();
}
