// The terminal settings a serial line asks for, for each line mode of the reader
// (8N1, 8E1, 8O1, 8N2), checked as they are set: a pty keeps neither parity nor the
// character size, so the line on the far side of a pty cannot show them.
#include "platform/SerialTermios.h"
#include "TestSupport.h"
#include "kqlmx.h"
#include "reader/sdk/KQ_LMX_SDKApp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using kq::platform::LineSettings;
using kq::platform::Parity;
using kq::platform::RawLineTermios;

namespace {

struct Mode {
    const char* name;
    int lineMode; // the reader's code (high nibble of the baud-rate command)
    Parity parity;
    int stopBits;
    unsigned cflag; // of CSIZE | PARENB | PARODD | CSTOPB
};

constexpr Mode kModes[] = {
    {"8N1", 0, Parity::None, 1, CS8},
    {"8E1", 1, Parity::Even, 1, CS8 | PARENB},
    {"8O1", 2, Parity::Odd, 1, CS8 | PARENB | PARODD},
    {"8N2", 3, Parity::None, 2, CS8 | CSTOPB},
};
constexpr unsigned kFrameBits = CSIZE | PARENB | PARODD | CSTOPB;

// A line as a terminal leaves it: canonical, echoing, 7E2 with hardware flow control,
// parity checking and stripping, at 9600.
struct termios2 CookedLine() {
    struct termios2 tio {};
    tio.c_iflag = ICRNL | IXON | INPCK | ISTRIP | BRKINT;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | B9600 | (B9600 << IBSHIFT);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 5;
    return tio;
}

// The line is raw in every mode, whatever it said before: no echo, no signals, no
// translation, no parity checking or stripping, no flow control, reads that never block.
void ExpectRaw(const struct termios2& tio) {
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | INPCK | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cflag & (CRTSCTS | CREAD | CLOCAL), unsigned(CREAD | CLOCAL));
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

// Catches a mode whose parity or stop bits the line does not get, and bits of the
// mode before (parity, odd parity, two stop bits, the old rate) left standing when the
// mode or the rate changes.
TEST(SerialTermios, EachLineModeFromAnyLineBefore) {
    struct Rate {
        int rate;
        unsigned code; // classic speed code, else BOTHER with the rate itself
    };
    for (const Rate& rate : {Rate{19200, B19200}, Rate{250000, BOTHER}}) {
        struct termios2 before = CookedLine();
        for (const Mode& mode : kModes) {
            SCOPED_TRACE(std::string(mode.name) + " at " + std::to_string(rate.rate));
            const struct termios2 tio =
                RawLineTermios(before, LineSettings{rate.rate, mode.parity, 8, mode.stopBits});
            ExpectRaw(tio);
            EXPECT_EQ(tio.c_cflag & kFrameBits, mode.cflag);
            EXPECT_EQ(tio.c_cflag & (CBAUD | (CBAUD << IBSHIFT)), rate.code | (rate.code << IBSHIFT));
            EXPECT_EQ(tio.c_ospeed, unsigned(rate.rate));
            before = tio; // the next mode changes this one
        }
    }
}

// The reader switched to another rate and mode: the line the library then asks for, in
// process (the pty only shows the rate and the stop bits).
TEST(SerialTermios, LineAfterABaudRateChangeOfEachMode) {
    kqtest::ScriptedReader reader;
    reader.On("02 01 F0 00 F1", "02 01 00 04 31 32 31 33 04");
    const int handle = KQLMX_OpenPort(reader.SlavePath().c_str(), 19200, 200);
    ASSERT_GT(handle, 0);
    const auto port = kq::CKQ_LMX_SDKApp::Get().FindPort(handle);
    ASSERT_TRUE(port);
    // 9600 has the rate code 02; the mode goes in the high nibble; BCC = XOR after 02.
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        const int code = 0x02 | mode.lineMode << 4;
        char request[32];
        std::snprintf(request, sizeof request, "02 01 F2 01 %02X %02X", code, 0x01 ^ 0xF2 ^ 0x01 ^ code);
        reader.On(request, "02 01 00 00 01");
        ASSERT_EQ(KQLMX_SetBaudRate(handle, 9600, mode.lineMode), 0) << KQLMX_GetLastError(handle);
        const struct termios2 tio = RawLineTermios(CookedLine(), port->Serial().LineSettings());
        EXPECT_EQ(tio.c_cflag & kFrameBits, mode.cflag);
        EXPECT_EQ(tio.c_ospeed, 9600u);
        const kqtest::ScriptedReader::Line line = reader.SlaveLine();
        EXPECT_EQ(line.rate, 9600u);
        EXPECT_EQ(line.cflag & CSTOPB, mode.cflag & CSTOPB);
    }
    EXPECT_EQ(KQLMX_ClosePort(handle), 0);
}

} // namespace
