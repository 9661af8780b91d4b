#include "content/NdefCodec.h"

#include <algorithm>
#include <limits>

#include "content/TagErrorCode.h"
#include "content/TextEncoding.h"
#include "content/UriIdentifierCodes.h"

namespace {

constexpr uint8_t kMessageBegin = 0x80;
constexpr uint8_t kMessageEnd = 0x40;
constexpr uint8_t kChunkFlag = 0x20;
constexpr uint8_t kShortRecord = 0x10;
constexpr uint8_t kIdLength = 0x08;

constexpr uint8_t kTnfWellKnown = 1;
constexpr uint8_t kTnfMedia = 2;
constexpr uint8_t kTnfAbsoluteUri = 3;
constexpr uint8_t kTnfUnchanged = 6;

const CMyByteArray kEmptyMessage = {0xD0, 0x00, 0x00};

bool IsType(const CMyByteArray& type, std::string_view name) {
    return std::equal(type.begin(), type.end(), name.begin(), name.end(),
                      [](uint8_t b, char c) { return b == static_cast<uint8_t>(c); });
}

// Positions and lengths are 64-bit, so no declared length can wrap them round.
class CRecordWalker {
public:
    CRecordWalker(INdefContext& context, std::span<const uint8_t> bytes)
        : m_context(context), m_bytes(bytes) {}

    bool Check(uint64_t index) const {
        return CheckIndex(m_context, m_bytes,
                          index > uint64_t{std::numeric_limits<int64_t>::max()}
                              ? std::numeric_limits<int64_t>::max()
                              : static_cast<int64_t>(index));
    }
    uint8_t At(uint64_t index) const { return m_bytes[index]; }

