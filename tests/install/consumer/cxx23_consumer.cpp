// Built with -std=c++23 and pkg-config's flags: the installed headers take a newer
// standard than theirs, and pkg-config leaves the user's standard as it is.
#include <pcmwrap/wavfile/wav_file.h>

#include <cstdio>
#include <expected>
#include <string>

namespace {

std::expected<std::uint64_t, std::string> framesOf(const char* path)
{
    try {
        return pcmwrap::WavReader(path).frameCount();
    } catch (const pcmwrap::WavError& e) {
        return std::unexpected(e.what());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: pcmwrap_cxx23_consumer <file.wav>\n");
        return 2;
    }
    {
        pcmwrap::WavWriter writer(argv[1], pcmwrap::WavFormat{1, 8000, 16});
        const double samples[] = {0.25, -0.5, 0.75};
        writer.writeFrames(std::span<const double>(samples));
    }
    const auto frames = framesOf(argv[1]);
    if (!frames || *frames != 3) {
        std::printf("%s\n", frames ? "read back another frame count" : frames.error().c_str());
        return 1;
    }
    return 0;
}
