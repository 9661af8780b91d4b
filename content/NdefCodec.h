#pragma once
// NDEF record bytes (NFC Forum NDEF): the encoder that the tag writers use and the
// lenient decoder that runs on every NDEF message read from a tag.
//
// Written: short or long records, no ID field, no chunks. Read: ID fields and
// chunked records as well; record kinds that the system does not know are dropped.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "content/MyByteArray.h"
#include "content/NdefContext.h"
#include "content/NdefMessage.h"

// How deep smart posters may nest inside one another when read; a deeper one is dropped.
inline constexpr int kMaxSmartPosterNesting = 4;

// True when 0 <= index <= size - 1 and, when limit >= 0, index <= limit.
// Otherwise the context's "more" flag is set and the answer is false.
bool CheckIndex(INdefContext& context, std::span<const uint8_t> bytes, int64_t index);
bool CheckIndex(INdefContext& context, std::span<const uint8_t> bytes, int64_t limit, int64_t index);

// The message as NDEF record bytes; a message without records (or without any
// record that encodes) is the empty record D0 00 00.
bool EncodeNdefMessage(const CNdefMessage& message, CMyByteArray& bytes);

// One record with MB and ME clear. False, and nothing written, for an unknown kind,
// a type name longer than 255 bytes or a payload beyond 4 GiB.
bool EncodeNdefRecord(const CNdefRecord& record, CMyByteArray& bytes);

// Payload and type name of one record kind.
bool EncodeSmartPoster(const CNdefSmartPosterRecord& record, CMyByteArray& payload, std::string& type);
bool EncodeTextRecord(const CNdefTextRecord& record, CMyByteArray& payload, std::string& type);
bool EncodeUriRecord(const CNdefUriRecord& record, CMyByteArray& payload, std::string& type);
bool EncodeMimeRecord(const CNdefMimeRecord& record, CMyByteArray& payload, std::string& type);

// A new message, or none when the records do not end with ME inside the bytes.
// Fields that run past the bytes are kept shortened and set "more".
std::unique_ptr<CNdefMessage> DecodeNdefMessage(INdefContext& context, std::span<const uint8_t> bytes);

std::unique_ptr<CNdefSmartPosterRecord> DecodeSmartPoster(INdefContext& context,
                                                          std::span<const uint8_t> payload);
std::unique_ptr<CNdefTextRecord> DecodeTextRecord(INdefContext& context, std::span<const uint8_t> payload);
std::unique_ptr<CNdefUriRecord> DecodeUriRecord(INdefContext& context, std::span<const uint8_t> payload);
std::unique_ptr<CNdefMimeRecord> DecodeMimeRecord(INdefContext& context, std::span<const uint8_t> type,
                                                  std::span<const uint8_t> payload);
