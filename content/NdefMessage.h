#pragma once

#include <cstdint>
// An NDEF message owns its records; a message list holds the messages of one tag.

#include <memory>
#include <vector>

#include "content/NdefRecord.h"

using CNdefRecordList = std::vector<std::unique_ptr<CNdefRecord>>;

class CNdefMessage {
public:
    CNdefRecordList records;
    // Why the first record that has no place in `records` was passed over (an
    // absolute URI or external type, smart posters nested too deep): the tag error
    // to report when nothing else of the message can be shown; 0 for none.
    int32_t unreadError = 0;

    void Add(std::unique_ptr<CNdefRecord> record) { records.push_back(std::move(record)); }
};

using CNdefMessageList = std::vector<std::unique_ptr<CNdefMessage>>;
