#pragma once
// A contact as vCard 2.1 text, the payload of a "text/x-vCard" record.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "content/Mime.h"

class CVCardMime : public CMime {
public:
    class CTelephon {
    public:
        static constexpr int32_t kPlaceNone = 0;
        static constexpr int32_t kPlaceWork = 1;
        static constexpr int32_t kPlaceHome = 2;
        static constexpr int32_t kDeviceVoice = 0;
        static constexpr int32_t kDeviceCell = 1;
        static constexpr int32_t kDeviceFax = 2;

        std::string number;
        int32_t place = kPlaceNone;
        int32_t device = kDeviceVoice;

        bool operator==(const CTelephon&) const = default;
    };
    using CTelephonListe = std::vector<CTelephon>;

    CVCardMime() : CMime(kVCard) {}

    std::string GetMimeType() const override { return "text/x-vCard"; }

    // The vCard text (lines joined by CR LF, none after the last); stays empty
    // when both the given and the family name are empty.
    void Build(CMyByteArray& payload) const override;

    // Fills the contact from vCard text; the contact is emptied first. Text that
    // does not begin with "BEGIN:VCARD" gives an empty contact.
    void Parse(std::span<const uint8_t> text);

    void Clear();

    std::string givenName;
    std::string familyName;
    std::string organisation;
    CTelephonListe phones;
    std::vector<std::string> mails;
    std::vector<std::string> urls;
};

// A new contact parsed from the payload when the type is a vCard type ("text/vCard"
// or "text/x-vCard" at its start, any letter case), else none.
std::unique_ptr<CMime> CreateMimeFromType(std::string_view mimeType, std::span<const uint8_t> payload);
