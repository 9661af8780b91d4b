#include "content/RecordJsonWriter.h"

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "content/TextEncoding.h"

namespace {

using Member = std::pair<std::string_view, std::string_view>;

std::string Quoted(std::string_view text) {
    return "\"" + EscapeJsonString(text) + "\"";
}

// "KEY" : value
std::string MemberText(std::string_view key, const std::string& valueText) {
    return Quoted(key) + " : " + valueText;
}

std::string StringMembers(std::initializer_list<Member> members) {
    std::string out;
    for (const auto& [key, value] : members) {
        if (!out.empty()) out += ',';
        out += MemberText(key, Quoted(value));
    }
    return out;
}

std::string Record(std::string_view kind, const std::string& members) {
    return "{" + MemberText(kind, "{" + members + "}") + "}";
}

// ,"MAILS" : {"MAIL0" : "…","MAIL1" : "…"} — only for a list that is not empty.
std::string ListPart(std::string_view listKey, std::string_view entryKey,
                     const std::vector<std::string>& entries) {
    if (entries.empty()) return {};
    std::string members;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) members += ',';
        members += MemberText(std::string(entryKey) + std::to_string(i), Quoted(entries[i]));
    }
    return "," + MemberText(listKey, "{" + members + "}");
}

std::string PhonesPart(const CVCardMime::CTelephonListe& phones) {
    if (phones.empty()) return {};
    std::string members;
    for (size_t i = 0; i < phones.size(); ++i) {
        if (i > 0) members += ',';
        const std::string entry = StringMembers({{"NUMBER", phones[i].number}}) + "," +
                                  MemberText("TYPE_PLACE", std::to_string(phones[i].place)) + "," +
                                  MemberText("TYPE_DEVICE", std::to_string(phones[i].device));
        members += MemberText("PHONE" + std::to_string(i), "{" + entry + "}");
    }
    return "," + MemberText("PHONES", "{" + members + "}");
}

} // namespace

std::string EscapeJsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : SanitizeUtf8(text)) {
        const auto byte = static_cast<uint8_t>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string BookmarkToJson(std::string_view url, std::string_view title) {
    return Record("BOOKMARK", StringMembers({{"URL", url}, {"TITLE", title}}));
}

std::string MailToJson(std::string_view address, std::string_view subject, std::string_view text,
                       std::string_view title) {
    return Record(
        "MAIL",
        StringMembers({{"ADDRESS", address}, {"SUBJECT", subject}, {"MESSAGE", text}, {"TITLE", title}}));
}

std::string SmsToJson(std::string_view address, std::string_view text, std::string_view title) {
    return Record("SMS", StringMembers({{"ADDRESS", address}, {"MESSAGE", text}, {"TITLE", title}}));
}

std::string TelephonToJson(std::string_view number, std::string_view title) {
    return Record("TELEPHON", StringMembers({{"NUMBER", number}, {"TITLE", title}}));
}

std::string TextToJson(std::string_view text) {
    return Record("TEXT", StringMembers({{"TITLE", text}}));
}

std::string VCardToJson(const CVCardMime& contact) {
    return Record("VCARD", StringMembers({{"FIRSTNAME", contact.givenName},
                                          {"SURNAME", contact.familyName},
                                          {"ORGANISATION", contact.organisation}}) +
                               ListPart("MAILS", "MAIL", contact.mails) +
                               ListPart("URLS", "URL", contact.urls) + PhonesPart(contact.phones));
}

bool TagDataToJson(const CTagDataItem* item, std::string& json) {
    json.clear();
    if (!item) return false;
    if (const std::string* text = item->GetText()) {
        json = TextToJson(*text);
    } else if (const CMime* mime = item->GetMime()) {
        if (mime->GetMimeKind() != CMime::kVCard) return false;
        json = VCardToJson(static_cast<const CVCardMime&>(*mime));
    } else if (const CUriScheme* scheme = item->GetUriScheme()) {
        switch (scheme->GetSchemeType()) {
        case CUriScheme::kUnknown:
        case CUriScheme::kBookmark:
            json = BookmarkToJson(scheme->Compose(false), scheme->title);
            break;
        case CUriScheme::kMail: {
            const auto& mail = static_cast<const CMailScheme&>(*scheme);
            json = MailToJson(mail.value, mail.subject, mail.body, mail.title);
            break;
        }
        case CUriScheme::kSms: {
            const auto& sms = static_cast<const CSmsScheme&>(*scheme);
            json = SmsToJson(sms.value, sms.body, sms.title);
            break;
        }
        case CUriScheme::kTelephon:
            json = TelephonToJson(scheme->value, scheme->title);
            break;
        default:
            return false;
        }
    } else {
        return false;
    }
    return true;
}
