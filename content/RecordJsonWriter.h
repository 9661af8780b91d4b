#pragma once
// Writing the record JSON text, the text form of one record that the application
// and the reader layer exchange: one object with one member keyed "TEXT",
// "BOOKMARK", "MAIL", "SMS", "TELEPHON" or "VCARD", whose value is an object of the
// record's fields. Both sides write through these functions, so the same fields
// give the same text, byte for byte. The text is strict JSON (RFC 8259) on one line.

#include <string>
#include <string_view>

#include "content/NfcTagData.h"
#include "content/VCardMime.h"

// The string's content for a JSON string: quote and backslash escaped, control
// characters as \n, \r, \t, \b, \f or \u00XX, ill-formed UTF-8 as U+FFFD.
std::string EscapeJsonString(std::string_view text);

std::string BookmarkToJson(std::string_view url, std::string_view title);
std::string MailToJson(std::string_view address, std::string_view subject, std::string_view text,
                       std::string_view title);
std::string SmsToJson(std::string_view address, std::string_view text, std::string_view title);
std::string TelephonToJson(std::string_view number, std::string_view title);
std::string TextToJson(std::string_view text);
std::string VCardToJson(const CVCardMime& contact);

// The text of a content item (the reader layer's CSdkNfcTagData read from a tag,
// or the application's CNfcTagData). False,
// with an empty text, for no item, an item without its object or a MIME object
// that is not a contact. A URI of any other scheme is written as BOOKMARK with the
// whole URI as its URL.
bool TagDataToJson(const CTagDataItem* item, std::string& json);
