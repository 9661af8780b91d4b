// vCard 2.1 text of a contact.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/PercentCodec.h"
#include "content/VCardMime.h"

namespace {

std::string Built(const CVCardMime& contact) {
    CMyByteArray payload{0x01};
    contact.Build(payload);
    return std::string(payload.begin(), payload.end());
}

CVCardMime Parsed(std::string_view text) {
    CVCardMime contact;
    contact.givenName = "stale";
    contact.Parse(TextBytes(text));
    return contact;
}

void ExpectSameContact(const CVCardMime& a, const CVCardMime& b) {
    EXPECT_EQ(a.givenName, b.givenName);
    EXPECT_EQ(a.familyName, b.familyName);
    EXPECT_EQ(a.organisation, b.organisation);
    EXPECT_EQ(a.phones, b.phones);
    EXPECT_EQ(a.mails, b.mails);
    EXPECT_EQ(a.urls, b.urls);
}

TEST(VCardBuild, Lines) {
    CVCardMime contact;
    contact.givenName = "Anna";
    contact.familyName = "Berg";
    contact.organisation = "Kiel; Nord";
    EXPECT_EQ(Built(contact), "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Anna Berg, Kiel; Nord\r\nN:Berg;Anna\r\n"
                              "ORG:Kiel\\; Nord\r\nEND:VCARD");

    CVCardMime family;
    family.familyName = "Berg";
    family.phones = {{"1", 2, 1}, {"2", 0, 0}, {"3", 1, 2}};
    family.mails = {"", "a@b.de"};
    family.urls = {"http://x.de", ""};
    EXPECT_EQ(Built(family),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Berg\r\nN:Berg;\r\nTEL;HOME;CELL:1\r\nTEL:2\r\n"
              "TEL;WORK;FAX:3\r\nEMAIL:a@b.de\r\nURL:http://x.de\r\nEND:VCARD");

    CVCardMime organisationOnly;
    organisationOnly.organisation = "Firma";
    EXPECT_EQ(Built(organisationOnly), "");
}

// Catches a line break in a value that turns into a line of its own: the card read
// back (here or by a lenient reader that ends lines at a lone CR or LF) would hold a
// telephone entry nobody entered and lose the rest of the contact.
TEST(VCardBuild, LineBreakInAValueStaysOnItsLine) {
    for (const std::string lineBreak : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(lineBreak));
        CVCardMime contact;
        contact.givenName = "Anna" + lineBreak + "TEL:999";
        contact.familyName = "Berg" + lineBreak + "END:VCARD";
        contact.organisation = "Nord" + lineBreak + "TEL:+19005551234";
        contact.phones = {{"1" + lineBreak + "URL:y", 0, 0}};
        contact.mails = {"a@b.de" + lineBreak + "URL:x"};
        EXPECT_EQ(Built(contact),
                  "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Anna TEL:999 Berg END:VCARD, Nord TEL:+19005551234\r\n"
                  "N:Berg END:VCARD;Anna TEL:999\r\nORG:Nord TEL:+19005551234\r\nTEL:1 URL:y\r\n"
                  "EMAIL:a@b.de URL:x\r\nEND:VCARD");
        const CVCardMime back = Parsed(Built(contact));
        EXPECT_EQ(back.givenName, "Anna TEL:999");
        EXPECT_EQ(back.familyName, "Berg END:VCARD");
        EXPECT_EQ(back.organisation, "Nord TEL:+19005551234");
        EXPECT_EQ(back.phones, (CVCardMime::CTelephonListe{{"1 URL:y", 0, 0}}));
        EXPECT_EQ(back.mails, std::vector<std::string>{"a@b.de URL:x"});
        EXPECT_TRUE(back.urls.empty());
    }
}

// Cards of other writers: lines folded (a line that begins with a blank or a tab goes
// on the one before, without that blank) and LF or CR line ends.
TEST(VCardParse, FoldedLinesAndOtherLineEnds) {
    const std::string card = "BEGIN:VCARD|VERSION:3.0|N:Berg;Anna|EMAIL;TYPE=INTERNET:anna.berg@ein-sehr-la|"
                             " nger-name.example|URL:https://example.com/ein/|\tsehr/langer/pfad|"
                             "TEL;CELL:+49 1|  2|END:VCARD|";
    for (const std::string lineEnd : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(lineEnd));
        const CVCardMime contact = Parsed(ReplaceAll(card, "|", lineEnd));
        EXPECT_EQ(contact.familyName, "Berg");
        EXPECT_EQ(contact.givenName, "Anna");
        EXPECT_EQ(contact.mails, std::vector<std::string>{"anna.berg@ein-sehr-langer-name.example"});
        EXPECT_EQ(contact.urls, std::vector<std::string>{"https://example.com/ein/sehr/langer/pfad"});
        EXPECT_EQ(contact.phones, (CVCardMime::CTelephonListe{{"+49 1 2", 0, 1}}));
    }
}

