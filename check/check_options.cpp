#include "check/check_options.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "check/check_report.h"

namespace {

void printUsage()
{
    std::cout << std::endl
              << "pcmwrap-check [--json] FILE..." << std::endl
              << "  --json        one JSON object per file, one per line" << std::endl
              << "  -h, --help    print this text" << std::endl
              << "Exit status: 0 no errors; 1 a file could not be read; 2 a file has errors;" << std::endl
              << "64 a bad option." << std::endl;
}

}  // namespace

CheckOptions parseCheckOptions(int argc, char** argv)
{
    CheckOptions options;
    int current = 1;
    for (; current < argc; ++current) {
        const std::string_view argument = argv[current];
        if (argument.empty() || argument.front() != '-') {
            break;
        }
        if (argument == "--") {
            ++current;
            break;
        }
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "-h" || argument == "--help") {
            printUsage();
            std::exit(kCheckOk);
        } else {
            std::cout << "Unknown option <" << argument << ">" << std::endl;
            printUsage();
            std::exit(kCheckBadOption);
        }
    }
    for (; current < argc; ++current) {
        options.files.emplace_back(argv[current]);
    }
    if (options.files.empty()) {
        printUsage();
        std::exit(kCheckOk);
    }
    return options;
}
