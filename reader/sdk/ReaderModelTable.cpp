#include "reader/sdk/ReaderModelTable.h"

#include <cstdio>

namespace kq {

namespace {

struct ReaderModel {
    const char* name;
    int typeCode;
};

// Searched in row order: 0x181, 0x184 and 0x185 repeat the names of 0x131-0x135.
constexpr ReaderModel kReaderModelTable[] = {
    {"KQ-KavoP200u", 0x117}, {"KQ-LX34", 0x121},     {"KQ-LM34 PS/2", 0x122},   {"KQ-LMX34 PS/2", 0x123},
    {"KQ-LM34", 0x124},      {"KQ-LMX34", 0x125},    {"KQ-LX90", 0x131},        {"KQ-LM90", 0x134},
    {"KQ-LMX90", 0x135},     {"KQ-LX36", 0x141},     {"KQ-LM36", 0x144},        {"KQ-LMX36", 0x145},
    {"KQ-LNP134BT", 0x151},  {"KQ-LNL134BT", 0x154}, {"KQ-LNK134BT", 0x155},    {"KQ-LX38", 0x161},
    {"KQ-LM38", 0x164},      {"KQ-LMX38", 0x165},    {"KQ-LX34 (S002)", 0x171}, {"KQ-LX90", 0x181},
    {"KQ-LM90", 0x184},      {"KQ-LMX90", 0x185},    {"KQ-LX32/39", 0x191},     {"KQ-LM32/39", 0x194},
    {"KQ-LMX32/39", 0x195},  {"KQ-LX390", 0x401},    {"KQ-LM390", 0x404},       {"KQ-LMX390", 0x405},
    {"KQ-LX421", 0x411},     {"KQ-LM421", 0x414},    {"KQ-LMX421", 0x415},      {"KQ-LX420", 0x421},
    {"Q300HF", 0x435},       {"KQ-LX380", 0x451},    {"KQ-LM380", 0x454},       {"KQ-LMX380", 0x455},
};

} // namespace

std::string ModelNameForTypeCode(int typeCode) {
    for (const ReaderModel& model : kReaderModelTable) {
        if (model.typeCode == typeCode) return model.name;
    }
    char text[24];
    std::snprintf(text, sizeof text, "KQ-#%03X", static_cast<unsigned>(typeCode));
    return text;
}

bool IsKnownReaderModel(int n) {
    return (n >= 1061 && n <= 1079) || n == 1107 || n == 1134 || n == 1135 || (n >= 1410 && n <= 1419) ||
           (n >= 1460 && n <= 1469) || (n >= 1750 && n <= 1759) || (n >= 3000 && n <= 3099);
}

unsigned char Base62Digit(unsigned char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 10);
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 36);
    return 255;
}

} // namespace kq
