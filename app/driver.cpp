#include "app/driver.h"

#include <csignal>
#include <iostream>
#include <optional>

#include "app/conversion_options.h"
#include "app/output_guard.h"
#include "app/standard_descriptors.h"
#include "app/stream_output.h"
#include "convert/chunk.h"
#include "convert/chunk_conversion.h"
#include "convert/exit_status.h"
#include "convert/foreign_words.h"
#include "convert/interruption.h"
#include "convert/kernel_copy.h"
#include "convert/pcm_settings.h"
#include "convert/sample_dump_reader.h"
#include "convert/wav_sample_writer.h"

namespace {

enum class PairOutcome { kConverted, kSkipped, kStopped, kUnconvertible };

// Moves the dump across chunk by chunk. The last, short chunk (even an empty one) is
// handed over too before the loop ends. An interruption ends the copy after the chunk it
// cut, keeping only its whole samples, so the data stays a prefix of the full conversion.
// Returns the dump offset (past the skipped bytes) of a word whose dropped high byte
// would lose a sample (s24in32), after writing the whole frames before it; else nothing.
std::optional<std::uint64_t> copyChunks(SampleDumpReader& reader, WavSampleWriter& writer,
                                        const ChunkConversion& conversion, const PcmSettings& settings)
{
    const std::uint32_t bytesPerSample = conversion.dumpSampleBytes;
    std::uint64_t offset = 0;
    std::uint32_t count = 0;
    do {
        count = reader.readChunk();
        if (interruptionSignal() != 0) {
            writer.write(reader.buffer(), count - count % bytesPerSample);
            return std::nullopt;
        }
        if (const auto foreign = foreignWordOffset(reader.buffer(), count, conversion, settings)) {
            const std::uint64_t frameBytes =
                std::uint64_t{bytesPerSample} * static_cast<std::uint32_t>(settings.channels);
            const std::uint64_t frameStart = (offset + *foreign) / frameBytes * frameBytes;
            writer.write(reader.buffer(), static_cast<std::uint32_t>(frameStart > offset ? frameStart - offset : 0));
            // The frame may have begun in the chunk before.
            writer.dropPartialFrame();
            return offset + *foreign;
        }
        writer.write(reader.buffer(), count);
        offset += count;
    } while (count == kChunkBytes);
    return std::nullopt;
}

// A stream's header announced the dump's size: a dump that ends before it cannot be
// mended afterwards, the stream simply stops there.
bool reportedShortDump(const WavSampleWriter& writer, const std::string& inputName)
{
    const auto announced = writer.announcedBytes();
    if (!announced || writer.bytesWritten() >= *announced || interruptionSignal() != 0) {
        return false;
    }
    std::cout << "Error reading <" << inputName << ">: the dump is shorter than when the conversion began"
              << std::endl;
    return true;
}

PairOutcome convertPair(const PcmSettings& settings, const ConversionOptions& options, OutputGuard& guard,
                        const std::string& inputName, const std::string& outputName)
{
    std::cout << inputName << " ->  " << outputName << std::endl;
    SampleDumpReader reader(inputName);
    if (!reader.ok()) {
        // The reader has reported it; no output file is made for this pair.
        return PairOutcome::kSkipped;
    }
    // The settings are judged before anything about the output, so a mistaken option is
    // never hidden behind a refused output.
    if (const auto message = unconvertibleFormatMessage(settings)) {
        std::cout << *message << std::endl;
        return PairOutcome::kUnconvertible;
    }
    // Creating the output would empty a dump of this run or a file it wrote.
    if (const auto refusal = guard.refusal(inputName, outputName)) {
        std::cout << *refusal << std::endl << std::endl;
        return PairOutcome::kSkipped;
    }
    // Nothing is created once the run has been asked to stop.
    if (interruptionSignal() != 0) {
        return PairOutcome::kStopped;
    }
    // Only -o may name a stream: standard output, a FIFO or a device.
    std::optional<StreamOutput> stream;
    if (options.outputNamed()) {
        stream.emplace(outputName, options.waveStreamDescriptor());
        if (stream->stopped()) {
            return PairOutcome::kStopped;
        }
        if (stream->refusal()) {
            std::cout << *stream->refusal() << std::endl << std::endl;
            return PairOutcome::kSkipped;
        }
    }
    bool shortDump = false;
    std::optional<std::uint64_t> foreign;
    {
        reader.skip(settings.skipBytes);
        // Inside the reader's life, so destroyed (and its file finished) first.
        const ArchivalMetadata metadata = options.archival().metadataFor(inputName, settings);
        std::optional<WavSampleWriter> writer;
        if (stream && stream->descriptor() >= 0) {
            writer.emplace(settings, outputName, stream->descriptor(), reader.knownSize(), &metadata);
        } else {
            // A file named by -o for a dump of unknown length (a pipe) is settled as RIFF or
            // RF64 at its end; derived names keep the RIFF file of earlier releases.
            writer.emplace(settings, outputName, reader.knownSize(), options.outputNamed(), &metadata);
        }
        if (!writer->created()) {
            // Refused as not a regular file, and reported.
            return PairOutcome::kSkipped;
        }
        if (writer->announcedBytes()) {
            reader.stopAtKnownSize();
        }
        guard.noteWritten(inputName, outputName);
        // The format was judged convertible above.
        const ChunkConversion conversion = chunkConversion(*dumpFormat(settings), settings.littleEndian);
        // The kernel's copy passes the bytes by this process: not when they are hashed or measured.
        const bool copyInKernel = conversion.kernel == nullptr && !writer->seesEveryByte();
        if (const auto source = copyInKernel ? reader.kernelCopySource() : std::nullopt) {
            copyDumpInKernel(*source, *writer);
        } else {
            foreign = copyChunks(reader, *writer, conversion, settings);
        }
        shortDump = !foreign && reportedShortDump(*writer, inputName);
    }
    if (foreign) {
        std::cout << "Error reading <" << inputName << ">: not 24-bit samples in 32-bit words (byte offset <"
                  << settings.skipBytes + *foreign << ">)" << std::endl
                  << std::endl;
        return PairOutcome::kSkipped;
    }
    if (shortDump) {
        return PairOutcome::kSkipped;
    }
    if (interruptionSignal() != 0) {
        std::cout << "Interrupted: <" << outputName << "> holds the samples converted so far" << std::endl;
    }
    return PairOutcome::kConverted;
}

}  // namespace

