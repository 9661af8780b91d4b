#include "content/RecordJsonReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <json-parser/json.h>

#include "content/AsciiText.h"
#include "content/TagContent.h"
#include "content/TagErrorCode.h"
#include "content/TextEncoding.h"
#include "content/VCardMime.h"

namespace {

enum class RecordKind { kText, kBookmark, kMail, kSms, kTelephon, kVCard };

struct KindKeys {
    std::string_view key;
    RecordKind kind;
    std::array<std::string_view, 4> fields; // the string members of the kind
};

constexpr std::array<KindKeys, 6> kKinds = {{
    {"TEXT", RecordKind::kText, {"TITLE"}},
    {"BOOKMARK", RecordKind::kBookmark, {"URL", "TITLE"}},
    {"MAIL", RecordKind::kMail, {"ADDRESS", "SUBJECT", "MESSAGE", "TITLE"}},
    {"SMS", RecordKind::kSms, {"ADDRESS", "MESSAGE", "TITLE"}},
    {"TELEPHON", RecordKind::kTelephon, {"NUMBER", "TITLE"}},
    {"VCARD", RecordKind::kVCard, {"FIRSTNAME", "SURNAME", "ORGANISATION"}},
}};

struct RecordFields {
    const KindKeys* kind = nullptr;
    std::array<std::string, 4> values; // in the order of kind->fields
    CVCardMime contact;

