#include "play/player_options.h"

#include <cstdlib>
#include <iostream>

#include "play/player_status.h"

namespace {

[[noreturn]] void printUsageAndExit(int status)
{
    std::cout << "pcmwrap-play [-d<device>] file..." << std::endl;
    std::exit(status);
}

}  // namespace

PlayerOptions::PlayerOptions(int argc, char** argv)
{
    int current = 1;
    // Everything from the first file name on is a file name, even when it starts with a minus sign.
    for (; current < argc && argv[current][0] == '-'; ++current) {
        const std::string argument = argv[current];
        if (argument == "-?") {
            printUsageAndExit(kPlayerSuccess);
        }
        if (argument.size() > 2 && argument[1] == 'd') {
            device_ = argument.substr(2);
            continue;
        }
        std::cout << "Unknown option <" << argument << ">" << std::endl;
        printUsageAndExit(kPlayerUsageError);
    }
    if (current == argc) {
        printUsageAndExit(kPlayerSuccess);
    }
    files_.assign(argv + current, argv + argc);
}
