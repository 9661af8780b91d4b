#include "content/UriIdentifierCodes.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 36> kPrefixes = {
    "",                           // 0x00 no prefix
    "http://www.",                // 0x01
    "https://www.",               // 0x02
    "http://",                    // 0x03
    "https://",                   // 0x04
    "tel:",                       // 0x05
    "mailto:",                    // 0x06
    "ftp://anonymous:anonymous@", // 0x07
    "ftp://ftp.",                 // 0x08
    "ftps://",                    // 0x09
    "sftp://",                    // 0x0A
    "smb://",                     // 0x0B
    "nfs://",                     // 0x0C
    "ftp://",                     // 0x0D
    "dav://",                     // 0x0E
    "news:",                      // 0x0F
    "telnet://",                  // 0x10
    "imap:",                      // 0x11
    "rtsp://",                    // 0x12
    "urn:",                       // 0x13
    "pop:",                       // 0x14
    "sip:",                       // 0x15
    "sips:",                      // 0x16
    "tftp:",                      // 0x17
    "btspp://",                   // 0x18
    "btl2cap://",                 // 0x19
    "btgoep://",                  // 0x1A
    "tcpobex://",                 // 0x1B
    "irdaobex://",                // 0x1C
    "file://",                    // 0x1D
    "urn:epc:id:",                // 0x1E
    "urn:epc:tag:",               // 0x1F
    "urn:epc:pat:",               // 0x20
    "urn:epc:raw:",               // 0x21
    "urn:epc:",                   // 0x22
    "urn:nfc:",                   // 0x23
};

} // namespace

uint8_t UriPrefixToCode(std::string& uri) {
    for (size_t code = 1; code < kPrefixes.size(); ++code) {
        if (std::string_view(uri).starts_with(kPrefixes[code])) {
            uri.erase(0, kPrefixes[code].size());
            return static_cast<uint8_t>(code);
        }
    }
    return 0;
}

void UriCodeToPrefix(uint8_t code, std::string& prefix) {
    prefix.clear();
    if (code < kPrefixes.size()) prefix = kPrefixes[code];
}
