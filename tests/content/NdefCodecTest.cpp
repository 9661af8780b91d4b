// NDEF record bytes against the NFC Forum NDEF and record type definitions.

#include <gtest/gtest.h>

#include <chrono>

#include "TestSupport.h"
#include "content/NdefCodec.h"

namespace {

CMyByteArray Encode(const CNdefMessage& message) {
    CMyByteArray bytes;
    EXPECT_TRUE(EncodeNdefMessage(message, bytes));
    return bytes;
}

CNdefMessage OneRecord(std::unique_ptr<CNdefRecord> record) {
    CNdefMessage message;
    message.Add(std::move(record));
    return message;
}

const CNdefTextRecord& TextAt(const CNdefMessage& message, size_t i) {
    return static_cast<const CNdefTextRecord&>(*message.records.at(i));
}

// A smart poster wrapped around the given message bytes, as a lone short record.
CMyByteArray SmartPosterAround(const CMyByteArray& inner) {
    CMyByteArray out = Bytes("D1 02");
    out.push_back(static_cast<uint8_t>(inner.size()));
    out.AppendArray(Bytes("53 70"));
    out.AppendArray(inner);
    return out;
}

TEST(NdefEncode, EmptyMessageIsTheEmptyRecord) {
    EXPECT_EQ(Encode(CNdefMessage{}), Bytes("D0 00 00"));
}

TEST(NdefEncode, EachRecordKindAlone) {
    auto text = std::make_unique<CNdefTextRecord>("en", "abc");
    EXPECT_EQ(Encode(OneRecord(std::move(text))), Bytes("D1 01 06 54 02 65 6E 61 62 63"));

    auto uri = std::make_unique<CNdefUriRecord>("http://www.example.com");
    EXPECT_EQ(Encode(OneRecord(std::move(uri))), Bytes("D1 01 0C 55 01 65 78 61 6D 70 6C 65 2E 63 6F 6D"));

    auto mime = std::make_unique<CNdefMimeRecord>("text/x-vCard", TextBytes("X"));
    EXPECT_EQ(Encode(OneRecord(std::move(mime))), Bytes("D2 0C 01 74 65 78 74 2F 78 2D 76 43 61 72 64 58"));

    auto nested = std::make_unique<CNdefMessage>();
    nested->Add(std::make_unique<CNdefTextRecord>("en", "T"));
    nested->Add(std::make_unique<CNdefUriRecord>("https://a.b"));
    auto poster = std::make_unique<CNdefSmartPosterRecord>(std::move(nested));
    EXPECT_EQ(Encode(OneRecord(std::move(poster))),
              Bytes("D1 02 10 53 70 91 01 04 54 02 65 6E 54 51 01 04 55 04 61 2E 62"));

    EXPECT_EQ(Encode(OneRecord(std::make_unique<CNdefSmartPosterRecord>())), Bytes("D1 02 00 53 70"));
}

TEST(NdefEncode, HeaderFlagsOfFirstMiddleAndLast) {
    CNdefMessage message;
    message.Add(std::make_unique<CNdefTextRecord>("", "a"));
    message.Add(std::make_unique<CNdefMimeRecord>("m", TextBytes("b")));
    message.Add(std::make_unique<CNdefTextRecord>("", "c"));
    EXPECT_EQ(Encode(message), Bytes("91 01 02 54 00 61 12 01 01 6D 62 51 01 02 54 00 63"));
}

TEST(NdefEncode, ShortAndLongRecordBoundary) {
    // Status byte and "en" take 3 payload bytes.
    auto text255 = std::make_unique<CNdefTextRecord>("en", std::string(252, 'x'));
    const CMyByteArray short255 = Encode(OneRecord(std::move(text255)));
    ASSERT_EQ(short255.size(), 4u + 255u);
    EXPECT_EQ(CMyByteArray(short255.begin(), short255.begin() + 4), Bytes("D1 01 FF 54"));

    auto text256 = std::make_unique<CNdefTextRecord>("en", std::string(253, 'x'));
    const CMyByteArray long256 = Encode(OneRecord(std::move(text256)));
    ASSERT_EQ(long256.size(), 7u + 256u);
    EXPECT_EQ(CMyByteArray(long256.begin(), long256.begin() + 10), Bytes("C1 01 00 00 01 00 54 02 65 6E"));

    CNdefMessage two;
    two.Add(std::make_unique<CNdefMimeRecord>("a", CMyByteArray(256, 0x11)));
    two.Add(std::make_unique<CNdefMimeRecord>("a", CMyByteArray(300, 0x22)));
    const CMyByteArray bytes = Encode(two);
    EXPECT_EQ(bytes[0], 0x82);
    EXPECT_EQ(bytes[7 + 256], 0x42);
}

TEST(NdefEncode, TextRecordLanguageAndUtf16) {
    auto longLanguage = std::make_unique<CNdefTextRecord>(std::string(70, 'l'), "");
    const CMyByteArray bytes = Encode(OneRecord(std::move(longLanguage)));
    EXPECT_EQ(bytes[2], 64); // payload: status and 63 language bytes
    EXPECT_EQ(bytes[4], 0x3F);

    auto utf16 = std::make_unique<CNdefTextRecord>("en", "A\xE2\x82\xAC");
    utf16->utf16 = true;
    EXPECT_EQ(Encode(OneRecord(std::move(utf16))), Bytes("D1 01 07 54 82 65 6E 00 41 20 AC"));
}

TEST(NdefEncode, UriRestInUtf8AndUnknownPrefix) {
    auto uri = std::make_unique<CNdefUriRecord>("geo:1,2 \xC3\xA4");
    EXPECT_EQ(Encode(OneRecord(std::move(uri))), Bytes("D1 01 0B 55 00 67 65 6F 3A 31 2C 32 20 C3 A4"));
}

TEST(NdefEncode, OverlongTypeNameIsNotWritten) {
    CNdefMessage message;
    message.Add(std::make_unique<CNdefMimeRecord>(std::string(256, 't'), TextBytes("x")));
    EXPECT_EQ(Encode(message), Bytes("D0 00 00"));
}

TEST(NdefDecode, EmptyRecordAndEmptyInput) {
    CStubNdefContext context;
    auto message = DecodeNdefMessage(context, Bytes("D0 00 00"));
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->records.empty());
    message = DecodeNdefMessage(context, {});
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->records.empty());
    EXPECT_FALSE(context.more);
}

