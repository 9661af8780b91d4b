#pragma once
// Between a tag's content and its NDEF records: the records written for a text, a
// URI or a contact, and the content items taken from the records read from a tag.
//
// Written: one record per content; text records in UTF-8 with the language "en";
// a URI with a title goes into a smart poster, title text record first.

#include <memory>
#include <string_view>

#include "content/Mime.h"
#include "content/NdefContext.h"
#include "content/NdefMessage.h"
#include "content/NfcTagData.h"
#include "content/UriScheme.h"

// The scheme objects of the record JSON kinds, title included. A web address that
// begins with neither "http://" nor "https://" becomes a URI of unknown scheme
// holding the whole text, so that it is kept as it was given.
std::unique_ptr<CUriScheme> MakeBookmarkScheme(std::string_view url, std::string_view title);
std::unique_ptr<CUriScheme> MakeMailScheme(std::string_view address, std::string_view subject,
                                           std::string_view text, std::string_view title);
std::unique_ptr<CUriScheme> MakeSmsScheme(std::string_view address, std::string_view text,
                                          std::string_view title);
std::unique_ptr<CUriScheme> MakeTelephonScheme(std::string_view number, std::string_view title);

// Each empties the message and gives it exactly one record; true.
bool TextJsonToRecords(std::string_view text, CNdefMessage& message);
// False, with the message untouched, for no scheme object, for an empty address,
// and for an e-mail, SMS or telephone number without its address or number: its URI
// would read back with other fields (the body taken for the number, subject and body
// dropped) or as "tel:" alone.
bool UriSchemeToRecords(const CUriScheme* scheme, CNdefMessage& message);
// False, with the message untouched, when the content builds an empty payload
// (a contact without any name): an empty record would wipe the tag's content.
bool MimeToRecords(const CMime& mime, CNdefMessage& message);
bool BookmarkJsonToRecords(std::string_view url, std::string_view title, CNdefMessage& message);
bool MailJsonToRecords(std::string_view address, std::string_view subject, std::string_view text,
                       std::string_view title, CNdefMessage& message);
bool SmsJsonToRecords(std::string_view address, std::string_view text, std::string_view title,
                      CNdefMessage& message);
bool TelephonJsonToRecords(std::string_view number, std::string_view title, CNdefMessage& message);

// The items of a decoded message, in record order (items already in the list are
// deleted first). With firstOnly the first record that gives an item decides; a
// smart poster's text record becomes the title of its one URI item. A MIME record
// that is not a vCard sets kTagErrorMimeFormat and gives no item; a message without
// any item whose records were passed over sets their error (CNdefMessage::unreadError).
void MessageToTagData(INdefContext& context, const CNdefMessage& message, bool firstOnly, bool inSmartPoster,
                      CSdkNfcTagDataList& items);