int runConversion(int argc, char** argv)
{
    // Before anything opens a file, so that none lands on descriptor 0, 1 or 2.
    openClosedStandardDescriptors();
    // SIGINT, SIGTERM or SIGHUP: the file in progress is finished over what was converted,
    // no further pair starts, and the status is 128 + the signal's number.
    const InterruptionWatch interruptions;
    // A write past a file size limit (ulimit -f) would kill the process with nothing said
    // and the file unsettled; ignored, the write fails and is reported like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    // One handler around everything: unwinding finishes an open output file and closes the
    // input before the failure is reported, and no later pair is started.
    try {
        const ConversionOptions options(argc, argv);
        const PcmSettings settings{options.channels(),    options.rate(),      options.bits(), options.littleEndian(),
                                   options.sampleFormat(), options.skipBytes(), options.channelMask()};
        OutputGuard guard(options.inputsBegin(), options.inputsEnd());
        // A skipped pair lets the others go on, but the run must not read as a success.
        int status = kExitSuccess;
        auto output = options.outputsBegin();
        for (auto input = options.inputsBegin(); input != options.inputsEnd() && interruptionSignal() == 0;
             ++input, ++output) {
            const PairOutcome outcome = convertPair(settings, options, guard, *input, *output);
            if (outcome == PairOutcome::kUnconvertible) {
                return kExitUnconvertibleFormat;
            }
            if (outcome == PairOutcome::kSkipped) {
                status = kExitPairSkipped;
            }
        }
        if (const int signal = interruptionSignal(); signal != 0) {
            return kExitSignalBase + signal;
        }
        return status;
    } catch (const std::ios_base::failure& failure) {
        std::cout << "failed: " << failure.what() << std::endl;
        return kExitStreamFailure;
    }
}
