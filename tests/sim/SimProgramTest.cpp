// The kqlmx-sim console and program: tags placed, swapped, saved and loaded by
// command; the program prints its pty path, serves it, and ends cleanly at end of
// input and on SIGTERM, removing its symlink.
#include "PtyClient.h"
#include "SimProcess.h"
#include "sim/SimConsole.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"
#include "sim/TagFactory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace kqsim {
namespace {

using namespace std::chrono_literals;
using test::SimProcess;

std::string tempDir() {
    char tmpl[] = "/tmp/kqsim-prog-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    return dir ? dir : "";
}

std::string run(SimConsole& console, const std::string& line) {
    std::string out;
    EXPECT_TRUE(console.execute(line, out)) << line;
    return out;
}

TEST(SimConsole, PlacesSwapsSavesAndLoadsTags) {
    std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    Simulator sim;
    SimConsole console(sim);
    EXPECT_EQ(run(console, "place ntag213,uid=04112233445566"),
              "tag 1 placed: ntag213 04 11 22 33 44 55 66\n");
    EXPECT_EQ(run(console, "save " + dir + "/a.tag"), "tag 1 saved to " + dir + "/a.tag\n");
    EXPECT_NE(run(console, "show").find("page 3: E1 10 12 00"), std::string::npos);
    EXPECT_EQ(run(console, "swap ultralight"), "tag 1 swapped for tag 2: ultralight 04 10 20 30 40 50 60\n");
    EXPECT_EQ(run(console, "load " + dir + "/a.tag"), "tag 3 placed: ntag213 04 11 22 33 44 55 66\n");
    EXPECT_EQ(run(console, "show"), "several tags in the field: give the tag ID\n");
    EXPECT_EQ(run(console, "swap 2 @" + dir + "/a.tag"),
              "tag 2 swapped for tag 4: ntag213 04 11 22 33 44 55 66\n");
    EXPECT_EQ(run(console, "vanish 4 2"), "tag 4 leaves after 2 tag command(s)\n");
    EXPECT_EQ(run(console, "remove 3"), "tag 3 removed\n");
    EXPECT_EQ(run(console, "remove"), "1 tag(s) removed\n");
    EXPECT_EQ(run(console, "tags"), "no tag in the field\n");
    EXPECT_EQ(run(console, "place floppy").rfind("error: unknown tag kind", 0), 0u);
    EXPECT_EQ(run(console, "load " + dir + "/missing.tag").rfind("error: ", 0), 0u);
    EXPECT_EQ(run(console, "frobnicate").rfind("unknown command", 0), 0u);
    EXPECT_NE(run(console, "log").find("tag 1 placed"), std::string::npos);
    std::string out;
    EXPECT_FALSE(console.execute("quit", out));
    std::filesystem::remove_all(dir);
}

TEST(SimOptions, ParsesTheCommandLine) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(parseOptions({"--model", "0x134", "--firmware", "7", "--protocol", "3", "--address", "5",
                              "--baud", "9600", "--line", "8E1", "--pace", "--link", "/tmp/x", "--tag",
                              "icode", "--no-console"},
                             o, error))
        << error;
    EXPECT_EQ(o.reader.typeCode, 0x134);
    EXPECT_EQ(o.reader.firmwareDigit, 7);
    EXPECT_EQ(o.reader.protocolType, 3);
    EXPECT_EQ(o.reader.address, 5);
    EXPECT_EQ(o.reader.baud, 9600);
    EXPECT_EQ(o.reader.lineMode, kLine8E1);
    EXPECT_TRUE(o.reader.pacing);
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.tags, std::vector<std::string>{"icode"});
    EXPECT_FALSE(o.console);
    for (auto bad : std::vector<std::vector<std::string>>{
             {"--protocol", "4"}, {"--model", "xyz"}, {"--baud"}, {"--transport", "tcp"}, {"--frobnicate"}}) {
        SimOptions o2;
        EXPECT_FALSE(parseOptions(bad, o2, error)) << bad[0];
    }
}

TEST(SimProgram, ServesItsPtyAndEndsAtEndOfInput) {
    std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    std::string link = dir + "/reader";
    SimProcess sim({"--tag", "ntag213,uid=04112233445566", "--link", link});
    ASSERT_TRUE(sim.started());
    std::string path = sim.line(5s);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    test::PtyClient host(link, 19200);
    ASSERT_TRUE(host.write({0x02, 0x01, 0x30, 0x00, 0x31}));
    EXPECT_EQ(host.read(7, 2s), (Bytes{0x02, 0x01, 0x00, 0x02, 0x44, 0x00, 0x47}));
    sim.send("tags\n");
    EXPECT_EQ(sim.line(2s), "1 ntag213 04 11 22 33 44 55 66");
    sim.closeInput();
    EXPECT_EQ(sim.exitCode(5s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    std::filesystem::remove_all(dir);
}

TEST(SimProgram, EndsOnSigtermWithoutConsole) {
    SimProcess sim({"--no-console", "--protocol", "2"});
    ASSERT_TRUE(sim.started());
    ASSERT_FALSE(sim.line(5s).empty());
    sim.closeInput();
    EXPECT_EQ(sim.exitCode(200ms), -2); // stdin is not read
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.exitCode(5s), 0);
}

TEST(SimProgram, RefusesBadOptions) {
    SimProcess sim({"--tag", "floppy"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.exitCode(5s), 2);
}

} // namespace
} // namespace kqsim
