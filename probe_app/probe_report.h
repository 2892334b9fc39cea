#pragma once
// One line of pcmwrap-probe's output for one file: text for a person, or a JSON object.

#include <string>

#include "probe/probe.h"

// "take1.raw: 24-bit big-endian stereo -> pcmwrap -b24 -c2 take1.raw", "take4.raw:
// container: RIFF WAVE", ... without the newline.
std::string textReport(const std::string& file, const pcmwrap::probe::ProbeResult& result);

// {"file":"take1.raw","result":"format","bits":24,...} without the newline.
std::string jsonReport(const std::string& file, const pcmwrap::probe::ProbeResult& result);

// The exit status this file asks for (kProbeAllFormats, kProbeUnreadable or kProbeNoFormat).
int reportStatus(const pcmwrap::probe::ProbeResult& result);
