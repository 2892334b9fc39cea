#pragma once
// pcmwrap-check's command line: [--json] FILE...

#include <string>
#include <vector>

struct CheckOptions {
    bool json = false;
    std::vector<std::string> files;
};

// Prints the usage (status 0, no file or -h/--help) or a refusal and the usage (status
// 64, an unknown option) and ends the process; otherwise returns the options. "--" ends
// the options.
CheckOptions parseCheckOptions(int argc, char** argv);