TEST(VCardParse, Properties) {
    const CVCardMime contact =
        Parsed("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:ignored\r\nn:;Anna\r\nORG:A;;B\r\n"
               "item1.EMAIL;INTERNET:x\r\ntel;work;fax:1\r\nTEL;HOME;CELL;WORK:2\r\n"
               "TEL:\r\nURL;WORK:skipped\r\nURL:u\r\nNOTE:skip\r\n\r\nEND:VCARD\r\nEMAIL:late");
    EXPECT_EQ(contact.familyName, "");
    EXPECT_EQ(contact.givenName, "Anna");
    EXPECT_EQ(contact.organisation, "A, B");
    EXPECT_EQ(contact.mails, std::vector<std::string>{"x"});
    EXPECT_EQ(contact.urls, std::vector<std::string>{"u"});
    const CVCardMime::CTelephonListe phones = {{"1", 1, 2}, {"2", 1, 1}};
    EXPECT_EQ(contact.phones, phones);

    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN:Berg\r\nEND:VCARD").givenName, "");
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN:Berg\r\nEND:VCARD").familyName, "Berg");
    EXPECT_EQ(Parsed("VERSION:2.1\r\nN:Berg;Anna").givenName, "");
    EXPECT_EQ(Parsed("begin:vcard\r\nN:a;b\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:c;d\r\nEND:VCARD").familyName,
              "a");
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN:a;b\r\nBEGIN:VCARD\r\nN:c;d").familyName, "a");
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN:a;b\r\nN:c").givenName, ""); // a later N replaces both
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nORG:x\r\nORG:;").organisation, "x");
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN:\xFF;a").familyName, "\xEF\xBF\xBD");
}

// Cards of other writers with quoted-printable values and parameters past what
// phones write most: a soft line break at the card's very end leaves END:VCARD a
// line of its own, a "=" without two hex digits stays as written, quoted TYPE
// values (vCard 4.0) count, and Windows-1252 letters read as themselves.
TEST(VCardParse, QuotedPrintableAndParameterEdges) {
    struct Case {
        const char* name;
        std::string card;
        std::string family;
        std::string given;
        CVCardMime::CTelephonListe phones;
    };
    for (const Case& c : {
             Case{"soft break before END",
                  "BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLE:Berg;Anna=\r\nEND:VCARD\r\n",
                  "Berg",
                  "Anna",
                  {}},
             Case{"bad hex",
                  "BEGIN:VCARD\r\nN;QUOTED-PRINTABLE:B=ZZerg=4;A=4\r\nEND:VCARD",
                  "B=ZZerg=4",
                  "A=4",
                  {}},
             Case{"quoted types",
                  "BEGIN:VCARD\r\nN:Berg;Anna\r\nTEL;TYPE=\"work,cell\":5\r\nEND:VCARD",
                  "Berg",
                  "Anna",
                  {{"5", 1, 1}}},
             // 80 is the euro sign, 8A an S with caron, E4 an a with diaeresis.
             Case{"Windows-1252",
                  "BEGIN:VCARD\r\nN;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=8Aulc=E4=80;A\r\nEND:"
                  "VCARD",
                  "\xC5\xA0ulc\xC3\xA4\xE2\x82\xAC",
                  "A",
                  {}},
         }) {
        SCOPED_TRACE(c.name);
        const CVCardMime contact = Parsed(c.card);
        EXPECT_EQ(contact.familyName, c.family);
        EXPECT_EQ(contact.givenName, c.given);
        EXPECT_EQ(contact.phones, c.phones);
    }
}

TEST(VCardParse, EscapedSeparatorsInNameAndOrganisation) {
    // Texts written by the earlier program: a backslash before , or ; of the value.
    const CVCardMime contact = Parsed("BEGIN:VCARD\r\nN:M\\;ller\\, Dr.;Eva\r\nORG:A\\,B;C\r\nEND:VCARD");
    EXPECT_EQ(contact.familyName, "M;ller, Dr.");
    EXPECT_EQ(contact.givenName, "Eva");
    EXPECT_EQ(contact.organisation, "A,B, C");
}

TEST(VCardRoundTrip, EveryFieldComesBack) {
    CVCardMime contact;
    contact.givenName = "Jos\xC3\xA9 \"J\" ;x, y\\";
    contact.familyName = "M\xC3\xBCller\\;Schmidt\\,\\";
    contact.organisation = "A;B, C\\; D\\, E\\\\";
    contact.phones = {{"+49 (0) 431 123", 1, 0}, {"0170 1", 2, 1}, {"fax:1;2", 1, 2}, {"x", 0, 0}};
    contact.mails = {"a@b.de", "c;d@e.de"};
    contact.urls = {"http://a.de/?x=1;y=2", "https://b.de"};
    CMyByteArray payload;
    contact.Build(payload);
    CVCardMime back;
    back.Parse(payload);
    ExpectSameContact(back, contact);

    for (const char* name : {"\\", "\\\\", ";", "a\\", "\\;", "\\,", ","}) {
        CVCardMime one;
        one.familyName = name;
        one.givenName = name;
        one.organisation = name;
        CVCardMime again = Parsed(Built(one));
        EXPECT_EQ(again.familyName, name);
        EXPECT_EQ(again.givenName, name);
        EXPECT_EQ(again.organisation, name);
    }
}

TEST(VCardMime, CreateMimeFromType) {
    const CMyByteArray payload = TextBytes("BEGIN:VCARD\r\nN:Berg;Anna\r\nEND:VCARD");
    for (const char* type : {"text/vcard", "TEXT/X-VCARD", "text/vCard-extra", "text/x-vCard"}) {
        auto mime = CreateMimeFromType(type, payload);
        ASSERT_TRUE(mime) << type;
        EXPECT_EQ(mime->GetMimeKind(), CMime::kVCard);
        EXPECT_EQ(static_cast<const CVCardMime&>(*mime).givenName, "Anna");
    }
    for (const char* type : {"text/plain", "application/vCard", "text/", "text/vcar", ""})
        EXPECT_FALSE(CreateMimeFromType(type, payload)) << type;
    EXPECT_EQ(CVCardMime().GetMimeType(), "text/x-vCard");
}

} // namespace
