// URI texts of web addresses, e-mail, SMS and telephone numbers.

#include <gtest/gtest.h>

#include "content/MailtoUri.h"
#include "content/PercentCodec.h"
#include "content/UriScheme.h"

namespace {

template <class T> const T& As(const std::unique_ptr<CUriScheme>& scheme) {
    return dynamic_cast<const T&>(*scheme);
}

TEST(UriScheme, FactoryPicksByExactPrefix) {
    struct Case {
        const char* text;
        int32_t type;
        const char* value;
    };
    const Case cases[] = {
        {"http://a.de", CUriScheme::kBookmark, "a.de"}, {"https://a.de", CUriScheme::kBookmark, "a.de"},
        {"mailto:x@y", CUriScheme::kMail, "x@y"},       {"sms:123", CUriScheme::kSms, "123"},
        {"tel:123", CUriScheme::kTelephon, "123"},      {"HTTP://a.de", CUriScheme::kUnknown, "HTTP://a.de"},
        {"Mailto:x", CUriScheme::kUnknown, "Mailto:x"}, {"geo:1,2", CUriScheme::kUnknown, "geo:1,2"},
        {"mailto:?subject=x", CUriScheme::kMail, ""}, // no address: kept with empty fields
    };
    for (const Case& c : cases) {
        auto scheme = CreateUriScheme(c.text, true);
        ASSERT_TRUE(scheme);
        EXPECT_EQ(scheme->GetSchemeType(), c.type) << c.text;
        EXPECT_EQ(scheme->value, c.value) << c.text;
    }
    EXPECT_TRUE(As<CBookmarkScheme>(CreateUriScheme("https://a.de", true)).https);
    EXPECT_TRUE(As<CMailScheme>(CreateUriScheme("mailto:?subject=x", true)).subject.empty());
}

TEST(UriScheme, BookmarkIsNotPercentEncoded) {
    CBookmarkScheme bookmark;
    bookmark.value = "a.de/x y";
    EXPECT_EQ(bookmark.Compose(true), "http://a.de/x y");
    bookmark.https = true;
    EXPECT_EQ(bookmark.Compose(false), "https://a.de/x y");
    EXPECT_FALSE(bookmark.Parse("ftp://a", false));
    EXPECT_EQ(bookmark.value, "");
}

TEST(UriScheme, MailCompose) {
    CMailScheme mail;
    mail.value = "x";
    mail.subject = "Hi there";
    mail.body = "line1\r\nline2";
    EXPECT_EQ(mail.Compose(true), "mailto:x?subject=Hi%20there&body=line1%0D%0Aline2");
    mail.subject.clear();
    mail.body.clear();
    EXPECT_EQ(mail.Compose(true), "mailto:x?subject=&body=");
    mail.value = "a@b.de";
    EXPECT_EQ(mail.Compose(false), "mailto:a%40b.de?subject=&body=");
}

TEST(UriScheme, MailtoHeaders) {
    auto mail = CreateUriScheme("mailto:a?to=b&cc=c&subject=S&body=x&body=y", true);
    EXPECT_EQ(mail->value, "a, b");
    EXPECT_EQ(As<CMailScheme>(mail).subject, "S");
    EXPECT_EQ(As<CMailScheme>(mail).body, "x\r\ny");

    EXPECT_EQ(As<CMailScheme>(CreateUriScheme("mailto:a?Subject=1&SUBJECT=2", true)).subject, "2");

    CMailScheme empty;
    EXPECT_FALSE(empty.Parse("mailto:?subject=x", true));
    EXPECT_EQ(empty.subject, "");

    CMailtoUri uri;
    uri.Parse("MAILTO:a%00b?bcc=z&x=1&novalue&body=");
    EXPECT_EQ(uri.uri, "mailto:a%2500b?bcc=z&x=1&novalue&body=");
    EXPECT_EQ(uri.to.decoded, "a%00b"); // no field decodes to a NUL byte
    EXPECT_EQ(uri.bcc.decoded, "z");
    EXPECT_EQ(uri.body.decoded, "");

    CMailtoUri notMailto;
    notMailto.Parse("mail:a");
    EXPECT_EQ(notMailto.to.decoded, "");
    EXPECT_EQ(notMailto.uri, "");
}

TEST(UriScheme, PercentCodec) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"%41", "A"}, Case{"%4", "%4"}, Case{"%g1", "%g1"}, Case{"a+b", "a+b"},
                          Case{"%zz%41", "%zzA"}, Case{"%0d%0A", "\n"}, Case{"a\rb", "a\nb"}, Case{"%", "%"}})
        EXPECT_EQ(PercentDecode(c.in), c.out) << c.in;

    EXPECT_EQ(PercentEncode("Az09-._~'()*"), "Az09-._~'()*");
    EXPECT_EQ(PercentEncode(" \r!+,/:@%\n\xC3\xA4"), "%20%0D%21%2B%2C%2F%3A%40%25%0D%0A%C3%A4");

    std::string withNul = "12%003";
    PercentDecodeInPlace(withNul);
    EXPECT_EQ(withNul, "12");
}

