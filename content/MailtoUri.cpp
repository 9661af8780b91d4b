#include "content/MailtoUri.h"

#include <cstdint>

#include "content/AsciiText.h"
#include "content/PercentCodec.h"

namespace {

// Only the URI's own delimiters and unreserved bytes stay; everything else is
// percent-encoded, and "%00" is made literal so that no field decodes to a NUL byte.
std::string NormaliseRest(std::string_view rest) {
    std::string out;
    for (char c : UnifyLineEnds(rest)) {
        if (c == '%' || c == '&' || c == '=' || c == '?' || IsPercentUnreserved(static_cast<uint8_t>(c)))
            out += c;
        else
            out += PercentEncode(std::string_view(&c, 1));
    }
    return ReplaceAll(out, "%00", "%2500");
}

} // namespace

void CMailtoUri::Parse(std::string_view text) {
    if (!StartsWithNoCase(text, "mailto:")) return;
    const std::string rest = NormaliseRest(text.substr(7));
    uri = "mailto:" + rest;

    std::string header = "to=" + rest;
    if (const size_t question = header.find('?'); question != std::string::npos) header[question] = '&';

    for (CField* field : {&to, &subject, &body, &cc, &bcc})
        field->raw.clear();

    for (size_t start = 0; start <= header.size();) {
        size_t end = header.find('&', start);
        if (end == std::string::npos) end = header.size();
        const std::string_view segment = std::string_view(header).substr(start, end - start);
        start = end + 1;

        const size_t equals = segment.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string key = PercentDecode(segment.substr(0, equals));
        const std::string_view value = segment.substr(equals + 1);

        CField* recipient = EqualsNoCase(key, "to")    ? &to
                            : EqualsNoCase(key, "cc")  ? &cc
                            : EqualsNoCase(key, "bcc") ? &bcc
                                                       : nullptr;
        if (recipient) {
            if (value.empty()) continue;
            if (!recipient->raw.empty()) recipient->raw += "%2C%20";
            recipient->raw += value;
        } else if (EqualsNoCase(key, "subject")) {
            subject.raw = value;
        } else if (EqualsNoCase(key, "body")) {
            if (!body.raw.empty()) body.raw += "%0D%0A";
            body.raw += value;
        }
    }

    for (CField* field : {&to, &subject, &body, &cc, &bcc})
        field->decoded = PercentDecode(field->raw);
}
