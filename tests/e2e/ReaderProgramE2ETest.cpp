// libkqlmx.so against the real kqlmx-sim program: the pty path it prints is opened
// through the flat API like any serial device.
#include "../sim/SimProcess.h"
#include "ReaderE2eSupport.h"

#include <gtest/gtest.h>

#include <csignal>

namespace kqe2e {
namespace {

// Catches a program whose printed path, options (model, firmware, protocol type,
// address, rate, stop bits, pacing) or served line the library cannot open and use.
TEST(ReaderProgramE2E, OpensTheSimulatorProgram) {
    struct Case {
        std::vector<std::string> args;
        std::string suffix; // of the port name
        int baud;
        const char* name;
        const char* version;
    };
    const Case cases[] = {
        {{"--protocol", "1", "--model", "185", "--firmware", "7", "--address", "3"},
         ":3",
         19200,
         "KQ-LMX90",
         "1857"},
        {{"--protocol", "2", "--baud", "38400", "--line", "8N2", "--pace"}, "", 38403, "KQ-LM90", "1844"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        std::vector<std::string> args = c.args;
        args.push_back("--no-console");
        kqsim::test::SimProcess program(args);
        ASSERT_TRUE(program.started());
        const std::string path = program.line(5s);
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
        {
            OpenedPort port(path + c.suffix, c.baud, 5000); // generous: the program may be held back
            ASSERT_EQ(port.Handle(), 1);
            EXPECT_EQ(ReaderName(port.Handle()), c.name);
            EXPECT_EQ(VersionText(port.Handle()), c.version);
            EXPECT_EQ(KQLMX_SetRfField(port.Handle(), 0), 0);
            EXPECT_EQ(KQLMX_SetBaudRate(port.Handle(), 57600, 0), 0);
            EXPECT_EQ(VersionText(port.Handle()), c.version) << "after the switch to 57600";
            EXPECT_EQ(port.Close(), 0);
        }
        program.signal(SIGTERM);
        EXPECT_EQ(program.exitCode(5s), 0);
    }
}

} // namespace
} // namespace kqe2e
