// Fuzz target: record JSON text as either side reads it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "TestSupport.h"
#include "content/NdefCodec.h"
#include "content/RecordJsonReader.h"
#include "content/RecordJsonWriter.h"
#include "content/TagContent.h"

namespace {

std::string Rewritten(const CNfcTagData& item) {
    std::string json;
    Require(TagDataToJson(&item, json));
    return json;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);

    CStubNdefContext context;
    CNdefMessage message;
    if (JsonToNdefMessage(context, json, message)) {
        Require(message.records.size() == 1);
        CMyByteArray bytes;
        EncodeNdefMessage(message, bytes);
        Require(DecodeNdefMessage(context, bytes) != nullptr);
    }

    std::unique_ptr<CNfcTagData> item;
    const RecordJsonResult result = JsonToNfcTagData(json, item);
    Require((result == RecordJsonResult::kOk) == (item != nullptr));
    if (item) {
        // What is written is strict JSON, and reads back to the same text.
        const std::string written = Rewritten(*item);
        Require(IsStrictJson(written));
        std::unique_ptr<CNfcTagData> again;
        Require(JsonToNfcTagData(written, again) == RecordJsonResult::kOk);
        Require(Rewritten(*again) == written);
    }
    return 0;
}
