#include "app/conversion_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cout_capture.h"

namespace {

using Names = std::vector<std::string>;

// Builds an argument vector (program name first) that outlives the parse.
class CommandLine {
public:
    explicit CommandLine(Names arguments) : strings_(std::move(arguments))
    {
        strings_.insert(strings_.begin(), "pcmwrap");
        for (auto& text : strings_) {
            pointers_.push_back(text.data());
        }
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(strings_.size()); }
    char** argv() { return pointers_.data(); }

private:
    Names strings_;
    std::vector<char*> pointers_;
};

struct Parsed {
    std::int32_t bits;
    std::int32_t rate;
    std::int32_t channels;
    Names inputs;
    Names outputs;
    std::string printed;
};

Parsed parse(const Names& arguments)
{
    CommandLine line(arguments);
    testsupport::CoutCapture cout;
    const ConversionOptions options(line.argc(), line.argv());
    return {options.bits(),
            options.rate(),
            options.channels(),
            Names(options.inputsBegin(), options.inputsEnd()),
            Names(options.outputsBegin(), options.outputsEnd()),
            cout.text()};
}

TEST(ConversionOptions, DefaultsAndTheSettingsLine)
{
    const Parsed parsed = parse({"take.raw"});
    EXPECT_EQ(parsed.bits, 24);
    EXPECT_EQ(parsed.rate, 44100);
    EXPECT_EQ(parsed.channels, 1);
    EXPECT_EQ(parsed.inputs, Names{"take.raw"});
    EXPECT_EQ(parsed.outputs, Names{"take.wav"});
    EXPECT_EQ(parsed.printed, "bits: <24>, rate: <44100>, channels: <1>\n");
}

TEST(ConversionOptions, OptionsBeforeTheFirstNameOnlyAndLaterOnesWin)
{
    const Parsed parsed = parse({"-r48000", "-c2", "-b24", "-b16", "a.raw", "-c6", "-?", "b"});
    EXPECT_EQ(parsed.bits, 16);
    EXPECT_EQ(parsed.rate, 48000);
    EXPECT_EQ(parsed.channels, 2);
    EXPECT_EQ(parsed.inputs, (Names{"a.raw", "-c6", "-?", "b"}));
    EXPECT_EQ(parsed.outputs, (Names{"a.wav", "-c6.wav", "-?.wav", "b.wav"}));
    EXPECT_EQ(parsed.printed, "bits: <16>, rate: <48000>, channels: <2>\n");
}

TEST(ConversionOptions, WholeNumbersOfThe32BitRangeAreTaken)
{
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {"-r+8000", 8000}, {"-r-5", -5}, {"-r007", 7}, {"-r2147483647", 2147483647}, {"-r-2147483648", -2147483647 - 1}};
    for (const auto& [option, rate] : cases) {
        SCOPED_TRACE(option);
        EXPECT_EQ(parse({option, "f"}).rate, rate);
    }
}

TEST(ConversionOptions, OutputNameReplacesFromTheLastDotOfTheLastComponent)
{
    EXPECT_EQ(ConversionOptions::deriveOutputName("take1.raw"), "take1.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("take1"), "take1.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("a.b.c"), "a.b.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("take1."), "take1.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("dumps.old/take1"), "dumps.old/take1.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("dumps.old\\take1"), "dumps.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("./take1"), "./take1.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("../d/take2.raw"), "../d/take2.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName(".take"), ".take.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("d/.take.raw"), "d/.take.wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName(""), ".wav");
    EXPECT_EQ(ConversionOptions::deriveOutputName("take.wav"), "take.wav");
}

}  // namespace
