#include "SimProcess.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kqsim::test {

SimProcess::SimProcess(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    args.insert(args.begin(), KQLMX_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, KQLMX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
}

SimProcess::~SimProcess() {
    if (pid_ > 0 && exitCode(std::chrono::milliseconds(0)) == -2) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    closeInput();
    if (stdout_ >= 0) close(stdout_);
}

void SimProcess::send(const std::string& text) {
    [[maybe_unused]] ssize_t n = write(stdin_, text.data(), text.size());
}

void SimProcess::closeInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
}

void SimProcess::signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

std::string SimProcess::line(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string l = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return l;
        }
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{stdout_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
        char b[256];
        ssize_t n = read(stdout_, b, sizeof b);
        if (n <= 0) return {};
        buffer_.append(b, static_cast<std::size_t>(n));
    }
}

int SimProcess::exitCode(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
    return -2;
}

} // namespace kqsim::test
