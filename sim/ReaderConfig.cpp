#include "ReaderConfig.h"

namespace kqsim {

bool lineMatches(int baud, int lineMode, const LineSettings& line) {
    if (line.baud != baud) return false;
    bool twoStop = lineMode == kLine8N2;
    if ((line.lineMode == kLine8N2) != twoStop) return false;
    if (!line.parityKnown) return true;
    return line.lineMode == lineMode;
}

int baudForCode(int code) {
    static const int rates[] = {2400,   4800,   9600,   19200,  38400,  57600,
                                115200, 230400, 460800, 921600, 1382400};
    if (code < 0 || code >= static_cast<int>(sizeof rates / sizeof rates[0])) return -1;
    return rates[code];
}

double byteSeconds(int baud) {
    return baud > 0 ? 10.0 / baud : 0.0;
}

std::string versionText(int typeCode, int firmwareDigit) {
    static const char hex[] = "0123456789ABCDEF";
    static const char base62[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string text;
    text.push_back(hex[(typeCode >> 8) & 0xF]);
    text.push_back(hex[(typeCode >> 4) & 0xF]);
    text.push_back(hex[typeCode & 0xF]);
    text.push_back(firmwareDigit >= 0 && firmwareDigit < 62 ? base62[firmwareDigit] : '0');
    return text;
}

std::string lineModeName(int lineMode) {
    switch (lineMode) {
    case kLine8E1:
        return "8E1";
    case kLine8O1:
        return "8O1";
    case kLine8N2:
        return "8N2";
    default:
        return "8N1";
    }
}

} // namespace kqsim
