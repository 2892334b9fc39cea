#include <algorithm>
#include <iostream>

#include "probe/probe.h"
#include "probe_app/probe_options.h"
#include "probe_app/probe_report.h"

int main(int argc, char** argv)
{
    const ProbeOptions options = parseProbeOptions(argc, argv);
    int status = kProbeAllFormats;
    for (const std::string& file : options.files) {
        const auto result = file == "-" ? pcmwrap::probe::probeStandardInput() : pcmwrap::probe::probeFile(file);
        std::cout << (options.json ? jsonReport(file, result) : textReport(file, result)) << std::endl;
        // The higher status wins: a file with no format over one that could not be read.
        status = std::max(status, reportStatus(result));
    }
    return status;
}
