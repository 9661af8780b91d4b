// The record JSON text between the application and the reader layer.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/NdefCodec.h"
#include "content/NdefTlv.h"
#include "content/RecordJsonReader.h"
#include "content/RecordJsonWriter.h"
#include "content/TagContent.h"
#include "content/TagErrorCode.h"

namespace {

// What a tag gives back for a record JSON text: the reader layer builds the
// records, writes them as a TLV area, reads the area and writes the JSON again.
std::string ThroughTag(const std::string& json) {
    CStubNdefContext context;
    CNdefMessage message;
    EXPECT_TRUE(JsonToNdefMessage(context, json, message)) << json;
    CMyByteArray area;
    EXPECT_TRUE(EncodeNdefTlv(message, area));
    CNdefMessageList messages;
    ParseNdefTlvs(context, area, -1, true, messages);
    EXPECT_EQ(messages.size(), 1u);
    if (messages.empty()) return {};
    CSdkNfcTagDataList items;
    MessageToTagData(context, *messages[0], true, false, items);
    std::string back;
    EXPECT_FALSE(items.empty());
    if (!items.empty()) {
        EXPECT_TRUE(TagDataToJson(items[0].get(), back));
    }
    EXPECT_TRUE(context.errors.empty());
    return back;
}

// What the application makes of a record JSON text, written again.
std::string ThroughApplication(const std::string& json) {
    std::unique_ptr<CNfcTagData> item;
    EXPECT_EQ(JsonToNfcTagData(json, item), RecordJsonResult::kOk) << json;
    std::string back;
    EXPECT_TRUE(TagDataToJson(item.get(), back)) << json;
    return back;
}

CVCardMime SampleContact() {
    CVCardMime contact;
    contact.givenName = "A";
    contact.familyName = "B";
    contact.mails = {"m"};
    contact.phones = {{"1", 1, 2}};
    return contact;
}

TEST(RecordJsonWrite, ExactTextOfEachKind) {
    EXPECT_EQ(TextToJson("a"), R"({"TEXT" : {"TITLE" : "a"}})");
    EXPECT_EQ(BookmarkToJson("http://a", "t"), R"({"BOOKMARK" : {"URL" : "http://a","TITLE" : "t"}})");
    EXPECT_EQ(MailToJson("a", "s", "m", "t"),
              R"({"MAIL" : {"ADDRESS" : "a","SUBJECT" : "s","MESSAGE" : "m","TITLE" : "t"}})");
    EXPECT_EQ(SmsToJson("1", "m", "t"), R"({"SMS" : {"ADDRESS" : "1","MESSAGE" : "m","TITLE" : "t"}})");
    EXPECT_EQ(TelephonToJson("1", "t"), R"({"TELEPHON" : {"NUMBER" : "1","TITLE" : "t"}})");
    EXPECT_EQ(
        VCardToJson(SampleContact()),
        R"({"VCARD" : {"FIRSTNAME" : "A","SURNAME" : "B","ORGANISATION" : "","MAILS" : {"MAIL0" : "m"},)"
        R"("PHONES" : {"PHONE0" : {"NUMBER" : "1","TYPE_PLACE" : 1,"TYPE_DEVICE" : 2}}}})");

    CVCardMime lists;
    lists.organisation = "O";
    lists.mails = {"x", "y"};
    lists.urls = {"u"};
    lists.phones = {{"1", 0, 0}, {"2", 2, 1}};
    EXPECT_EQ(
        VCardToJson(lists),
        R"({"VCARD" : {"FIRSTNAME" : "","SURNAME" : "","ORGANISATION" : "O","MAILS" : {"MAIL0" : "x",)"
        R"("MAIL1" : "y"},"URLS" : {"URL0" : "u"},"PHONES" : {"PHONE0" : {"NUMBER" : "1","TYPE_PLACE" : 0,)"
        R"("TYPE_DEVICE" : 0},"PHONE1" : {"NUMBER" : "2","TYPE_PLACE" : 2,"TYPE_DEVICE" : 1}}}})");
    EXPECT_EQ(VCardToJson(CVCardMime{}),
              R"({"VCARD" : {"FIRSTNAME" : "","SURNAME" : "","ORGANISATION" : ""}})");
}

TEST(RecordJsonWrite, EscapedStrings) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a\"b\\c", "a\\\"b\\\\c"},
        {"end\\", "end\\\\"},
        {"x\r\ny\tz", "x\\r\\ny\\tz"},
        {"\b\f", "\\b\\f"},
        {std::string("\x01\x1F\0", 3), "\\u0001\\u001F\\u0000"},
        {"\x7F \xC3\xA4\xF0\x9F\x98\x80", "\x7F \xC3\xA4\xF0\x9F\x98\x80"},
        {"\xFF/", "\xEF\xBF\xBD/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeJsonString(c.in), c.out);
}

const std::string kHostile =
    std::string("q\"uote b\\ack ctl\x01\x1F\x7F tab\t \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80 "
                "{\"x\" : 1}, end\\");

// Catches a value that breaks the JSON text (strict RFC 8259, as a strict parser reads
// it) or does not come back equal through the application's reader and through a tag.
TEST(RecordJson, HostileValuesAreStrictJsonAndComeBackOnBothSides) {
    const std::string line = kHostile; // no line break: single-line fields
    const std::string lines = kHostile + "\r\n" + kHostile + "\r\n";
    CVCardMime contact;
    contact.givenName = line + ";,\\";
    contact.familyName = "\\;" + line;
    contact.organisation = "A;B, C\\";
    contact.mails = {line, "b@c.de"};
    contact.urls = {"http://x.de/" + line};
    contact.phones = {{"+49 " + line, 2, 1}, {"2", 0, 0}};
    const std::string texts[] = {
        TextToJson(lines),
        BookmarkToJson("https://www.example.org/" + line, lines),
        BookmarkToJson("http://a.de", ""),
        MailToJson(line, line, lines, lines),
        SmsToJson("+49 170 " + line, lines, line),
        TelephonToJson(line, ""),
        VCardToJson(contact),
    };
    for (const std::string& text : texts) {
        EXPECT_TRUE(IsStrictJson(text)) << text;
        EXPECT_EQ(ThroughApplication(text), text);
        EXPECT_EQ(ThroughTag(text), text);
    }
    // Ill-formed UTF-8, a NUL byte and phone types out of range are still written as
    // strict JSON; a NUL cannot go onto the tag as text, but the JSON text carries it.
    CVCardMime odd;
    odd.familyName = "\xFF\xFE";
    odd.organisation = std::string("nul\0", 4);
    odd.phones = {{kHostile, -1, 99}};
    EXPECT_TRUE(IsStrictJson(VCardToJson(odd)));
    const std::string withNul = TextToJson(std::string("a\0b", 3));
    EXPECT_TRUE(IsStrictJson(withNul));
    EXPECT_EQ(ThroughApplication(withNul), withNul);

    // The checker itself refuses what the lenient older form allows.
    EXPECT_FALSE(IsStrictJson(R"({"TEXT" : {"TITLE" : "a",}})"));
    EXPECT_FALSE(IsStrictJson("{\"TEXT\" : {\"TITLE\" : \"a\r\nb\"}}"));
    EXPECT_FALSE(IsStrictJson("{\"TEXT\" : {\"TITLE\" : \"\xFF\"}}"));
}

TEST(RecordJsonRead, LenientOlderFormIsRead) {
    const std::string older =
        "{\"VCARD\" : {\"FIRSTNAME\" : \"A\",\"SURNAME\" : \"B\",\"ORGANISATION\" : \"\","
        "\"MAILS\" : {\"MAIL0\" : \"m\",},\"PHONES\" : {\"PHONE0\" : {\"NUMBER\" : \"1\","
        "\"TYPE_PLACE\" : 1,\"TYPE_DEVICE\" : 2},},}}";
    EXPECT_EQ(ThroughApplication(older), VCardToJson(SampleContact()));
    EXPECT_EQ(ThroughTag(older), VCardToJson(SampleContact()));

    const std::string rawBreaks = "{\"MAIL\" : {\"ADDRESS\" : \"a\",\"MESSAGE\" : \"x\r\ny\",}}";
    EXPECT_EQ(ThroughApplication(rawBreaks), MailToJson("a", "", "x\r\ny", ""));
}

TEST(RecordJsonRead, KeysAndMembers) {
    struct Case {
        const char* json;
        std::string written;
    };
    const Case cases[] = {
        {R"({"text" : {"title" : "x"}})", TextToJson("x")},
        {R"({"TeLePhOn" : {"Number" : "1"}})", TelephonToJson("1", "")},
        {R"({"TEXT" : {"TITLE" : "a","TITLE" : "b"}})", TextToJson("b")},
        {R"({"TEXT" : {"TITLE" : 5,"URL" : "u"}})", TextToJson("")},
        {R"({"TEXT" : {}})", TextToJson("")},
        {R"({"TEXT" : {"TITLE" : "a"},"FOO" : 1})", TextToJson("a")},
        {R"({"VCARD" : {"SURNAME" : "B","MAILS" : {"MAILX" : "x","mail7" : "y","EMAIL0" : "z","MAIL1" : 3},)"
         R"("URLS" : ["u"],"PHONES" : {"PHONE0" : {"NUMBER" : "1","TYPE_PLACE" : "2","TYPE_DEVICE" : 1},)"
         R"("PHONE1" : {},"X" : {"NUMBER" : "3"},"phone2" : {"TYPE_PLACE" : 2}}}})",
         R"({"VCARD" : {"FIRSTNAME" : "","SURNAME" : "B","ORGANISATION" : "","MAILS" : {"MAIL0" : "x","MAIL1" : "y"},)"
         R"("PHONES" : {"PHONE0" : {"NUMBER" : "1","TYPE_PLACE" : 0,"TYPE_DEVICE" : 1},)"
         R"("PHONE1" : {"NUMBER" : "","TYPE_PLACE" : 2,"TYPE_DEVICE" : 0}}}})"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ThroughApplication(c.json), c.written) << c.json;
}

TEST(RecordJsonRead, UnknownKindAndMalformedText) {
    for (const char* json : {R"({"FOO" : {"TITLE" : "x"}})", R"({"TEXTX" : {}})"}) {
        CStubNdefContext context;
        CNdefMessage message;
        message.Add(std::make_unique<CNdefTextRecord>());
        EXPECT_FALSE(JsonToNdefMessage(context, json, message));
        EXPECT_TRUE(message.records.empty());
        EXPECT_EQ(context.errors, std::vector<int>{kTagErrorUnknownDataType});
        std::unique_ptr<CNfcTagData> item = std::make_unique<CNfcTagData>(std::make_unique<std::string>());
        EXPECT_EQ(JsonToNfcTagData(json, item), RecordJsonResult::kUnknownKind);
        EXPECT_FALSE(item);
    }
    for (const char* json :
         {R"({"TEXT" : "x"})", "{}", "[]", "", "not json", R"({"TEXT" : {"TITLE" : "a")"}) {
        CStubNdefContext context;
        CNdefMessage message;
        EXPECT_FALSE(JsonToNdefMessage(context, json, message)) << json;
        EXPECT_TRUE(context.errors.empty());
        std::unique_ptr<CNfcTagData> item;
        EXPECT_EQ(JsonToNfcTagData(json, item), RecordJsonResult::kMalformed) << json;
        EXPECT_FALSE(item);
    }
}

// What JSON writers that escape every non-ASCII character send (UTF-16 escapes, a
// character beyond U+FFFF as a surrogate pair): the characters as UTF-8, written out
// by hand. A lone surrogate half is U+FFFD; the characters around it stay.
TEST(RecordJsonRead, UnicodeEscapesDecodeToTheirCharacters) {
    struct Case {
        const char* escaped;
        std::string utf8;
    };
    const Case cases[] = {
        {R"(x\u00e9y)", "x\xC3\xA9y"},
        {R"(\u20AC)", "\xE2\x82\xAC"},
        {R"(\ud842\udfb7)", "\xF0\xA0\xAE\xB7"},   // U+20BB7, not U+10BB7
        {R"(\uD83D\uDE00!)", "\xF0\x9F\x98\x80!"}, // U+1F600
        {R"(\ud800\u0041)", "\xEF\xBF\xBD"
                            "A"},
        {R"(\udc00\ud800)", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {R"(a\ud800)", "a\xEF\xBF\xBD"},
        {R"(\\ud842 \"\u0041\n)", "\\ud842 \"A\n"}, // an escaped backslash, then ASCII escapes
    };
    for (const Case& c : cases) {
        const std::string json = std::string(R"({"TEXT" : {"TITLE" : ")") + c.escaped + R"("}})";
        EXPECT_EQ(ThroughApplication(json), TextToJson(c.utf8)) << c.escaped;
        EXPECT_EQ(ThroughTag(json), TextToJson(c.utf8)) << c.escaped;
    }
}

TEST(RecordJsonRead, ContactWithoutNameIsNotWritten) {
    CVCardMime contact;
    contact.organisation = "Firma";
    contact.mails = {"a@b.de"};
    CStubNdefContext context;
    CNdefMessage message;
    EXPECT_FALSE(JsonToNdefMessage(context, VCardToJson(contact), message));
    EXPECT_TRUE(message.records.empty());
    EXPECT_EQ(context.errors, std::vector<int>{kTagErrorMimeFormat});
    contact.givenName = "A";
    EXPECT_TRUE(JsonToNdefMessage(context, VCardToJson(contact), message));
    EXPECT_EQ(message.records.size(), 1u);
}

// Catches a web address of another scheme written with "http://" in front (or as
// something else than given), and a URI of another scheme from a tag that the
// application's web address form cannot show.
TEST(RecordJsonRead, UriOfAnotherSchemeTravelsAsBookmark) {
    // "ftp://" (code 0x0D), a URI without any prefix code, an address without a scheme
    // and a scheme in capitals (no code: the codes are case-sensitive).
    for (const char* hex :
         {"D1 01 02 55 0D 78", "D1 01 04 55 00 67 3A 31", "D1 01 09 55 00 77 77 77 2E 61 2E 64 65",
          "D1 01 09 55 00 48 54 54 50 3A 2F 2F 41"}) {
        CStubNdefContext context;
        auto message = DecodeNdefMessage(context, Bytes(hex));
        ASSERT_TRUE(message);
        CSdkNfcTagDataList items;
        MessageToTagData(context, *message, true, false, items);
        ASSERT_EQ(items.size(), 1u);
        const std::string uri = items[0]->GetUriScheme()->value;
        std::string json;
        ASSERT_TRUE(TagDataToJson(items[0].get(), json));
        EXPECT_EQ(json, BookmarkToJson(uri, ""));

        std::unique_ptr<CNfcTagData> item;
        ASSERT_EQ(JsonToNfcTagData(json, item), RecordJsonResult::kOk);
        ASSERT_TRUE(item->HasUriScheme());
        EXPECT_EQ(item->GetUriScheme()->GetSchemeType(), CUriScheme::kUnknown);
        EXPECT_EQ(item->GetUriScheme()->value, uri);

        // Written back, the tag gets the same bytes.
        CNdefMessage written;
        ASSERT_TRUE(JsonToNdefMessage(context, json, written));
        CMyByteArray bytes;
        EncodeNdefMessage(written, bytes);
        EXPECT_EQ(bytes, Bytes(hex));
    }
}

class COtherMime : public CMime {
public:
    COtherMime() : CMime(7) {}
    std::string GetMimeType() const override { return "x/y"; }
    void Build(CMyByteArray& payload) const override { payload = {1}; }
};

TEST(RecordJsonWrite, TagDataWithoutWritableContent) {
    std::string json = "old";
    EXPECT_FALSE(TagDataToJson(nullptr, json));
    EXPECT_EQ(json, "");
    const CSdkNfcTagData noScheme(std::unique_ptr<CUriScheme>{});
    EXPECT_FALSE(TagDataToJson(&noScheme, json));
    const CSdkNfcTagData other(std::unique_ptr<CMime>(std::make_unique<COtherMime>()));
    EXPECT_FALSE(TagDataToJson(&other, json));
    EXPECT_EQ(json, "");
}

} // namespace
