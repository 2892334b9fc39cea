#pragma once
// What an archive asks of one output file beside its samples: a bext chunk, INFO tags,
// an MD5 of the data and its loudness, and the whole chunks that carry them, laid out
// before the file is created so that they also suit an output written only once.

#include <cstdint>
#include <optional>
#include <vector>

#include "wavfile/wav_file.h"

struct ArchivalMetadata {
    std::optional<pcmwrap::BroadcastExtension> bext;  // loudness implies one
    std::vector<pcmwrap::InfoTag> info;
    bool md5 = false;
    bool loudness = false;

    bool any() const { return bext.has_value() || !info.empty() || md5 || loudness; }
};

struct ArchivalLayout {
    std::vector<std::uint8_t> leading;  // the bext chunk, before fmt
    std::vector<std::uint8_t> middle;   // the LIST/INFO chunk, between fact and data
    std::uint32_t trailingBytes = 0;    // the "MD5 " chunk after data
    // The file offset of the bext loudness fields, rewritten at the end; 0 when the
    // loudness is not measured.
    std::uint32_t loudnessOffset = 0;

    std::uint64_t sideBytes() const { return leading.size() + middle.size() + trailingBytes; }
};

// rf64: the file starts with a ds64 chunk, which moves everything after it.
ArchivalLayout archivalLayout(const ArchivalMetadata& metadata, bool rf64);

// The whole "MD5 " chunk for a digest.
std::vector<std::uint8_t> md5Chunk(const pcmwrap::Md5Digest& digest);
