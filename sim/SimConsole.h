// The line console of kqlmx-sim, so that people and scripts can drive a running
// simulator: one command per line, answers as text. `help` lists the commands.
#pragma once

#include "Field.h"

#include <string>
#include <vector>

namespace kqsim {

class Simulator;

class SimConsole {
public:
    explicit SimConsole(Simulator& simulator) : simulator_(simulator) {}

    // Runs one command line and puts its answer (possibly empty) into `out`; false when
    // the command asks to quit.
    bool execute(const std::string& line, std::string& out);

private:
    bool pickTag(const std::vector<std::string>& words, std::size_t first, bool idRequired, TagId& id,
                 std::size_t& rest, std::string& out);

    Simulator& simulator_;
};

} // namespace kqsim
