// What the simulated reader is: its identity (model type code, firmware digit), the
// frame protocol it speaks, its bus address and its serial line.
#pragma once

#include <string>

namespace kqsim {

// Serial line modes as the reader's baud-rate command numbers them.
enum LineMode : int {
    kLine8N1 = 0,
    kLine8E1 = 1,
    kLine8O1 = 2,
    kLine8N2 = 3,
};

struct ReaderConfig {
    int typeCode = 0x184;    // three hex digits of the version answer ("184" = KQ-LM90)
    int firmwareDigit = 4;   // fourth version character, a base-62 digit 0..61
    int protocolType = 0;    // frame layout 0..3
    int address = 1;         // bus address of frame types 0 and 1
    int baud = 19200;        // the reader's own line rate at power-up
    int lineMode = kLine8N1; // parity and stop bits at power-up
    bool pacing = false;     // send answer bytes no faster than the line rate (10 bits a byte)
    bool rfField = true;     // RF field on at power-up
    // Largest APDU response part in one answer (0: as much as one answer frame holds).
    // Only protocol type 0 can announce further parts (status 0x20, fetched with 0x46).
    int apduPartSize = 0;
};

// The line as the host side has set it up. A pty carries no parity (its driver
// forces 8 data bits without parity), so parity is compared only when it is known.
struct LineSettings {
    int baud = 19200;
    int lineMode = kLine8N1;
    bool parityKnown = true;
};

// True when a reader running at `baud`/`lineMode` understands bytes sent on `line`.
bool lineMatches(int baud, int lineMode, const LineSettings& line);

// The baud-rate command's rate codes: 0 2400, 1 4800, 2 9600, 3 19200, 4 38400,
// 5 57600, 6 115200, 7 230400, 8 460800, 9 921600, 10 1382400; -1 for other codes.
int baudForCode(int code);

// Time one byte takes on the wire at `baud`: 10 bits (start, 8 data, stop).
double byteSeconds(int baud);

// The four version characters: the type code as three upper-case hex digits and the
// firmware digit in base 62 ('0'-'9', 'A'-'Z', 'a'-'z').
std::string versionText(int typeCode, int firmwareDigit);

// "8N1", "8E1", "8O1", "8N2".
std::string lineModeName(int lineMode);

} // namespace kqsim
