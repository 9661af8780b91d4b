// Test equipment for the reader library: hex text, and a reader played by a script
// on the master side of a pty whose slave path the library opens.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kqtest {

using Bytes = std::vector<uint8_t>;

// "02 01 F0" -> {0x02, 0x01, 0xF0}.
Bytes Hex(const std::string& text);
std::string ToHex(const Bytes& bytes);

struct Reply {
    Bytes bytes;
    int delayMs = 0; // before these bytes go out
};

// A pty pair; requests that arrive on the master are matched against the script and
// answered. Bytes that begin no scripted request are dropped (a reader of another
// protocol type stays silent).
class ScriptedReader {
public:
    ScriptedReader();
    ~ScriptedReader();
    ScriptedReader(const ScriptedReader&) = delete;
    ScriptedReader& operator=(const ScriptedReader&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Answers each arrival of `request` with the replies in order (none: silence).
    void On(const std::string& requestHex, std::vector<Reply> replies = {});
    void On(const std::string& requestHex, const std::string& replyHex) { On(requestHex, {{Hex(replyHex)}}); }

    // The scripted requests seen so far, in order.
    std::vector<std::string> Requests() const;
    // Writes bytes to the library's side now.
    void Send(const Bytes& bytes);

    // The slave's line as the library set it: rate and control flags (termios2).
    struct Line {
        unsigned rate;
        unsigned cflag;
    };
    Line SlaveLine() const;

private:
    struct Rule {
        Bytes request;
        std::vector<Reply> replies;
    };
    void Run();
    void Process(Bytes& pending);

    int master_ = -1;
    std::string slavePath_;
    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    std::vector<std::string> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The stop-bit flag of a termios2 c_cflag (a pty keeps no parity).
bool HasTwoStopBits(unsigned cflag);

// Answer-wait hooks, installed for their lifetime: they count their calls and run
// `onPump` at each pump. The disable call hands out &disables as its token.
struct CountingHooks {
    CountingHooks();
    ~CountingHooks(); // back to the library's defaults
    CountingHooks(const CountingHooks&) = delete;
    CountingHooks& operator=(const CountingHooks&) = delete;

    int pumps = 0;
    int disables = 0;
    int restores = 0;
    void* restoredToken = nullptr;
    std::function<void()> onPump;
};

// A fresh temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace kqtest
