#pragma once
// An NDEF message owns its records; a message list holds the messages of one tag.

#include <memory>
#include <vector>

#include "content/NdefRecord.h"

using CNdefRecordList = std::vector<std::unique_ptr<CNdefRecord>>;

class CNdefMessage {
public:
    CNdefRecordList records;

    void Add(std::unique_ptr<CNdefRecord> record) { records.push_back(std::move(record)); }
};

using CNdefMessageList = std::vector<std::unique_ptr<CNdefMessage>>;
