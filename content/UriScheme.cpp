#include "content/UriScheme.h"

#include "content/MailtoUri.h"
#include "content/PercentCodec.h"
#include "content/TextEncoding.h"

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";
constexpr std::string_view kMailto = "mailto:";
constexpr std::string_view kSmsPrefix = "sms:";
constexpr std::string_view kTelPrefix = "tel:";
constexpr std::string_view kSmsBody = "?body=";

std::string Validated(std::string_view text) {
    return AnsiToUtf8Copy(text);
}

std::string WithCrLf(std::string_view text) {
    return ReplaceAll(text, "\n", "\r\n");
}
std::string WithLf(std::string_view text) {
    return ReplaceAll(text, "\r\n", "\n");
}

// A field of one line: its line breaks (CR LF, lone CR or LF) are made LF first, so
// that each is encoded as one CR LF, as in a message body.
std::string EncodedLine(std::string_view field) {
    return PercentEncode(UnifyLineEnds(Validated(field)));
}

std::string DecodedField(std::string_view raw) {
    std::string field(raw);
    PercentDecodeInPlace(field);
    return field;
}

} // namespace

bool CUriScheme::Parse(std::string_view text, bool /*isUtf8*/) {
    value = Validated(text);
    return true;
}

std::string CUriScheme::Compose(bool /*utf8*/) const {
    return Validated(value);
}

bool CBookmarkScheme::Parse(std::string_view text, bool /*isUtf8*/) {
    value.clear();
    https = false;
    const std::string uri = Validated(text);
    if (uri.starts_with(kHttp)) {
        value = uri.substr(kHttp.size());
        return true;
    }
    if (uri.starts_with(kHttps)) {
        value = uri.substr(kHttps.size());
        https = true;
        return true;
    }
    return false;
}

std::string CBookmarkScheme::Compose(bool /*utf8*/) const {
    return Validated(std::string(https ? kHttps : kHttp) + value);
}

bool CMailScheme::Parse(std::string_view text, bool /*isUtf8*/) {
    value.clear();
    subject.clear();
    body.clear();
    CMailtoUri mailto;
    mailto.Parse(Validated(text));
    if (mailto.to.decoded.empty()) return false;
    value = Validated(mailto.to.decoded);
    subject = Validated(mailto.subject.decoded);
    body = Validated(WithCrLf(mailto.body.decoded));
    return true;
}

std::string CMailScheme::Compose(bool /*utf8*/) const {
    return std::string(kMailto) + EncodedLine(value) + "?subject=" + EncodedLine(subject) +
           "&body=" + PercentEncode(WithLf(Validated(body)));
}

bool CSmsScheme::Parse(std::string_view text, bool /*isUtf8*/) {
    value.clear();
    body.clear();
    const std::string uri = Validated(text);
    if (!uri.starts_with(kSmsPrefix)) return false;
    const std::string_view rest = std::string_view(uri).substr(kSmsPrefix.size());
    const size_t parameter = rest.find(kSmsBody);
    if (parameter != std::string_view::npos && parameter >= 1) {
        value = DecodedField(rest.substr(0, parameter));
        body = DecodedField(rest.substr(parameter + kSmsBody.size()));
    } else {
        value = DecodedField(rest);
    }
    value = Validated(value);
    body = Validated(WithCrLf(body));
    return true;
}

std::string CSmsScheme::Compose(bool /*utf8*/) const {
    return std::string(kSmsPrefix) + EncodedLine(value) + std::string(kSmsBody) +
           PercentEncode(WithLf(Validated(body)));
}

bool CTelephonNrScheme::Parse(std::string_view text, bool /*isUtf8*/) {
    value.clear();
    if (!text.starts_with(kTelPrefix)) return false;
    value = Validated(DecodedField(Validated(text.substr(kTelPrefix.size()))));
    return true;
}

std::string CTelephonNrScheme::Compose(bool /*utf8*/) const {
    return std::string(kTelPrefix) + EncodedLine(value);
}

std::unique_ptr<CUriScheme> CreateUriScheme(std::string_view text, bool isUtf8) {
    std::unique_ptr<CUriScheme> scheme;
    if (text.starts_with(kHttp) || text.starts_with(kHttps))
        scheme = std::make_unique<CBookmarkScheme>();
    else if (text.starts_with(kMailto))
        scheme = std::make_unique<CMailScheme>();
    else if (text.starts_with(kSmsPrefix))
        scheme = std::make_unique<CSmsScheme>();
    else if (text.starts_with(kTelPrefix))
        scheme = std::make_unique<CTelephonNrScheme>();
    else
        scheme = std::make_unique<CUriUnknownScheme>();
    scheme->Parse(text, isUtf8);
    return scheme;
}
