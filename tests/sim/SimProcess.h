// kqlmx-sim (KQLMX_SIM_PATH) started as a child process, as a person starts it beside
// the program: pipes on its stdin and stdout; it prints its pty path on the first line.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kqsim::test {

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess(); // kills the program if it still runs
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void send(const std::string& text);
    void closeInput();
    void signal(int sig);
    // One line of output (without the newline), empty after the timeout.
    std::string line(std::chrono::milliseconds timeout);
    // The exit status once the process has ended within `timeout`, else -2.
    int exitCode(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string buffer_;
};

} // namespace kqsim::test
