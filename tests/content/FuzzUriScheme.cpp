// Fuzz target: URI texts read from tags.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "TestSupport.h"
#include "content/MailtoUri.h"
#include "content/UriScheme.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    CMailtoUri mailto;
    mailto.Parse(text);
    for (const auto* field : {&mailto.to, &mailto.subject, &mailto.body, &mailto.cc, &mailto.bcc})
        Require(field->decoded.find('\0') == std::string::npos);

    // Composing what was parsed reaches a fixed point after one round: line ends
    // and validation settle, nothing else changes.
    auto scheme = CreateUriScheme(text, true);
    const std::string first = scheme->Compose(true);
    auto second = CreateUriScheme(first, true);
    const std::string composed = second->Compose(true);
    auto third = CreateUriScheme(composed, true);
    Require(third->GetSchemeType() == second->GetSchemeType());
    Require(third->Compose(true) == composed);
    Require(third->value == second->value);
    return 0;
}
