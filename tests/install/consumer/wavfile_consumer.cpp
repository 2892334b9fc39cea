// Uses the installed C++ WAVE file API through the header name of earlier releases:
// writes a short tone to the file named on the command line and reads it back.
#include <pcmwrap/wave/wav_file.h>

#include <array>
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: pcmwrap_wavfile_consumer <file.wav>\n");
        return 2;
    }
    const std::array<std::int16_t, 4> written{1, -2, 3000, -32768};
    pcmwrap::WavWriter writer(argv[1], pcmwrap::WavFormat{2, 8000, 16});
    writer.writeFrames(written);
    writer.finish();
    pcmwrap::WavReader reader(argv[1]);
    std::array<std::int16_t, 4> read{};
    if (reader.readFrames(read) != 2 || read != written) {
        std::printf("read back other samples\n");
        return 1;
    }
    return 0;
}
