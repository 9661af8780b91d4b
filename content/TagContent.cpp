#include "content/TagContent.h"

#include "content/TagErrorCode.h"
#include "content/TextEncoding.h"
#include "content/VCardMime.h"

namespace {

constexpr std::string_view kLanguage = "en";

std::unique_ptr<CNdefTextRecord> MakeTextRecord(std::string_view text) {
    return std::make_unique<CNdefTextRecord>(std::string(kLanguage), std::string(text));
}

std::unique_ptr<CUriScheme> WithTitle(std::unique_ptr<CUriScheme> scheme, std::string_view title) {
    scheme->title = title;
    return scheme;
}

} // namespace

std::unique_ptr<CUriScheme> MakeBookmarkScheme(std::string_view url, std::string_view title) {
    auto bookmark = std::make_unique<CBookmarkScheme>();
    if (bookmark->Parse(url, false)) return WithTitle(std::move(bookmark), title);
    auto other = std::make_unique<CUriUnknownScheme>();
    other->Parse(url, false);
    return WithTitle(std::move(other), title);
}

std::unique_ptr<CUriScheme> MakeMailScheme(std::string_view address, std::string_view subject,
                                           std::string_view text, std::string_view title) {
    auto mail = std::make_unique<CMailScheme>();
    mail->value = address;
    mail->subject = subject;
    mail->body = text;
    return WithTitle(std::move(mail), title);
}

std::unique_ptr<CUriScheme> MakeSmsScheme(std::string_view address, std::string_view text,
                                          std::string_view title) {
    auto sms = std::make_unique<CSmsScheme>();
    sms->value = address;
    sms->body = text;
    return WithTitle(std::move(sms), title);
}

std::unique_ptr<CUriScheme> MakeTelephonScheme(std::string_view number, std::string_view title) {
    auto telephon = std::make_unique<CTelephonNrScheme>();
    telephon->value = number;
    return WithTitle(std::move(telephon), title);
}

bool TextJsonToRecords(std::string_view text, CNdefMessage& message) {
    message.records.clear();
    message.Add(MakeTextRecord(text));
    return true;
}

bool UriSchemeToRecords(const CUriScheme* scheme, CNdefMessage& message) {
    if (!scheme) return false;
    const int type = scheme->GetSchemeType();
    // The value as the URI carries it: text is cut at a NUL byte, so "\0..." would
    // write no number or address at all.
    const bool needsValue =
        type == CUriScheme::kMail || type == CUriScheme::kSms || type == CUriScheme::kTelephon;
    if (needsValue && AnsiToUtf8Copy(scheme->value).empty()) return false;
    // Nor is an empty address written over the tag's message.
    if (AnsiToUtf8Copy(scheme->Compose(true)).empty()) return false;
    message.records.clear();
    auto uri = std::make_unique<CNdefUriRecord>(scheme->Compose(true), true);
    if (scheme->title.empty()) {
        message.Add(std::move(uri));
        return true;
    }
    auto nested = std::make_unique<CNdefMessage>();
    nested->Add(MakeTextRecord(scheme->title));
    nested->Add(std::move(uri));
    message.Add(std::make_unique<CNdefSmartPosterRecord>(std::move(nested)));
    return true;
}

bool MimeToRecords(const CMime& mime, CNdefMessage& message) {
    CMyByteArray payload;
    mime.Build(payload);
    if (payload.empty()) return false;
    message.records.clear();
    message.Add(std::make_unique<CNdefMimeRecord>(mime.GetMimeType(), std::move(payload)));
    return true;
}

bool BookmarkJsonToRecords(std::string_view url, std::string_view title, CNdefMessage& message) {
    return UriSchemeToRecords(MakeBookmarkScheme(url, title).get(), message);
}

bool MailJsonToRecords(std::string_view address, std::string_view subject, std::string_view text,
                       std::string_view title, CNdefMessage& message) {
    return UriSchemeToRecords(MakeMailScheme(address, subject, text, title).get(), message);
}

bool SmsJsonToRecords(std::string_view address, std::string_view text, std::string_view title,
                      CNdefMessage& message) {
    return UriSchemeToRecords(MakeSmsScheme(address, text, title).get(), message);
}

bool TelephonJsonToRecords(std::string_view number, std::string_view title, CNdefMessage& message) {
    return UriSchemeToRecords(MakeTelephonScheme(number, title).get(), message);
}

void MessageToTagData(INdefContext& context, const CNdefMessage& message, bool firstOnly, bool inSmartPoster,
                      CSdkNfcTagDataList& items) {
    items.clear();
    std::string title;
    const bool firstDecides = firstOnly && !inSmartPoster;

    for (const auto& record : message.records) {
        if (!record) continue;
        if (record->GetKind() == CNdefRecord::kUri) {
            const auto& uri = static_cast<const CNdefUriRecord&>(*record);
            items.push_back(std::make_unique<CSdkNfcTagData>(CreateUriScheme(uri.uri, false)));
            if (firstDecides) break;
        } else if (record->GetKind() == CNdefRecord::kText) {
            const auto& text = static_cast<const CNdefTextRecord&>(*record);
            if (inSmartPoster) {
                if (title.empty()) title = text.text;
            } else {
                items.push_back(std::make_unique<CSdkNfcTagData>(std::make_unique<std::string>(text.text)));
                if (firstOnly) break;
            }
        } else if (record->GetKind() == CNdefRecord::kMime) {
            const auto& mime = static_cast<const CNdefMimeRecord&>(*record);
            if (auto contact = CreateMimeFromType(mime.mimeType, mime.payload))
                items.push_back(std::make_unique<CSdkNfcTagData>(std::move(contact)));
            else
                context.SetError(kTagErrorMimeFormat);
            if (firstDecides) break;
        } else if (record->GetKind() == CNdefRecord::kSmartPoster) {
            const auto& poster = static_cast<const CNdefSmartPosterRecord&>(*record);
            if (!poster.message) continue;
            MessageToTagData(context, *poster.message, firstOnly, true, items);
            if (firstOnly && !items.empty()) break;
        }
    }

    // A message with nothing to show says why instead of reading as an empty one.
    if (items.empty() && message.unreadError != 0) context.SetError(message.unreadError);

    if (!title.empty() && items.size() == 1 && items.front()->HasUriScheme())
        items.front()->GetUriScheme()->title = title;
}
