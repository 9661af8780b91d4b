// Command line of the kqlmx-sim program.
#pragma once

#include "ReaderConfig.h"

#include <string>
#include <vector>

namespace kqsim {

struct SimOptions {
    ReaderConfig reader;
    std::string link;                // symlink to the pty slave
    std::vector<std::string> tags;   // tag specifications placed at start
    std::vector<std::string> images; // tag image files placed at start
    bool console = true;             // read console commands from stdin
    bool help = false;
};

// Parses the arguments after the program name; false with `error` set on bad input.
bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

std::string usageText();

} // namespace kqsim
