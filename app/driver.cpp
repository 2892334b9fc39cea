#include "app/driver.h"

#include <iostream>

#include "app/conversion_options.h"
#include "app/same_file.h"
#include "convert/chunk.h"
#include "convert/exit_status.h"
#include "convert/pcm_settings.h"
#include "convert/sample_dump_reader.h"
#include "convert/wav_sample_writer.h"

namespace {

void convertPair(const PcmSettings& settings, const std::string& inputName, const std::string& outputName)
{
    std::cout << inputName << " ->  " << outputName << std::endl;
    SampleDumpReader reader(inputName);
    if (!reader.ok()) {
        // The reader has reported it; no output file is made for this pair.
        return;
    }
    // Creating the output would empty the very dump about to be read.
    if (isSameFile(inputName, outputName)) {
        std::cout << "Error creating <" << outputName << ">: same file as the input" << std::endl << std::endl;
        return;
    }
    // Declared after the reader, so destroyed (and its file finished) first.
    WavSampleWriter writer(settings, outputName, reader.knownSize());
    // The last, short chunk (even an empty one) is handed over too before the loop ends.
    std::uint32_t count = 0;
    do {
        count = reader.readChunk();
        writer.write(reader.buffer(), count);
    } while (count == kChunkBytes);
}

}  // namespace

int runConversion(int argc, char** argv)
{
    // One handler around everything: unwinding finishes an open output file and closes the
    // input before the failure is reported, and no later pair is started.
    try {
        const ConversionOptions options(argc, argv);
        const PcmSettings settings{options.channels(), options.rate(), options.bits()};
        auto output = options.outputsBegin();
        for (auto input = options.inputsBegin(); input != options.inputsEnd(); ++input, ++output) {
            convertPair(settings, *input, *output);
        }
        return kExitSuccess;
    } catch (const std::ios_base::failure& failure) {
        std::cout << "failed: " << failure.what() << std::endl;
        return kExitStreamFailure;
    }
}
