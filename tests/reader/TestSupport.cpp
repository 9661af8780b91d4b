#include "TestSupport.h"

#include "kqlmx.h"

// termios2 for the slave's rate: the kernel's definitions, not <termios.h>.
#include <algorithm>
#include <asm/termbits.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kqtest {

Bytes Hex(const std::string& text) {
    Bytes bytes;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
        bytes.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    return bytes;
}

std::string ToHex(const Bytes& bytes) {
    std::string text;
    char item[4];
    for (uint8_t b : bytes) {
        std::snprintf(item, sizeof item, "%02X", b);
        if (!text.empty()) text += ' ';
        text += item;
    }
    return text;
}

ScriptedReader::ScriptedReader() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    slavePath_ = name;
    thread_ = std::thread([this] { Run(); });
}

ScriptedReader::~ScriptedReader() {
    stop_ = true;
    thread_.join();
    close(master_);
}

void ScriptedReader::On(const std::string& requestHex, std::vector<Reply> replies) {
    std::lock_guard lock(mutex_);
    rules_.push_back({Hex(requestHex), std::move(replies)});
}

std::vector<std::string> ScriptedReader::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void ScriptedReader::Send(const Bytes& bytes) {
    // A reader talking to a closed line loses its words; the library's wait tells.
    [[maybe_unused]] ssize_t n = write(master_, bytes.data(), bytes.size());
}

ScriptedReader::Line ScriptedReader::SlaveLine() const {
    // Line ioctls on the master act on the slave.
    struct termios2 tio {};
    ioctl(master_, TCGETS2, &tio);
    return {tio.c_ospeed, tio.c_cflag};
}

bool HasTwoStopBits(unsigned cflag) {
    return cflag & CSTOPB;
}

void ScriptedReader::Run() {
    Bytes pending;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, 5);
        if (p.revents & POLLIN) {
            uint8_t buffer[512];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                pending.insert(pending.end(), buffer, buffer + n);
                Process(pending);
                continue;
            }
        }
        // No slave open (between a close and the next open): the master hangs up.
        if (p.revents & (POLLHUP | POLLERR)) usleep(1000);
    }
}

void ScriptedReader::Process(Bytes& pending) {
    while (!pending.empty()) {
        std::vector<Reply> replies;
        bool matched = false, prefix = false;
        {
            std::lock_guard lock(mutex_);
            for (const Rule& rule : rules_) {
                const Bytes& r = rule.request;
                if (pending.size() >= r.size() && std::equal(r.begin(), r.end(), pending.begin())) {
                    requests_.push_back(ToHex(r));
                    pending.erase(pending.begin(), pending.begin() + static_cast<long>(r.size()));
                    replies = rule.replies;
                    matched = true;
                    break;
                }
                if (r.size() > pending.size() && std::equal(pending.begin(), pending.end(), r.begin()))
                    prefix = true;
            }
        }
        if (matched) {
            for (const Reply& reply : replies) {
                if (reply.delayMs > 0) usleep(static_cast<useconds_t>(reply.delayMs) * 1000);
                Send(reply.bytes);
            }
            continue;
        }
        if (prefix) return;
        pending.erase(pending.begin());
    }
}

CountingHooks::CountingHooks() {
    KQLMX_UiHooks hooks{};
    hooks.user = this;
    hooks.pumpEvents = [](void* user) {
        auto& c = *static_cast<CountingHooks*>(user);
        ++c.pumps;
        if (c.onPump) c.onPump();
    };
    hooks.disableActiveWindow = [](void* user) -> void* {
        auto& c = *static_cast<CountingHooks*>(user);
        ++c.disables;
        return &c.disables;
    };
    hooks.restoreActiveWindow = [](void* user, void* token) {
        auto& c = *static_cast<CountingHooks*>(user);
        ++c.restores;
        c.restoredToken = token;
    };
    KQLMX_SetUiHooks(&hooks);
}

CountingHooks::~CountingHooks() {
    KQLMX_SetUiHooks(nullptr);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kqlmx-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace kqtest
