#pragma once
// The typed forms of a URI record's text: web address, e-mail, SMS, telephone
// number, and any other URI. Parse splits a whole URI text into the fields,
// Compose builds the URI text from them; the title belongs to the smart poster
// around the URI and is touched by neither.
//
// Program text is UTF-8 as well (see TextEncoding.h), so the isUtf8 and utf8 flags
// change nothing here: every text is validated on the way in and on the way out.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CUriScheme {
public:
    static constexpr int32_t kUnknown = 0;
    static constexpr int32_t kBookmark = 1;
    static constexpr int32_t kMail = 2;
    static constexpr int32_t kSms = 3;
    static constexpr int32_t kTelephon = 4;

    CUriScheme() : CUriScheme(kUnknown) {}
    virtual ~CUriScheme() = default;
    CUriScheme(const CUriScheme&) = delete;
    CUriScheme& operator=(const CUriScheme&) = delete;

    int32_t GetSchemeType() const { return m_schemeType; }

    // Fills the fields from the whole URI (UTF-8 when isUtf8, else 8-bit program
    // text); false when the text does not have the scheme's form.
    virtual bool Parse(std::string_view text, bool isUtf8);
    // The URI text of the fields, UTF-8 when utf8.
    virtual std::string Compose(bool utf8) const;

    std::string value; // the main value (for an unknown scheme the whole URI)
    std::string title;

protected:
    explicit CUriScheme(int32_t schemeType) : m_schemeType(schemeType) {}

private:
    const int32_t m_schemeType;
};

class CUriUnknownScheme : public CUriScheme {
public:
    CUriUnknownScheme() : CUriScheme(kUnknown) {}
};

// "http://" or "https://" and the address after it, not percent-encoded.
class CBookmarkScheme : public CUriScheme {
public:
    CBookmarkScheme() : CUriScheme(kBookmark) {}
    bool Parse(std::string_view text, bool isUtf8) override;
    std::string Compose(bool utf8) const override;

    bool https = false;
};

// "mailto:" address "?subject=" subject "&body=" body.
class CMailScheme : public CUriScheme {
public:
    CMailScheme() : CUriScheme(kMail) {}
    bool Parse(std::string_view text, bool isUtf8) override;
    std::string Compose(bool utf8) const override;

    std::string subject;
    std::string body; // lines separated by CR LF
};

// "sms:" number "?body=" body.
class CSmsScheme : public CUriScheme {
public:
    CSmsScheme() : CUriScheme(kSms) {}
    bool Parse(std::string_view text, bool isUtf8) override;
    std::string Compose(bool utf8) const override;

    std::string body; // lines separated by CR LF
};

// "tel:" number.
class CTelephonNrScheme : public CUriScheme {
public:
    CTelephonNrScheme() : CUriScheme(kTelephon) {}
    bool Parse(std::string_view text, bool isUtf8) override;
    std::string Compose(bool utf8) const override;
};

// The scheme object for a URI by its exact prefix ("http://" or "https://",
// "mailto:", "sms:", "tel:", else unknown), filled by its Parse whatever Parse answers.
std::unique_ptr<CUriScheme> CreateUriScheme(std::string_view text, bool isUtf8);
