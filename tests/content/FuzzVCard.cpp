// Fuzz target: vCard text of contact records.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "TestSupport.h"
#include "content/VCardMime.h"

// A vCard 3.0 value may hold an escaped line break; a contact's vCard is written with
// every line break of a value as one blank (a CR LF pair too), so that no value can
// start a line of its own.
static std::string WrittenOnOneLine(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
        out += c == '\r' || c == '\n' ? ' ' : c;
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVCardMime contact;
    contact.Parse(std::span<const uint8_t>(data, size));

    // A contact read builds a vCard that reads back to the same contact.
    CMyByteArray built;
    contact.Build(built);
    if (contact.givenName.empty() && contact.familyName.empty()) {
        Require(built.empty());
        return 0;
    }
    CVCardMime back;
    back.Parse(built);
    Require(back.givenName == WrittenOnOneLine(contact.givenName) &&
            back.familyName == WrittenOnOneLine(contact.familyName));
    Require(back.organisation == WrittenOnOneLine(contact.organisation));
    Require(back.phones == contact.phones && back.mails == contact.mails && back.urls == contact.urls);
    return 0;
}
