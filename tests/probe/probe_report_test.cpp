// The report of an unclear result lists the leading candidates, in text and in JSON.

#include <gtest/gtest.h>

#include "probe_app/probe_report.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;

TEST(ProbeReport, UnclearListsTheLeadingCandidates)
{
    ProbeResult result;
    result.verdict = Verdict::kUnclear;
    result.candidates = {Candidate{16, Encoding::kSigned, ByteOrder::kBig, 2, 3.0},
                         Candidate{16, Encoding::kSigned, ByteOrder::kBig, 1, 2.9},
                         Candidate{8, Encoding::kUnsigned, ByteOrder::kBig, 4, 2.8}};
    EXPECT_EQ(textReport("take3.raw", result),
              "take3.raw: unclear (16-bit big-endian stereo, 16-bit big-endian mono or 8-bit unsigned 4 channels)");
    EXPECT_EQ(jsonReport("take3.raw", result),
              R"({"file":"take3.raw","result":"unclear","candidates":[)"
              R"({"bits":16,"encoding":"signed","byte_order":"big","channels":2,"sample_format":"s16","command":"pcmwrap -b16 -c2 take3.raw"},)"
              R"({"bits":16,"encoding":"signed","byte_order":"big","channels":1,"sample_format":"s16","command":"pcmwrap -b16 take3.raw"},)"
              R"({"bits":8,"encoding":"unsigned","channels":4,"sample_format":"u8","command":"pcmwrap -fu8 -c4 take3.raw"}]})");
}

}  // namespace
