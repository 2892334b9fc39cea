#include <algorithm>
#include <iostream>

#include "check/check_options.h"
#include "check/check_report.h"
#include "check/wave_check.h"

int main(int argc, char** argv)
{
    const CheckOptions options = parseCheckOptions(argc, argv);
    int status = kCheckOk;
    for (const std::string& file : options.files) {
        const FileCheck check = checkWaveFile(file);
        std::cout << (options.json ? jsonReport(check) : textReport(check)) << std::endl;
        // The higher status wins: a file with errors over one that could not be read.
        status = std::max(status, checkStatus(check));
    }
    return status;
}