TEST(NdefDecode, TextUriMimeAndSmartPoster) {
    CStubNdefContext context;
    auto message = DecodeNdefMessage(
        context, Bytes("91 01 06 54 02 65 6E 61 62 63 11 01 04 55 03 61 2E 62 12 01 01 6D 58 "
                       "51 02 10 53 70 91 01 04 54 02 65 6E 54 51 01 04 55 1E 61 2E 62"));
    ASSERT_TRUE(message);
    ASSERT_EQ(message->records.size(), 4u);
    EXPECT_EQ(TextAt(*message, 0).language, "en");
    EXPECT_EQ(TextAt(*message, 0).text, "abc");
    EXPECT_EQ(static_cast<const CNdefUriRecord&>(*message->records[1]).uri, "http://a.b");
    const auto& mime = static_cast<const CNdefMimeRecord&>(*message->records[2]);
    EXPECT_EQ(mime.mimeType, "m");
    EXPECT_EQ(mime.payload, TextBytes("X"));
    const auto& poster = static_cast<const CNdefSmartPosterRecord&>(*message->records[3]);
    ASSERT_TRUE(poster.message);
    ASSERT_EQ(poster.message->records.size(), 2u);
    EXPECT_EQ(TextAt(*poster.message, 0).text, "T");
    EXPECT_EQ(static_cast<const CNdefUriRecord&>(*poster.message->records[1]).uri, "urn:epc:id:a.b");
    EXPECT_FALSE(context.more);
}

TEST(NdefDecode, RecordsReadToOneText) {
    struct Case {
        const char* what;
        const char* bytes;
        const char* text;
    };
    const Case cases[] = {
        {"ID field skipped", "D9 01 03 02 54 49 44 00 61 62", "ab"},
        // First chunk: CF, TNF 1, "T"; middle chunk: CF, TNF 6; last: TNF 6, no type.
        {"chunks joined", "B1 01 04 54 02 65 6E 61 36 00 01 62 56 00 01 63", "abc"},
        // External type, well-known "X", empty text payload, lone TNF 6, then a text.
        {"others dropped", "94 01 01 78 01 11 01 01 58 00 11 01 00 54 16 00 01 61 51 01 02 54 00 7A", "z"},
    };
    for (const Case& c : cases) {
        CStubNdefContext context;
        auto message = DecodeNdefMessage(context, Bytes(c.bytes));
        ASSERT_TRUE(message) << c.what;
        ASSERT_EQ(message->records.size(), 1u) << c.what;
        EXPECT_EQ(TextAt(*message, 0).text, c.text) << c.what;
        EXPECT_FALSE(context.more) << c.what;
    }
}

TEST(NdefDecode, MessageEnd) {
    CStubNdefContext context;
    EXPECT_FALSE(DecodeNdefMessage(context, Bytes("91 01 02 54 00 61")));
    EXPECT_TRUE(context.more);

    auto message = DecodeNdefMessage(context, Bytes("D1 01 02 54 00 61 FF FF FF"));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->records.size(), 1u);
}