    // The bytes of [pos, pos + length) that exist; a field cut by the end of the
    // data sets "more" once.
    CMyByteArray Field(uint64_t pos, uint64_t length) const {
        const uint64_t size = m_bytes.size();
        const uint64_t available = pos < size ? std::min(length, size - pos) : 0;
        if (available < length) m_context.SetMore(true);
        if (available == 0) return {};
        return CMyByteArray(m_bytes.subspan(pos, available));
    }

private:
    INdefContext& m_context;
    std::span<const uint8_t> m_bytes;
};

std::unique_ptr<CNdefMessage> DecodeMessage(INdefContext& context, std::span<const uint8_t> bytes,
                                            int nesting);

std::unique_ptr<CNdefSmartPosterRecord> DecodeSmartPosterAt(INdefContext& context,
                                                            std::span<const uint8_t> payload, int nesting) {
    if (nesting > kMaxSmartPosterNesting) return nullptr;
    auto message = DecodeMessage(context, payload, nesting);
    if (!message) return nullptr;
    return std::make_unique<CNdefSmartPosterRecord>(std::move(message));
}

std::unique_ptr<CNdefRecord> DecodeRecord(INdefContext& context, uint8_t tnf, const CMyByteArray& type,
                                          const CMyByteArray& payload, int nesting) {
    if (tnf == kTnfWellKnown && IsType(type, "U")) return DecodeUriRecord(context, payload);
    if (tnf == kTnfWellKnown && IsType(type, "T")) return DecodeTextRecord(context, payload);
    if (tnf == kTnfWellKnown && IsType(type, "Sp")) return DecodeSmartPosterAt(context, payload, nesting + 1);
    if (tnf == kTnfMedia) return DecodeMimeRecord(context, type, payload);
    return nullptr;
}

// The error a record that gives no record here stands for: an address (an absolute
// URI, a smart poster nested too deep) or content of a type not read.
int32_t UnreadRecordError(uint8_t tnf, const CMyByteArray& type) {
    const bool address =
        tnf == kTnfAbsoluteUri || (tnf == kTnfWellKnown && (IsType(type, "U") || IsType(type, "Sp")));
    return address ? kTagErrorUriFormat : kTagErrorMimeFormat;
}

std::unique_ptr<CNdefMessage> DecodeMessage(INdefContext& context, std::span<const uint8_t> bytes,
                                            int nesting) {
    auto message = std::make_unique<CNdefMessage>();
    if (bytes.empty()) return message;

    const CRecordWalker walker(context, bytes);
    CMyByteArray chunkType;
    CMyByteArray chunkPayload;
    uint8_t chunkTnf = 0;

    for (uint64_t p = 0;;) {
        const uint8_t header = walker.At(p);
        uint8_t tnf = header & 0x07;
        if (!walker.Check(p + 1)) return nullptr;
        const uint8_t typeLength = walker.At(p + 1);

        uint64_t payloadLength = 0;
        uint64_t pos = 0;
        if (header & kShortRecord) {
            if (!walker.Check(p + 2)) return nullptr;
            payloadLength = walker.At(p + 2);
            pos = p + 3;
        } else {
            if (!walker.Check(p + 5)) return nullptr;
            for (uint64_t i = 2; i < 6; ++i)
                payloadLength = (payloadLength << 8) | walker.At(p + i);
            pos = p + 6;
        }
        uint64_t idLength = 0;
        if (header & kIdLength) {
            if (!walker.Check(pos)) return nullptr;
            idLength = walker.At(pos);
            ++pos;
        }

        CMyByteArray type = walker.Field(pos, typeLength);
        pos += typeLength;
        walker.Field(pos, idLength); // the ID is read over and dropped
        pos += idLength;
        CMyByteArray payload = walker.Field(pos, payloadLength);
        pos += payloadLength;

        if (header & kChunkFlag) {
            if (!chunkType.empty() && tnf == kTnfUnchanged) {
                chunkPayload.AppendArray(payload);
            } else if (chunkType.empty() && tnf != kTnfUnchanged) {
                chunkType = type;
                chunkTnf = tnf;
                chunkPayload = payload;
            }
        } else {
            if (!chunkType.empty() && tnf == kTnfUnchanged && typeLength == 0) {
                chunkPayload.AppendArray(payload);
                type = std::move(chunkType);
                tnf = chunkTnf;
                payload = std::move(chunkPayload);
            }
            chunkType.clear();
            chunkPayload.clear();
            chunkTnf = 0;

            if (!payload.empty()) {
                if (auto record = DecodeRecord(context, tnf, type, payload, nesting))
                    message->Add(std::move(record));
                else if (message->unreadError == 0)
                    message->unreadError = UnreadRecordError(tnf, type);
            }
        }

        if (header & kMessageEnd) return message;
        p = pos;
        if (!walker.Check(p)) return nullptr;
    }
}

void AppendText(CMyByteArray& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

} // namespace

bool CheckIndex(INdefContext& context, std::span<const uint8_t> bytes, int64_t index) {
    return CheckIndex(context, bytes, -1, index);
}

bool CheckIndex(INdefContext& context, std::span<const uint8_t> bytes, int64_t limit, int64_t index) {
    if (index >= 0 && static_cast<uint64_t>(index) < bytes.size() && (limit < 0 || index <= limit))
        return true;
    context.SetMore(true);
    return false;
}

bool EncodeSmartPoster(const CNdefSmartPosterRecord& record, CMyByteArray& payload, std::string& type) {
    payload.clear();
    type = "Sp";
    if (record.message) EncodeNdefMessage(*record.message, payload);
    return true;
}

bool EncodeTextRecord(const CNdefTextRecord& record, CMyByteArray& payload, std::string& type) {
    payload.clear();
    type = "T";
    const std::string_view language = std::string_view(record.language).substr(0, 63);
    payload.push_back(static_cast<uint8_t>((language.size() & 0x3F) | (record.utf16 ? 0x80 : 0x00)));
    AppendText(payload, language);
    if (record.utf16) {
        CMyByteArray text;
        AnsiToUtf16BeBytes(record.text, text);
        payload.AppendArray(text);
    } else {
        AppendText(payload, AnsiToUtf8Copy(record.text));
    }
    return true;
}

bool EncodeUriRecord(const CNdefUriRecord& record, CMyByteArray& payload, std::string& type) {
    payload.clear();
    type = "U";
    std::string rest = record.uri;
    payload.push_back(UriPrefixToCode(rest));
    if (!record.alreadyUtf8) AnsiToUtf8(rest);
    AppendText(payload, rest);
    return true;
}

bool EncodeMimeRecord(const CNdefMimeRecord& record, CMyByteArray& payload, std::string& type) {
    type = record.mimeType;
    payload = record.payload;
    return true;
}

bool EncodeNdefRecord(const CNdefRecord& record, CMyByteArray& bytes) {
    bytes.clear();
    CMyByteArray payload;
    std::string type;
    uint8_t tnf = kTnfWellKnown;
    switch (record.GetKind()) {
    case CNdefRecord::kSmartPoster:
        EncodeSmartPoster(static_cast<const CNdefSmartPosterRecord&>(record), payload, type);
        break;
    case CNdefRecord::kText:
        EncodeTextRecord(static_cast<const CNdefTextRecord&>(record), payload, type);
        break;
    case CNdefRecord::kUri:
        EncodeUriRecord(static_cast<const CNdefUriRecord&>(record), payload, type);
        break;
    case CNdefRecord::kMime:
        EncodeMimeRecord(static_cast<const CNdefMimeRecord&>(record), payload, type);
        tnf = kTnfMedia;
        break;
    default:
        return false;
    }
    // The type length is one byte and the payload length at most four.
    if (type.size() > 0xFF || payload.size() > 0xFFFFFFFFu) return false;

    const uint64_t n = payload.size();
    const bool shortRecord = n <= 0xFF;
    bytes.push_back(static_cast<uint8_t>((shortRecord ? kShortRecord : 0) | tnf));
    bytes.push_back(static_cast<uint8_t>(type.size()));
    if (shortRecord) {
        bytes.push_back(static_cast<uint8_t>(n));
    } else {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<uint8_t>(n >> shift));
    }
    AppendText(bytes, type);
    bytes.AppendArray(payload);
    return true;
}

