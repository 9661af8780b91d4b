// The simulator served on a real pty: a delayed answer's phases, stopping during a
// delay, tags changed while it serves, a link name that would replace a file. (Rates,
// stop bits, pacing, reopening and dropped links are shown end to end against the
// reader library; the link name against the program.)
#include "PtyClient.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace kqsim {
namespace {

using namespace std::chrono_literals;
using test::PtyClient;

const Bytes kVersion = {0x02, 0x01, 0xF0, 0x00, 0xF1};
const Bytes kVersionAnswer = {0x02, 0x01, 0x00, 0x04, 0x31, 0x38, 0x34, 0x34, 0x0C};

std::string makeTempDir() {
    char tmpl[] = "/tmp/kqsim-test-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    return dir ? dir : "";
}

TEST(SimPty, RefusesToReplaceARegularFile) {
    std::string dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    std::string file = dir + "/keep";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    Simulator sim;
    PtyTransport pty(sim, file);
    EXPECT_FALSE(pty.ok());
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    std::filesystem::remove_all(dir);
}

TEST(SimPty, DelayFaultHoldsTheAnswerBack) {
    Simulator sim;
    PtyTransport pty(sim);
    ASSERT_TRUE(pty.ok()) << pty.error();
    PtyClient host(pty.slavePath(), 19200);
    sim.inject(Fault::delay({0ms, 0ms, 300ms}));
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(host.write(kVersion));
    EXPECT_EQ(host.read(4, 1s), (Bytes{0x02, 0x01, 0x00, 0x04}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms);
    EXPECT_EQ(host.read(5, 2s), (Bytes{0x31, 0x38, 0x34, 0x34, 0x0C}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
}

TEST(SimPty, StopsWhileAnAnswerWaitsForItsDelay) {
    auto start = std::chrono::steady_clock::now();
    {
        Simulator sim;
        PtyTransport pty(sim);
        ASSERT_TRUE(pty.ok()) << pty.error();
        PtyClient host(pty.slavePath(), 19200);
        sim.inject(Fault::delay({10s, 0ms, 0ms}));
        ASSERT_TRUE(host.write(kVersion));
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(SimPty, TagsChangeWhileThePtyThreadServes) {
    Simulator sim;
    PtyTransport pty(sim);
    ASSERT_TRUE(pty.ok()) << pty.error();
    PtyClient host(pty.slavePath(), 19200);
    std::atomic<bool> done{false};
    std::thread changer([&] {
        TagId id = 0;
        for (int i = 0; !done; ++i) {
            if (i % 3 == 0) id = sim.placeTag(Type2Tag::blank(Type2Tag::Model::Ntag213));
            if (i % 3 == 1) id = sim.swapTag(id, Type2Tag::blank(Type2Tag::Model::Ultralight));
            if (i % 3 == 2) sim.removeAllTags();
            sim.tagMemory(id);
            std::this_thread::sleep_for(1ms);
        }
    });
    // Request 30 and select 31: every answer is a whole frame, with a tag (status 00)
    // or without one (status 01).
    const Bytes request = {0x02, 0x01, 0x30, 0x00, 0x31};
    const Bytes select = {0x02, 0x01, 0x31, 0x00, 0x30};
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(host.write(i % 2 ? select : request));
        Bytes head = host.read(4, 2s);
        ASSERT_EQ(head.size(), 4u) << i;
        EXPECT_TRUE(head[2] == 0x00 || head[2] == 0x01) << i;
        EXPECT_EQ(host.read(std::size_t{head[3]} + 1, 2s).size(), std::size_t{head[3]} + 1) << i;
    }
    done = true;
    changer.join();
}

} // namespace
} // namespace kqsim