TEST(NdefDecode, Utf16TextWithAndWithoutMark) {
    for (const char* text : {"FE FF 00 41", "00 41", "FF FE 41 00"}) {
        CStubNdefContext context;
        CMyByteArray bytes = Bytes("D1 01 00 54 80");
        bytes.AppendArray(Bytes(text));
        bytes[2] = static_cast<uint8_t>(bytes.size() - 4);
        auto message = DecodeNdefMessage(context, bytes);
        ASSERT_TRUE(message) << text;
        ASSERT_EQ(message->records.size(), 1u);
        EXPECT_TRUE(TextAt(*message, 0).utf16);
        EXPECT_EQ(TextAt(*message, 0).text, "A") << text;
    }
}

TEST(NdefDecode, SmartPosterNesting) {
    // How many smart posters lie one inside the other, and whether the innermost
    // still holds its text record.
    const auto depthOf = [](const CNdefMessage& message, bool& textInside) {
        int depth = 0;
        const CNdefMessage* current = &message;
        while (!current->records.empty() && current->records[0]->GetKind() == CNdefRecord::kSmartPoster) {
            current = static_cast<const CNdefSmartPosterRecord&>(*current->records[0]).message.get();
            ++depth;
        }
        textInside = !current->records.empty() && current->records[0]->GetKind() == CNdefRecord::kText;
        return depth;
    };
    CMyByteArray inner = Bytes("D1 01 02 54 00 61");
    for (int level = 1; level <= kMaxSmartPosterNesting; ++level)
        inner = SmartPosterAround(inner);
    CStubNdefContext context;
    bool textInside = false;
    auto message = DecodeNdefMessage(context, inner);
    ASSERT_TRUE(message);
    EXPECT_EQ(depthOf(*message, textInside), kMaxSmartPosterNesting);
    EXPECT_TRUE(textInside);

    // One level more: the innermost smart poster is dropped.
    message = DecodeNdefMessage(context, SmartPosterAround(inner));
    ASSERT_TRUE(message);
    EXPECT_EQ(depthOf(*message, textInside), kMaxSmartPosterNesting);
    EXPECT_FALSE(textInside);

    // Nested bytes without ME: the smart poster is dropped.
    message = DecodeNdefMessage(context, SmartPosterAround(Bytes("91 01 02 54 00 61")));
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->records.empty());
}

TEST(NdefDecode, DeclaredLengthsBeyondTheData) {
    struct Case {
        const char* bytes;
        bool decodes;
        const char* text; // of the one record kept, when it decodes
    };
    const Case cases[] = {
        {"D1", false, nullptr},                // header only
        {"D1 01", false, nullptr},             // no payload length
        {"C1 01 00 00", false, nullptr},       // cut long length
        {"D9 01 01", false, nullptr},          // no ID length
        {"D1 01 05 54 00 61 62", true, "ab"},  // payload cut: what is there, ME ends
        {"D1 05 01 54", true, nullptr},        // type cut: nothing usable
        {"91 01 02 54 00 61", false, nullptr}, // next record beyond the data
        {"91 01 FA 54 00 61", false, nullptr},
        {"81 00 FF FF FF FA 00", false, nullptr}, // 6 + 0xFFFFFFFA must not wrap back to 0
        {"81 01 FF FF FF FA 54 00 61", false, nullptr},
        {"C1 01 FF FF FF FA 54 00 61", true, "a"},
        {"99 01 02 FF 54 00 61", false, nullptr}, // ID beyond the data
    };
    for (const Case& c : cases) {
        CStubNdefContext context;
        const auto start = std::chrono::steady_clock::now();
        auto message = DecodeNdefMessage(context, Bytes(c.bytes));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.bytes;
        EXPECT_TRUE(context.more) << c.bytes;
        EXPECT_EQ(message != nullptr, c.decodes) << c.bytes;
        if (message && c.text) {
            ASSERT_EQ(message->records.size(), 1u) << c.bytes;
            EXPECT_EQ(TextAt(*message, 0).text, c.text);
        } else if (message) {
            EXPECT_TRUE(message->records.empty()) << c.bytes;
        }
    }
}

TEST(NdefDecode, CheckIndexBoundsAndLimit) {
    CStubNdefContext context;
    const CMyByteArray bytes = Bytes("01 02 03");
    EXPECT_TRUE(CheckIndex(context, bytes, 2));
    EXPECT_FALSE(context.more);
    EXPECT_TRUE(CheckIndex(context, bytes, 1, 1));
    EXPECT_TRUE(CheckIndex(context, bytes, -1, 2));
    for (int64_t limit : {-1, 1}) {
        for (int64_t index : {int64_t{-1}, int64_t{3}, int64_t{1} << 40, INT64_MIN}) {
            context.more = false;
            EXPECT_FALSE(CheckIndex(context, bytes, limit, index)) << index;
            EXPECT_TRUE(context.more);
        }
    }
    context.more = false;
    EXPECT_FALSE(CheckIndex(context, bytes, 1, 2));
    EXPECT_TRUE(context.more);
}

} // namespace
