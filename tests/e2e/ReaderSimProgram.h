// kqlmx-sim started as a child process, as a person starts it beside the program:
// it prints its pty path on the first line of stdout and serves the reader there
// until it gets SIGTERM.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kqe2e {

class ReaderSimProgram {
public:
    // Starts KQLMX_SIM_PATH with --no-console and `args`.
    explicit ReaderSimProgram(const std::vector<std::string>& args);
    ~ReaderSimProgram(); // stops the program if it still runs
    ReaderSimProgram(const ReaderSimProgram&) = delete;
    ReaderSimProgram& operator=(const ReaderSimProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    // The first line of stdout, empty when none came within `timeout`.
    std::string PtyPath(std::chrono::milliseconds timeout);
    // Sends SIGTERM and answers the exit status, or -1 when the program did not end
    // within `timeout` (it is then killed).
    int Stop(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

} // namespace kqe2e
