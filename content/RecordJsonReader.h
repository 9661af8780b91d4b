#pragma once
// Reading the record JSON text (see RecordJsonWriter.h) on both sides. Only the
// outer object's first member counts; kind and field keys are matched without
// regard to letter case; members of other keys or value types are ignored. The
// older lenient form (a comma before a closing brace, raw line breaks inside
// strings) is read as well.

#include <memory>
#include <string_view>

#include "content/NdefContext.h"
#include "content/NdefMessage.h"
#include "content/NfcTagData.h"

enum class RecordJsonResult {
    kOk,
    kMalformed,   // not JSON, or the first member's value is not an object
    kUnknownKind, // the first member's key names no record kind
};

// The reader layer's reader: the records to write for the text (the message is
// emptied first). An unknown kind, and text that is not UTF-8, set
// kTagErrorUnknownDataType; a contact without any name is refused with
// kTagErrorMimeFormat, a web address, e-mail, SMS or telephone number without its
// address or number with kTagErrorUriFormat; text that is no record JSON text sets
// nothing. False in every such case.
bool JsonToNdefMessage(INdefContext& context, std::string_view json, CNdefMessage& message);

// The application's reader: on kOk, item receives a new content item; otherwise it
// is none.
RecordJsonResult JsonToNfcTagData(std::string_view json, std::unique_ptr<CNfcTagData>& item);
