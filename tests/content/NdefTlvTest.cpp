// The TLV area of Type 2 style tags (NFC Forum Type 2 Tag TLV blocks) and the URI
// identifier codes (NFC Forum URI record type definition).

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/NdefTlv.h"
#include "content/TagErrorCode.h"
#include "content/UriIdentifierCodes.h"

namespace {

// A message of exactly n encoded bytes: one MIME record of type "a".
CNdefMessage MessageOfSize(size_t n) {
    const size_t header = n <= 4 + 255 ? 4 : 7;
    CNdefMessage message;
    message.Add(std::make_unique<CNdefMimeRecord>("a", CMyByteArray(n - header, 0x5A)));
    return message;
}

TEST(NdefTlvWrite, EmptyMessage) {
    CMyByteArray bytes;
    EXPECT_TRUE(EncodeNdefTlv(CNdefMessage{}, bytes));
    EXPECT_EQ(bytes, Bytes("03 03 D0 00 00 FE"));
}

TEST(NdefTlvWrite, LengthFieldForms) {
    struct Case {
        size_t size;
        const char* start;
    };
    for (const Case& c :
         {Case{254, "03 FE D2 01 FA 61"}, Case{255, "03 FF 00 FF D2 01 FB 61"},
          Case{300, "03 FF 01 2C C2 01 00 00 01 25 61"}, Case{65535, "03 FF FF FF C2 01 00 00 FF F8 61"}}) {
        CMyByteArray bytes;
        ASSERT_TRUE(EncodeNdefTlv(MessageOfSize(c.size), bytes)) << c.size;
        const CMyByteArray start = Bytes(c.start);
        ASSERT_GT(bytes.size(), start.size());
        EXPECT_EQ(CMyByteArray(bytes.begin(), bytes.begin() + static_cast<long>(start.size())), start)
            << c.size;
        EXPECT_EQ(bytes.back(), 0xFE);
        EXPECT_EQ(bytes.size(), c.size + (c.size <= 254 ? 3 : 5));
    }
}

TEST(NdefTlvWrite, MessageBeyondTheLengthFieldIsRefused) {
    CMyByteArray bytes{0x01};
    EXPECT_FALSE(EncodeNdefTlv(MessageOfSize(65536), bytes));
    EXPECT_TRUE(bytes.empty());
}

struct Walk {
    CStubNdefContext context;
    CNdefMessageList messages;
    int64_t offset = -2;

