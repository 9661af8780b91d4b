// Template and data-list files: UTF-8 when valid, else Windows-1252.
#include "app/TextFileCodec.h"

#include <gtest/gtest.h>

namespace {

struct DecodeCase {
    QByteArray bytes;
    const char16_t* expected;
};

TEST(DecodeTextFile, ChoosesUtf8OrWindows1252) {
    const std::vector<DecodeCase> cases = {
        {QByteArray("M\xC3\xBCller"), u"Müller"},        // valid UTF-8
        {QByteArray("\xEF\xBB\xBFTEXT"), u"TEXT"},       // BOM dropped
        {QByteArray("M\xFCller"), u"Müller"},            // Windows-1252 ü
        {QByteArray("\x80 \x93x\x94 \x9F"), u"€ “x” Ÿ"}, // the 0x80..0x9F block
        {QByteArray("\xC3\x28"), u"Ã("},                 // ill-formed UTF-8 -> 1252
        {QByteArray("\xED\xA0\x80"), u"í\u00A0€"},       // encoded surrogate is not UTF-8
        {QByteArray("\x81\x8D"), u"\u0081\u008D"},       // unassigned bytes keep C1 codes
        {QByteArray(), u""},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(DecodeTextFile(c.bytes), QString::fromUtf16(c.expected)) << c.bytes.toHex().constData();
}

} // namespace
