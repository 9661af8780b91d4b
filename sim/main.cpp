// kqlmx-sim: a simulated reader on a pseudo-terminal, for tests and as a demo reader.
// Prints the pty path on the first line of stdout, then serves the reader until
// "quit", end of input, SIGTERM or SIGINT.
#include "PtyTransport.h"
#include "SimConsole.h"
#include "SimOptions.h"
#include "Simulator.h"
#include "TagFactory.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    // Block the stop signals before any thread starts, so that they arrive only here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);

    kqsim::SimOptions options;
    std::string error;
    if (!kqsim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "kqlmx-sim: %s\n%s", error.c_str(), kqsim::usageText().c_str());
        return 2;
    }
    if (options.help) {
        print(kqsim::usageText());
        return 0;
    }

    kqsim::Simulator simulator(options.reader);
    for (const std::string& spec : options.tags) {
        auto tag = kqsim::makeTag(spec, error);
        if (!tag) {
            std::fprintf(stderr, "kqlmx-sim: --tag %s: %s\n", spec.c_str(), error.c_str());
            return 2;
        }
        simulator.placeTag(std::move(tag));
    }
    for (const std::string& path : options.images) {
        auto tag = kqsim::loadTagFile(path, error);
        if (!tag) {
            std::fprintf(stderr, "kqlmx-sim: %s\n", error.c_str());
            return 2;
        }
        simulator.placeTag(std::move(tag));
    }
    kqsim::SimConsole console(simulator);
    kqsim::PtyTransport pty(simulator, options.link);
    if (!pty.ok()) {
        std::fprintf(stderr, "kqlmx-sim: %s\n", pty.error().c_str());
        return 1;
    }
    print(pty.slavePath() + "\n");

    std::string input;
    bool running = true;
    while (running) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {options.console ? 0 : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) break;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[1024];
            ssize_t n = read(0, buffer, sizeof buffer);
            if (n <= 0) break; // end of input
            input.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; running && (end = input.find('\n')) != std::string::npos;) {
                std::string line = input.substr(0, end);
                input.erase(0, end + 1);
                std::string out;
                running = console.execute(line, out);
                print(out);
            }
        }
    }
    return 0;
}
