// Fuzz target: vCard text of contact records.

#include <cstddef>
#include <cstdint>
#include <span>

#include "TestSupport.h"
#include "content/VCardMime.h"

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
    Require(back.givenName == contact.givenName && back.familyName == contact.familyName);
    Require(back.organisation == contact.organisation);
    Require(back.phones == contact.phones && back.mails == contact.mails && back.urls == contact.urls);
    return 0;
}
