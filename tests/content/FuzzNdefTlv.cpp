// Fuzz target: TLV areas and NDEF messages read from a tag, and everything made
// of them up to the record JSON text.

#include <cstddef>
#include <cstdint>
#include <span>

#include "TestSupport.h"
#include "content/NdefCodec.h"
#include "content/NdefTlv.h"
#include "content/RecordJsonReader.h"
#include "content/RecordJsonWriter.h"
#include "content/TagContent.h"

namespace {

void CheckMessage(const CNdefMessage& message) {
    CStubNdefContext context;
    CSdkNfcTagDataList items;
    MessageToTagData(context, message, true, false, items);
    for (const auto& item : items) {
        std::string json;
        if (TagDataToJson(item.get(), json)) {
            Require(IsStrictJson(json));
            std::unique_ptr<CNfcTagData> back;
            Require(JsonToNfcTagData(json, back) == RecordJsonResult::kOk);
        }
    }
    // What was read writes again, and reads back with as many records.
    CMyByteArray bytes;
    EncodeNdefMessage(message, bytes);
    auto again = DecodeNdefMessage(context, bytes);
    Require(again && again->records.size() == message.records.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    CStubNdefContext context;
    if (auto message = DecodeNdefMessage(context, bytes)) CheckMessage(*message);

    // The tag readers walk with the last byte read so far as the limit.
    for (int64_t limit : {int64_t{-1}, static_cast<int64_t>(size / 2)}) {
        CNdefMessageList messages;
        int64_t offset = 0;
        ParseNdefTlvs(context, bytes, limit, false, messages, false, &offset);
        Require(offset >= -1 && offset < static_cast<int64_t>(size));
        for (const auto& message : messages)
            CheckMessage(*message);
        ParseNdefTlvs(context, bytes, limit, true, messages, true, &offset);
    }
    return 0;
}
