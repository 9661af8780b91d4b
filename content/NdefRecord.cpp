#include "content/NdefRecord.h"

#include "content/NdefMessage.h"

CNdefSmartPosterRecord::CNdefSmartPosterRecord() : CNdefRecord(kSmartPoster) {}

CNdefSmartPosterRecord::CNdefSmartPosterRecord(std::unique_ptr<CNdefMessage> message)
    : CNdefRecord(kSmartPoster), message(std::move(message)) {}

CNdefSmartPosterRecord::~CNdefSmartPosterRecord() = default;
