#pragma once
// The header fields of a UTF-8 mailto URI.

#include <string>
#include <string_view>

class CMailtoUri {
public:
    struct CField {
        std::string raw;     // gathered from the URI, still percent-encoded
        std::string decoded; // percent-decoded, line ends as LF
    };

    std::string uri; // "mailto:" and the normalised rest
    CField to;
    CField subject;
    CField body;
    CField cc;
    CField bcc;

    // Several recipients end as one text joined by ", "; several bodies are joined
    // by a line break; the last subject wins. A text that does not begin with
    // "mailto:" (in any letter case) leaves every field empty.
    void Parse(std::string_view text);
};