    const std::string& Get(std::string_view key) const {
        for (size_t i = 0; i < kind->fields.size(); ++i)
            if (kind->fields[i] == key) return values[i];
        static const std::string kNone;
        return kNone;
    }
};

struct JsonFree {
    void operator()(json_value* value) const { json_value_free(value); }
};

std::string_view NameOf(const json_object_entry& entry) {
    return {entry.name, entry.name_length};
}
std::string StringOf(const json_value& value) {
    return {value.u.string.ptr, value.u.string.length};
}

bool IsObjectWithMembers(const json_value* value) {
    return value && value->type == json_object && value->u.object.length > 0;
}

std::span<const json_object_entry> MembersOf(const json_value& object) {
    return {object.u.object.values, object.u.object.length};
}

// Every string member whose key begins with prefix, in order.
void ReadList(const json_value* list, std::string_view prefix, std::vector<std::string>& entries) {
    if (!IsObjectWithMembers(list)) return;
    for (const json_object_entry& entry : MembersOf(*list))
        if (StartsWithNoCase(NameOf(entry), prefix) && entry.value->type == json_string)
            entries.push_back(StringOf(*entry.value));
}

void ReadPhones(const json_value* list, CVCardMime::CTelephonListe& phones) {
    if (!IsObjectWithMembers(list)) return;
    for (const json_object_entry& entry : MembersOf(*list)) {
        if (!StartsWithNoCase(NameOf(entry), "PHONE") || !IsObjectWithMembers(entry.value)) continue;
        CVCardMime::CTelephon phone;
        for (const json_object_entry& field : MembersOf(*entry.value)) {
            const std::string key = ToUpperAscii(NameOf(field));
            if (key == "NUMBER" && field.value->type == json_string)
                phone.number = StringOf(*field.value);
            else if (key == "TYPE_PLACE" && field.value->type == json_integer)
                phone.place = static_cast<int32_t>(field.value->u.integer);
            else if (key == "TYPE_DEVICE" && field.value->type == json_integer)
                phone.device = static_cast<int32_t>(field.value->u.integer);
        }
        phones.push_back(std::move(phone));
    }
}

// The four hex digits of a \u escape at text[pos] (the backslash), or -1.
long EscapedUnit(std::string_view text, size_t pos) {
    if (pos + 6 > text.size() || text[pos] != '\\' || text[pos + 1] != 'u') return -1;
    long unit = 0;
    for (size_t i = pos + 2; i < pos + 6; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// The text with every \u escape of a non-ASCII character inside a string replaced by
// that character in UTF-8, so that the parser sees no such escape: a surrogate pair
// becomes its one character (high and low half added to 0x10000), a lone half
// U+FFFD, and what stands around it stays. ASCII escapes (quotes, backslashes,
// control characters) are left to the parser.
std::string DecodeUnicodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool inString = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (!inString || c != '\\') {
            if (c == '"') inString = !inString;
            out += c;
            ++i;
            continue;
        }
        const long unit = EscapedUnit(text, i);
        if (unit < 0x80) {
            // Another escape, or an ASCII one: kept with the character it escapes.
            out.append(text.substr(i, std::min<size_t>(2, text.size() - i)));
            i += 2;
            continue;
        }
        i += 6;
        char32_t cp = static_cast<char32_t>(unit);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const long low = EscapedUnit(text, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                     (static_cast<char32_t>(low) - 0xDC00);
                i += 6;
            } else {
                cp = 0xFFFD;
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

RecordJsonResult ParseRecordJson(std::string_view json, RecordFields& fields) {
    json_settings settings{};
    char error[json_error_max];
    // The parser's own decoding of \u escapes beyond U+FFFF is wrong.
    const std::string text = DecodeUnicodeEscapes(json);
    const std::unique_ptr<json_value, JsonFree> root(
        json_parse_ex(&settings, text.data(), text.size(), error));
    if (!IsObjectWithMembers(root.get())) return RecordJsonResult::kMalformed;
    const json_object_entry& first = root->u.object.values[0];
    if (first.value->type != json_object) return RecordJsonResult::kMalformed;

    const std::string kindKey = ToUpperAscii(NameOf(first));
    for (const KindKeys& kind : kKinds)
        if (kind.key == kindKey) fields.kind = &kind;
    if (!fields.kind) return RecordJsonResult::kUnknownKind;

    for (const json_object_entry& member : MembersOf(*first.value)) {
        const std::string key = ToUpperAscii(NameOf(member));
        if (fields.kind->kind == RecordKind::kVCard) {
            if (key == "MAILS")
                ReadList(member.value, "MAIL", fields.contact.mails);
            else if (key == "URLS")
                ReadList(member.value, "URL", fields.contact.urls);
            else if (key == "PHONES")
                ReadPhones(member.value, fields.contact.phones);
        }
        if (member.value->type != json_string || key.empty()) continue;
        for (size_t i = 0; i < fields.kind->fields.size(); ++i)
            if (fields.kind->fields[i] == key) fields.values[i] = StringOf(*member.value);
    }
    fields.contact.givenName = fields.Get("FIRSTNAME");
    fields.contact.familyName = fields.Get("SURNAME");
    fields.contact.organisation = fields.Get("ORGANISATION");
    return RecordJsonResult::kOk;
}

std::unique_ptr<CUriScheme> SchemeOf(const RecordFields& f) {
    switch (f.kind->kind) {
    case RecordKind::kBookmark:
        return MakeBookmarkScheme(f.Get("URL"), f.Get("TITLE"));
    case RecordKind::kMail:
        return MakeMailScheme(f.Get("ADDRESS"), f.Get("SUBJECT"), f.Get("MESSAGE"), f.Get("TITLE"));
    case RecordKind::kSms:
        return MakeSmsScheme(f.Get("ADDRESS"), f.Get("MESSAGE"), f.Get("TITLE"));
    case RecordKind::kTelephon:
        return MakeTelephonScheme(f.Get("NUMBER"), f.Get("TITLE"));
    default:
        return nullptr;
    }
}

} // namespace

bool JsonToNdefMessage(INdefContext& context, std::string_view json, CNdefMessage& message) {
    message.records.clear();
    // The program's texts are UTF-8; text in another code page would be written
    // with replacement characters in place of its letters.
    if (SanitizeUtf8(json) != json) {
        context.SetError(kTagErrorUnknownDataType);
        return false;
    }
    RecordFields fields;
    const RecordJsonResult result = ParseRecordJson(json, fields);
    if (result == RecordJsonResult::kUnknownKind) context.SetError(kTagErrorUnknownDataType);
    if (result != RecordJsonResult::kOk) return false;
    switch (fields.kind->kind) {
    case RecordKind::kText:
        // The text record would end at a zero (\u0000) and hold only what stands before
        // it: refused, as a zero in the JSON text itself is.
        if (fields.Get("TITLE").find('\0') != std::string::npos) return false;
        return TextJsonToRecords(fields.Get("TITLE"), message);
    case RecordKind::kBookmark:
        if (BookmarkJsonToRecords(fields.Get("URL"), fields.Get("TITLE"), message)) return true;
        context.SetError(kTagErrorUriFormat); // no address
        return false;
    case RecordKind::kMail:
        if (MailJsonToRecords(fields.Get("ADDRESS"), fields.Get("SUBJECT"), fields.Get("MESSAGE"),
                              fields.Get("TITLE"), message))
            return true;
        context.SetError(kTagErrorUriFormat); // no address: it would not read back
        return false;
    case RecordKind::kSms:
        if (SmsJsonToRecords(fields.Get("ADDRESS"), fields.Get("MESSAGE"), fields.Get("TITLE"), message))
            return true;
        context.SetError(kTagErrorUriFormat); // no number: it would not read back
        return false;
    case RecordKind::kTelephon:
        if (TelephonJsonToRecords(fields.Get("NUMBER"), fields.Get("TITLE"), message)) return true;
        context.SetError(kTagErrorUriFormat); // no number
        return false;
    case RecordKind::kVCard:
        if (MimeToRecords(fields.contact, message)) return true;
        context.SetError(kTagErrorMimeFormat); // no name: no vCard to write
        return false;
    }
    return false;
}

RecordJsonResult JsonToNfcTagData(std::string_view json, std::unique_ptr<CNfcTagData>& item) {
    item.reset();
    RecordFields fields;
    const RecordJsonResult result = ParseRecordJson(json, fields);
    if (result != RecordJsonResult::kOk) return result;
    switch (fields.kind->kind) {
    case RecordKind::kText:
        item = std::make_unique<CNfcTagData>(std::make_unique<std::string>(fields.Get("TITLE")));
        break;
    case RecordKind::kVCard:
        item = std::make_unique<CNfcTagData>(
            std::unique_ptr<CMime>(std::make_unique<CVCardMime>(std::move(fields.contact))));
        break;
    default:
        item = std::make_unique<CNfcTagData>(SchemeOf(fields));
        break;
    }
    return RecordJsonResult::kOk;
}