bool EncodeNdefMessage(const CNdefMessage& message, CMyByteArray& bytes) {
    bytes.clear();
    size_t lastHeader = 0;
    bool any = false;
    CMyByteArray recordBytes;
    for (const auto& record : message.records) {
        if (!record || !EncodeNdefRecord(*record, recordBytes) || recordBytes.empty()) continue;
        if (!any) recordBytes[0] |= kMessageBegin;
        any = true;
        lastHeader = bytes.size();
        bytes.AppendArray(recordBytes);
    }
    if (!any)
        bytes = kEmptyMessage;
    else
        bytes[lastHeader] |= kMessageEnd;
    return true;
}

std::unique_ptr<CNdefMessage> DecodeNdefMessage(INdefContext& context, std::span<const uint8_t> bytes) {
    return DecodeMessage(context, bytes, 0);
}

std::unique_ptr<CNdefSmartPosterRecord> DecodeSmartPoster(INdefContext& context,
                                                          std::span<const uint8_t> payload) {
    return DecodeSmartPosterAt(context, payload, 1);
}

std::unique_ptr<CNdefTextRecord> DecodeTextRecord(INdefContext& context, std::span<const uint8_t> payload) {
    if (!CheckIndex(context, payload, 0)) return nullptr;
    const uint8_t status = payload[0];
    const bool utf16 = (status & 0x80) != 0;
    const size_t languageLength = status & 0x3F;
    if (!CheckIndex(context, payload, static_cast<int64_t>(languageLength))) return nullptr;

    auto record = std::make_unique<CNdefTextRecord>();
    record->utf16 = utf16;
    BytesToText(payload.subspan(1, languageLength), record->language);
    const auto textBytes = payload.subspan(1 + languageLength);
    if (utf16) {
        Utf16BytesToAnsi(textBytes, true, true, record->text);
    } else {
        BytesToText(textBytes, record->text);
        Utf8ToAnsi(record->text);
    }
    return record;
}

std::unique_ptr<CNdefUriRecord> DecodeUriRecord(INdefContext& context, std::span<const uint8_t> payload) {
    if (!CheckIndex(context, payload, 0)) return nullptr;
    std::string prefix;
    UriCodeToPrefix(payload[0], prefix);
    std::string rest;
    BytesToText(payload.subspan(1), rest);
    Utf8ToAnsi(rest);
    return std::make_unique<CNdefUriRecord>(prefix + rest);
}

std::unique_ptr<CNdefMimeRecord> DecodeMimeRecord(INdefContext& context, std::span<const uint8_t> type,
                                                  std::span<const uint8_t> payload) {
    if (!CheckIndex(context, payload, 0)) return nullptr;
    auto record = std::make_unique<CNdefMimeRecord>();
    BytesToText(type, record->mimeType);
    record->payload = CMyByteArray(payload);
    return record;
}
