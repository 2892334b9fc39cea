#include "probe_app/probe_options.h"

#include <cstdlib>
#include <iostream>

namespace {

[[noreturn]] void printUsageAndExit(int status)
{
    std::cout << "pcmwrap-probe [--json] file..." << std::endl;
    std::exit(status);
}

}  // namespace

ProbeOptions parseProbeOptions(int argc, char** argv)
{
    ProbeOptions options;
    int current = 1;
    // "-" alone is standard input, a file name.
    for (; current < argc && argv[current][0] == '-' && argv[current][1] != '\0'; ++current) {
        const std::string argument = argv[current];
        if (argument == "--json") {
            options.json = true;
            continue;
        }
        if (argument == "--") {
            ++current;
            break;
        }
        if (argument == "-?") {
            printUsageAndExit(kProbeAllFormats);
        }
        std::cout << "Unknown option <" << argument << ">" << std::endl;
        printUsageAndExit(kProbeUsageError);
    }
    if (current == argc) {
        printUsageAndExit(kProbeAllFormats);
    }
    options.files.assign(argv + current, argv + argc);
    return options;
}