TEST(UriScheme, SmsAndTelephon) {
    struct Case {
        const char* text;
        const char* value;
        const char* body;
    };
    for (const Case& c :
         {Case{"sms:?body=hi", "?body=hi", ""}, Case{"sms:123", "123", ""},
          Case{"sms:+49%20170?body=a%0Ab", "+49 170", "a\r\nb"}, Case{"sms:1%002?body=x%00y", "1", "x"}}) {
        CSmsScheme sms;
        EXPECT_TRUE(sms.Parse(c.text, true));
        EXPECT_EQ(sms.value, c.value) << c.text;
        EXPECT_EQ(sms.body, c.body) << c.text;
    }
    CSmsScheme sms;
    EXPECT_FALSE(sms.Parse("SMS:1", true));

    CTelephonNrScheme tel;
    EXPECT_TRUE(tel.Parse("tel:%2B49%20123", true));
    EXPECT_EQ(tel.value, "+49 123");
    EXPECT_EQ(tel.Compose(true), "tel:%2B49%20123");
    EXPECT_FALSE(tel.Parse("tel123", true));
    EXPECT_EQ(tel.value, "");
}

// A line break in a one-line field (CR LF, or a lone CR or LF) is one encoded CR LF,
// as in a message body; a CR LF encoded as %0D%0D%0A would read back as two breaks.
TEST(UriScheme, LineBreakInAOneLineFieldIsOneCrLf) {
    for (const std::string lineBreak : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(lineBreak));
        const std::string field = "a" + lineBreak + "b";
        CMailScheme mail;
        mail.value = field;
        mail.subject = field;
        EXPECT_EQ(mail.Compose(true), "mailto:a%0D%0Ab?subject=a%0D%0Ab&body=");
        CSmsScheme sms;
        sms.value = field;
        EXPECT_EQ(sms.Compose(true), "sms:a%0D%0Ab?body=");
        CTelephonNrScheme tel;
        tel.value = field;
        EXPECT_EQ(tel.Compose(true), "tel:a%0D%0Ab");
        EXPECT_EQ(CreateUriScheme(tel.Compose(true), true)->value, "a\nb");
    }
}

TEST(UriScheme, RoundTripsWithReservedAndNonAsciiCharacters) {
    const std::string hostile = "a&b=c?d#e%f+g/h:i;j,k@l \"m\" \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80 %41";
    {
        CMailScheme mail;
        mail.value = hostile;
        mail.subject = hostile;
        mail.body = hostile + "\r\nzweite Zeile\r\n";
        auto back = CreateUriScheme(mail.Compose(true), true);
        EXPECT_EQ(back->value, hostile);
        EXPECT_EQ(As<CMailScheme>(back).subject, hostile);
        EXPECT_EQ(As<CMailScheme>(back).body, mail.body);
    }
    {
        CSmsScheme sms;
        sms.value = "+49 (0) 170-1234";
        sms.body = hostile + "\r\n?body=x";
        auto back = CreateUriScheme(sms.Compose(true), true);
        EXPECT_EQ(back->value, sms.value);
        EXPECT_EQ(As<CSmsScheme>(back).body, sms.body);
    }
    {
        CTelephonNrScheme tel;
        tel.value = hostile;
        EXPECT_EQ(CreateUriScheme(tel.Compose(true), true)->value, hostile);
    }
    {
        CBookmarkScheme bookmark;
        bookmark.value = "www.example.org/p?q=1&r=%20#" + hostile;
        auto back = CreateUriScheme(bookmark.Compose(true), true);
        EXPECT_EQ(back->value, bookmark.value);
    }
    // Non-ASCII text is written as the percent-encoded bytes of its UTF-8 form.
    CTelephonNrScheme tel;
    tel.value = "\xC3\xA4";
    EXPECT_EQ(tel.Compose(false), "tel:%C3%A4");
}

} // namespace
