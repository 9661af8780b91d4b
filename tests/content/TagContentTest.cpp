// The records written for a tag's content and the content taken from records read.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/NdefCodec.h"
#include "content/TagContent.h"
#include "content/TagErrorCode.h"
#include "content/VCardMime.h"

namespace {

CMyByteArray Encoded(const CNdefMessage& message) {
    CMyByteArray bytes;
    EncodeNdefMessage(message, bytes);
    return bytes;
}

CSdkNfcTagDataList ItemsOf(const char* hex, CStubNdefContext& context, bool firstOnly = true) {
    auto message = DecodeNdefMessage(context, Bytes(hex));
    EXPECT_TRUE(message) << hex;
    CSdkNfcTagDataList items;
    if (message) MessageToTagData(context, *message, firstOnly, false, items);
    return items;
}

TEST(TagContentWrite, RecordsOfEachContent) {
    CNdefMessage message;
    message.Add(std::make_unique<CNdefTextRecord>("xx", "old"));

    ASSERT_TRUE(TextJsonToRecords("abc", message));
    EXPECT_EQ(Encoded(message), Bytes("D1 01 06 54 02 65 6E 61 62 63"));

    ASSERT_TRUE(BookmarkJsonToRecords("https://www.a.de", "", message));
    EXPECT_EQ(Encoded(message), Bytes("D1 01 05 55 02 61 2E 64 65"));

    ASSERT_TRUE(BookmarkJsonToRecords("http://a.b", "T", message));
    EXPECT_EQ(Encoded(message), Bytes("D1 02 10 53 70 91 01 04 54 02 65 6E 54 51 01 04 55 03 61 2E 62"));

    ASSERT_TRUE(MailJsonToRecords("a@b", "S", "x\r\ny", "", message));
    EXPECT_EQ(Encoded(message),
              Bytes("D1 01 1E 55 06 61 25 34 30 62 3F 73 75 62 6A 65 63 74 3D 53 26 62 6F 64 79 "
                    "3D 78 25 30 44 25 30 41 79"));

    ASSERT_TRUE(SmsJsonToRecords("1", "hi", "", message));
    EXPECT_EQ(Encoded(message), Bytes("D1 01 0E 55 00 73 6D 73 3A 31 3F 62 6F 64 79 3D 68 69"));

    ASSERT_TRUE(TelephonJsonToRecords("+1", "", message));
    EXPECT_EQ(Encoded(message), Bytes("D1 01 05 55 05 25 32 42 31"));

    CVCardMime contact;
    contact.familyName = "B";
    ASSERT_TRUE(MimeToRecords(contact, message));
    const std::string vcard = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:B\r\nN:B;\r\nEND:VCARD";
    CMyByteArray expected = Bytes("D2 0C 2F 74 65 78 74 2F 78 2D 76 43 61 72 64");
    expected.AppendArray(TextBytes(vcard));
    ASSERT_EQ(vcard.size(), 0x2Fu);
    EXPECT_EQ(Encoded(message), expected);
}

TEST(TagContentRead, FirstRecordDecides) {
    CStubNdefContext context;
    auto items = ItemsOf("91 01 04 54 02 65 6E 61 51 01 02 55 05 31", context);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->HasText());
    EXPECT_EQ(*items[0]->GetText(), "a");

    items = ItemsOf("91 01 02 55 05 31 51 01 04 54 02 65 6E 61", context);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->HasUriScheme());
    EXPECT_EQ(items[0]->GetUriScheme()->GetSchemeType(), CUriScheme::kTelephon);

    items = ItemsOf("91 01 04 54 02 65 6E 61 51 01 02 55 05 31", context, false);
    EXPECT_EQ(items.size(), 2u);
    EXPECT_TRUE(context.errors.empty());
}

TEST(TagContentRead, SmartPosterTitle) {
    CStubNdefContext context;
    // Empty text, then a text, then a URI: the first non-empty text is the title.
    auto items =
        ItemsOf("D1 02 15 53 70 91 01 03 54 02 65 6E 11 01 04 54 02 65 6E 54 51 01 02 55 03 61", context);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->HasUriScheme());
    EXPECT_EQ(items[0]->GetUriScheme()->title, "T");
    EXPECT_EQ(items[0]->GetUriScheme()->value, "a");

    // Two URIs: two items and no title.
    items = ItemsOf("D1 02 14 53 70 91 01 04 54 02 65 6E 54 11 01 02 55 03 61 51 01 02 55 03 62", context);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->GetUriScheme()->title, "");

    // A smart poster without items lets the walk go on to the next record.
    items = ItemsOf("91 02 07 53 70 D1 01 03 54 02 65 6E 51 01 04 54 02 65 6E 7A", context);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->HasText());
    EXPECT_EQ(*items[0]->GetText(), "z");
}

TEST(TagContentRead, MimeRecords) {
    CStubNdefContext context;
    auto items = ItemsOf("92 0A 01 74 65 78 74 2F 70 6C 61 69 6E 58 51 01 04 54 02 65 6E 61", context);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(context.errors, std::vector<int>{kTagErrorMimeFormat});

    CStubNdefContext vcard;
    CMyByteArray bytes = Bytes("D2 0A 14 74 65 78 74 2F 76 63 61 72 64");
    bytes.AppendArray(TextBytes("BEGIN:VCARD\r\nN:B;A\r\n"));
    auto message = DecodeNdefMessage(vcard, bytes);
    ASSERT_TRUE(message);
    CSdkNfcTagDataList list;
    MessageToTagData(vcard, *message, true, false, list);
    ASSERT_EQ(list.size(), 1u);
    ASSERT_TRUE(list[0]->HasMime());
    EXPECT_EQ(static_cast<const CVCardMime&>(*list[0]->GetMime()).givenName, "A");
}

} // namespace
