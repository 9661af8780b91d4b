#include "content/NdefTlv.h"

#include "content/NdefCodec.h"
#include "content/TagErrorCode.h"

namespace {

constexpr uint8_t kTlvNull = 0x00;
constexpr uint8_t kTlvLockControl = 0x01;
constexpr uint8_t kTlvMemoryControl = 0x02;
constexpr uint8_t kTlvNdefMessage = 0x03;
constexpr uint8_t kTlvProprietary = 0xFD;
constexpr uint8_t kTlvTerminator = 0xFE;

struct TlvValue {
    int64_t start = 0;
    int64_t length = 0;
};

// Reads the one- or three-byte length of the TLV at pos and checks that its whole
// value lies within bytes and limit (for an empty value: its last length byte).
bool ReadTlvValue(INdefContext& context, std::span<const uint8_t> bytes, int64_t limit, int64_t pos,
                  TlvValue& value) {
    if (!CheckIndex(context, bytes, limit, pos + 1)) return false;
    value.length = bytes[pos + 1];
    value.start = pos + 2;
    if (value.length == 0xFF) {
        if (!CheckIndex(context, bytes, limit, pos + 3)) return false;
        value.length = bytes[pos + 2] * 256 + bytes[pos + 3];
        value.start = pos + 4;
    }
    return CheckIndex(context, bytes, limit, value.start + value.length - 1);
}

} // namespace

bool EncodeNdefTlv(const CNdefMessage& message, CMyByteArray& bytes) {
    bytes.clear();
    CMyByteArray ndef;
    EncodeNdefMessage(message, ndef);
    const size_t n = ndef.size();
    if (n > kMaxNdefTlvLength) return false;
    bytes.push_back(kTlvNdefMessage);
    if (n <= 254) {
        bytes.push_back(static_cast<uint8_t>(n));
    } else {
        bytes.push_back(0xFF);
        bytes.push_back(static_cast<uint8_t>(n >> 8));
        bytes.push_back(static_cast<uint8_t>(n & 0xFF));
    }
    bytes.AppendArray(ndef);
    bytes.push_back(kTlvTerminator);
    return true;
}

void ParseNdefTlvs(INdefContext& context, std::span<const uint8_t> bytes, int64_t limit, bool stopAfterFirst,
                   CNdefMessageList& messages, bool locateOnly, int64_t* offset) {
    messages.clear();
    if (offset) *offset = -1;
    context.SetMore(false);
    if (bytes.empty()) return;
    const auto size = static_cast<int64_t>(bytes.size());

    // With a limit the bytes are those read so far, and a walk that reaches their end
    // has not met the end of the area (NULL or Lock Control TLVs may fill a read
    // exactly): it asks for more. Without a limit the bytes are the whole area.
    for (int64_t pos = 0; pos < size || limit >= 0;) {
        if (!CheckIndex(context, bytes, limit, pos)) return;
        switch (bytes[pos]) {
        case kTlvNull:
            pos += 1;
            break;
        case kTlvLockControl:
        case kTlvMemoryControl:
            if (!CheckIndex(context, bytes, limit, pos + 4)) return;
            if (bytes[pos + 1] != 3) {
                context.SetError(kTagErrorNfcData);
                return;
            }
            pos += 5;
            break;
        case kTlvNdefMessage: {
            if (offset) *offset = pos;
            if (locateOnly) return;
            TlvValue value;
            if (!ReadTlvValue(context, bytes, limit, pos, value)) return;
            if (auto message = DecodeNdefMessage(context, bytes.subspan(value.start, value.length)))
                messages.push_back(std::move(message));
            if (stopAfterFirst) return;
            pos = value.start + value.length;
            break;
        }
        case kTlvProprietary: {
            TlvValue value;
            if (!ReadTlvValue(context, bytes, limit, pos, value)) return;
            pos = value.start + value.length;
            break;
        }
        default: // the Terminator and every unknown type end the area
            return;
        }
    }
}
