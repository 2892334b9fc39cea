#pragma once
// Recognises the headers of the sound file formats that people mistake for raw dumps, so
// the probe says "this is a WAVE file" instead of guessing samples from its header bytes.

#include <cstddef>
#include <span>
#include <string>

namespace pcmwrap::probe {

// The name of the container whose header the bytes (a file's first bytes) start with:
// "RIFF WAVE", "RF64 WAVE", "AIFF", "AIFC", "FLAC", "Ogg", "MP3", "Sun/NeXT .snd" or
// "CAF"; empty when they start with none of them.
std::string containerSignature(std::span<const std::byte> head);

}  // namespace pcmwrap::probe