    explicit Walk(const char* hex, int64_t limit = -1, bool stopAfterFirst = false, bool locateOnly = false) {
        context.more = true; // the walk must clear it first
        ParseNdefTlvs(context, Bytes(hex), limit, stopAfterFirst, messages, locateOnly, &offset);
    }
};

TEST(NdefTlvRead, WalkResults) {
    struct Case {
        const char* bytes;
        int64_t limit;
        size_t messages;
        bool more;
        int64_t offset;
        bool nfcDataError;
    };
    const Case cases[] = {
        {"", -1, 0, false, -1, false},
        {"00 00 03 00 FE", -1, 1, false, 2, false},                   // empty value: empty message
        {"01 03 A0 10 44 03 03 D0 00 00 FE", -1, 1, false, 5, false}, // Lock Control skipped
        {"02 03 A0 10 44 03 03 D0 00 00 FE", -1, 1, false, 5, false}, // Memory Control skipped
        {"01 02 A0 10 44 03 03 D0 00 00 FE", -1, 0, false, -1, true}, // bad Lock Control length
        {"01 03 A0", -1, 0, true, -1, false},                         // Lock Control cut
        {"FD 02 AA BB 03 03 D0 00 00 FE", -1, 1, false, 4, false},    // Proprietary skipped
        {"03 06 D1 01 02 54 00", -1, 0, true, 0, false},              // value cut by the end
        {"03 FF 00", -1, 0, true, 0, false},                          // long length cut
        {"03 03 D0 00 00", -1, 1, false, 0, false},                   // no Terminator: no "more"
        {"03 03 D0 00 00 03 03 D0 00 00 FE", -1, 2, false, 5, false},
        {"03 03 D0 00 00 FE 03 03 D0 00 00", -1, 1, false, 0, false}, // Terminator ends the walk
        {"03 03 D0 00 00 77 03 03 D0 00 00", -1, 1, false, 0, false}, // unknown type ends it too
        {"03 03 D0 00 00 FE", 3, 0, true, 0, false},                  // value beyond the limit
        {"03 03 D0 00 00 03 03 D0 00 00 FE", 6, 1, true, 5, false},
        // Bytes read so far that end on a TLV boundary: the area goes on after them.
        {"01 03 A0 10 44 00 00 00", 7, 0, true, -1, false},
        {"03 03 D0 00 00", 4, 1, true, 0, false},
        {"", 3, 0, false, -1, false},
        {"03 FF 00 03 D0 00 00 FE", -1, 1, false, 0, false}, // three-byte length
        {"03 03 91 00 00 FE", -1, 0, true, 0, false},        // value without ME: no message
    };
    for (const Case& c : cases) {
        Walk walk(c.bytes, c.limit);
        EXPECT_EQ(walk.messages.size(), c.messages) << c.bytes;
        EXPECT_EQ(walk.context.more, c.more) << c.bytes;
        EXPECT_EQ(walk.offset, c.offset) << c.bytes;
        EXPECT_EQ(walk.context.errors,
                  c.nfcDataError ? std::vector<int>{kTagErrorNfcData} : std::vector<int>{})
            << c.bytes;
    }
}

TEST(NdefTlvRead, StopAfterFirstAndLocateOnly) {
    Walk first("03 03 D0 00 00 03 03 D0 00 00 FE", -1, true);
    EXPECT_EQ(first.messages.size(), 1u);
    EXPECT_EQ(first.offset, 0);

    Walk locate("00 01 03 A0 10 44 03 FF", -1, false, true);
    EXPECT_TRUE(locate.messages.empty());
    EXPECT_EQ(locate.offset, 6);
    EXPECT_FALSE(locate.context.more);
}

// The code table as the URI record type definition lists it.
const char* const kUriPrefixes[] = {
    "http://www.",
    "https://www.",
    "http://",
    "https://",
    "tel:",
    "mailto:",
    "ftp://anonymous:anonymous@",
    "ftp://ftp.",
    "ftps://",
    "sftp://",
    "smb://",
    "nfs://",
    "ftp://",
    "dav://",
    "news:",
    "telnet://",
    "imap:",
    "rtsp://",
    "urn:",
    "pop:",
    "sip:",
    "sips:",
    "tftp:",
    "btspp://",
    "btl2cap://",
    "btgoep://",
    "tcpobex://",
    "irdaobex://",
    "file://",
    "urn:epc:id:",
    "urn:epc:tag:",
    "urn:epc:pat:",
    "urn:epc:raw:",
    "urn:epc:",
    "urn:nfc:",
};

// Each code reads as its prefix. Written, the first code in code order whose prefix
// begins the URI wins, so "urn:" (0x13) takes every "urn:epc:..." and "urn:nfc:" URI.
TEST(UriIdentifierCodes, AllThirtyFiveCodes) {
    static_assert(std::size(kUriPrefixes) == 35);
    for (uint8_t code = 1; code <= 0x23; ++code) {
        const std::string prefix = kUriPrefixes[code - 1];
        std::string read = "old";
        UriCodeToPrefix(code, read);
        EXPECT_EQ(read, prefix) << int(code);
        std::string uri = prefix + "x";
        EXPECT_EQ(UriPrefixToCode(uri), code >= 0x1E ? 0x13 : code) << prefix;
        EXPECT_EQ(uri, code >= 0x1E ? prefix.substr(4) + "x" : "x") << prefix;
    }
    for (uint8_t code : {0x00, 0x24, 0xFF}) {
        std::string prefix = "old";
        UriCodeToPrefix(code, prefix);
        EXPECT_EQ(prefix, "") << int(code);
    }
}

TEST(UriIdentifierCodes, PrefixMatching) {
    struct Case {
        const char* uri;
        uint8_t code;
        const char* rest;
    };
    for (const Case& c :
         {Case{"http://www.a.de", 0x01, "a.de"}, Case{"http://a.de", 0x03, "a.de"},
          Case{"HTTP://www.a.de", 0x00, "HTTP://www.a.de"}, Case{"urn:epc:id:x", 0x13, "epc:id:x"},
          Case{"http://", 0x03, ""}, Case{"http:/", 0x00, "http:/"}, Case{"", 0x00, ""}}) {
        std::string uri = c.uri;
        EXPECT_EQ(UriPrefixToCode(uri), c.code) << c.uri;
        EXPECT_EQ(uri, c.rest);
    }
}

} // namespace
