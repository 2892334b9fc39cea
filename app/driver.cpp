#include "app/driver.h"

#include <iostream>

#include "app/conversion_options.h"
#include "convert/chunk.h"
#include "convert/sample_dump_reader.h"

namespace {

void convertPair(const std::string& inputName, const std::string& outputName)
{
    std::cout << inputName << " ->  " << outputName << std::endl;
    SampleDumpReader reader(inputName);
    if (!reader.ok()) {
        // The reader has reported it; no output file is made for this pair.
        return;
    }
    // Until the WavSampleWriter exists the dump is only read through. The writer is made
    // here on outputName, each chunk (the last, short one included) is handed to it before
    // the length test, and it is destroyed before the reader.
    while (reader.readChunk() == kChunkBytes) {
    }
}

}  // namespace

int runConversion(int argc, char** argv)
{
    // One handler around everything: unwinding finishes an open output file and closes the
    // input before the failure is reported, and no later pair is started.
    try {
        const ConversionOptions options(argc, argv);
        auto output = options.outputsBegin();
        for (auto input = options.inputsBegin(); input != options.inputsEnd(); ++input, ++output) {
            convertPair(*input, *output);
        }
        return 0;
    } catch (const std::ios_base::failure& failure) {
        std::cout << "failed: " << failure.what() << std::endl;
        return 1;
    }
}
