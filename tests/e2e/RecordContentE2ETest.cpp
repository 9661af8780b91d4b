// What the flat API makes of record content other programs write, and of record
// texts that would write nothing sound: on a simulated NTAG213, read and written
// through KQLMX_ReadTag and KQLMX_WriteTag.
#include "TagSimReader.h"

#include "kqlmx.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <gtest/gtest.h>

namespace {

using kqsim::TagId;
using kqsim::Type2Tag;
using kqtest::Ascii;
using kqtest::Bytes;
using kqtest::Cat;
using kqtest::Hex;
using kqtest::TagSimReader;
using Model = kqsim::Type2Tag::Model;

constexpr int kTagUriFormat = 0x20018;
constexpr int kTagMimeFormat = 0x20019;
constexpr int kTagUnknownDataType = 0x2001B;

// An NTAG213 as shipped whose data area (page 4 on) holds an NDEF Message TLV of
// `message` (shorter than 255 bytes): 03 L message FE.
void PlaceWithMessage(TagSimReader& r, const Bytes& message) {
    Bytes area = Cat({{0x03, static_cast<uint8_t>(message.size())}, message, {0xFE}});
    area.resize((area.size() + 3) / 4 * 4, 0x00);
    kqsim::TagImage image;
    image.set("kind", "ntag213");
    for (size_t page = 0; page < area.size() / 4; ++page)
        image.setRow("page", static_cast<int>(4 + page),
                     Bytes(area.begin() + 4 * page, area.begin() + 4 * page + 4));
    std::string error;
    auto tag = Type2Tag::load(image, error);
    ASSERT_TRUE(tag) << error;
    r.sim.placeTag(std::move(tag));
}

// One record that is the whole message (MB ME), short (SR) with its TNF.
Bytes Record(uint8_t tnf, const std::string& type, const Bytes& payload) {
    return Cat({{static_cast<uint8_t>(0xD0 | tnf), static_cast<uint8_t>(type.size()),
                 static_cast<uint8_t>(payload.size())},
                Ascii(type),
                payload});
}

// A contact as phones and other programs write it (vCard 2.1 with CHARSET and
// quoted-printable, vCard 3.0 with TYPE lists and escapes, a byte order mark)
// reads with its name and its phone types.
struct ContactCase {
    const char* name;
    std::string card;
    std::string json;
};

void PrintTo(const ContactCase& c, std::ostream* os) {
    *os << c.name;
}

class ContactFromOtherWriters : public testing::TestWithParam<ContactCase> {};

TEST_P(ContactFromOtherWriters, ReadsWithItsName) {
    TagSimReader r;
    PlaceWithMessage(r, Record(0x02, "text/x-vCard", Ascii(GetParam().card)));
    int result = -1;
    EXPECT_EQ(r.ReadJson(&result), GetParam().json) << KQLMX_GetLastError(r.port);
    EXPECT_GT(result, 0);
}

// "Müller" is 4D C3 BC 6C 6C 65 72 in UTF-8; quoted-printable writes C3 BC as =C3=BC.
INSTANTIATE_TEST_SUITE_P(
    Type2, ContactFromOtherWriters,
    testing::Values(
        ContactCase{"charset",
                    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8:M\xC3\xBCller;Hans\r\nEND:VCARD",
                    "{\"VCARD\" : {\"FIRSTNAME\" : \"Hans\",\"SURNAME\" : \"M\xC3\xBCller\",\"ORGANISATION\" "
                    ": \"\"}}"},
        ContactCase{
            "quoted_printable",
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;Ha="
            "\r\nns\r\n"
            "TEL;CELL:+49 1\r\nEND:VCARD",
            "{\"VCARD\" : {\"FIRSTNAME\" : \"Hans\",\"SURNAME\" : \"M\xC3\xBCller\",\"ORGANISATION\" : \"\","
            "\"PHONES\" : {\"PHONE0\" : {\"NUMBER\" : \"+49 1\",\"TYPE_PLACE\" : 0,\"TYPE_DEVICE\" : 1}}}}"},
        ContactCase{
            "type_list", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo\r\nTEL;TYPE=WORK,CELL:5\r\nEND:VCARD",
            "{\"VCARD\" : {\"FIRSTNAME\" : \"Jo\",\"SURNAME\" : \"Doe\",\"ORGANISATION\" : \"\","
            "\"PHONES\" : {\"PHONE0\" : {\"NUMBER\" : \"5\",\"TYPE_PLACE\" : 1,\"TYPE_DEVICE\" : 1}}}}"},
        ContactCase{
            "escaped_line_break", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe\\nSmith;Jo\r\nEND:VCARD",
            "{\"VCARD\" : {\"FIRSTNAME\" : \"Jo\",\"SURNAME\" : \"Doe\\nSmith\",\"ORGANISATION\" : \"\"}}"},
        ContactCase{"byte_order_mark",
                    "\xEF\xBB\xBF"
                    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo\r\nEND:VCARD",
                    "{\"VCARD\" : {\"FIRSTNAME\" : \"Jo\",\"SURNAME\" : \"Doe\",\"ORGANISATION\" : \"\"}}"}),
    [](const auto& info) { return std::string(info.param.name); });

// A tag whose record the program cannot show is no successful read of nothing: the
// read fails with the code that says why.
TEST(Type2Read, RecordsThatCannotBeShownAreReported) {
    // A smart poster (D1 02 L "Sp") around a message of one record.
    const auto poster = [](const Bytes& inner) { return Record(0x01, "Sp", inner); };
    Bytes deep = Record(0x01, "U", Cat({{0x04}, Ascii("a.de")}));
    for (int i = 0; i < 6; ++i)
        deep = poster(deep);
    struct Case {
        const char* name;
        Bytes message;
        int code;
    };
    for (const Case& c : {Case{"mime image", Record(0x02, "image/png", Hex("89 50 4E 47")), kTagMimeFormat},
                          Case{"absolute uri", Record(0x03, "https://a.de/", Ascii("x")), kTagUriFormat},
                          Case{"external type", Record(0x04, "example.com:t", Ascii("x")), kTagMimeFormat},
                          Case{"posters six deep", deep, kTagUriFormat}}) {
        SCOPED_TRACE(c.name);
        TagSimReader r;
        PlaceWithMessage(r, c.message);
        int result = 0;
        EXPECT_EQ(r.ReadJson(&result), "");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(KQLMX_GetLastError(r.port), c.code);
    }
}

// A web address or number that is empty, or a text that is not UTF-8, is refused
// before the tag is touched, as an e-mail or SMS without its address is.
TEST(Type2Write, RecordTextsThatWouldWriteNothingSoundAreRefused) {
    struct Case {
        std::string json;
        int code;
    };
    for (const Case& c : {Case{R"({"BOOKMARK" : {"URL" : "","TITLE" : ""}})", kTagUriFormat},
                          Case{R"({"BOOKMARK" : {"URL" : "","TITLE" : "Titel"}})", kTagUriFormat},
                          Case{R"({"TELEPHON" : {"NUMBER" : "","TITLE" : ""}})", kTagUriFormat},
                          Case{"{\"TEXT\" : {\"TITLE\" : \"Gr\xFC\xDF"
                               "e\"}}",
                               kTagUnknownDataType},
                          Case{"{\"SMS\" : {\"ADDRESS\" : \"1\",\"MESSAGE\" : \"\xC3\",\"TITLE\" : \"\"}}",
                               kTagUnknownDataType}}) {
        SCOPED_TRACE(c.json);
        TagSimReader r;
        const TagId id = r.sim.placeTag(Type2Tag::blank(Model::Ntag213));
        const Bytes before = *r.sim.tagMemory(id);
        EXPECT_EQ(r.WriteJson(c.json), -1);
        EXPECT_EQ(r.LastError(), c.code);
        EXPECT_EQ(*r.sim.tagMemory(id), before);
        EXPECT_TRUE(r.Commands().empty()) << "the tag is not even looked for";
    }
}

} // namespace
