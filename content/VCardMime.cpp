#include "content/VCardMime.h"

#include "content/AsciiText.h"
#include "content/PercentCodec.h"
#include "content/TextEncoding.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A value stands on its property's line: a line break inside it would begin a line of
// its own (a telephone entry or an END that nobody entered), so it is written as a
// blank. Lenient readers also end a line at a lone CR or LF.
std::string LineValue(std::string_view field) {
    std::string value = ReplaceAll(AnsiToUtf8Copy(field), kLineEnd, " ");
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    return value;
}

// In the compound values of N and ORG a backslash, comma or semicolon of the value
// is written with a backslash before it, so that every value reads back as it was.
std::string EscapeComponent(std::string_view text) {
    std::string out;
    for (char c : LineValue(text)) {
        if (c == '\\' || c == ',' || c == ';')
            out += '\\';
        out += c;
    }
    return out;
}

// Splits at every semicolon that is not escaped; "\\", "\," and "\;" stand for the
// character after the backslash, any other backslash stays as it is.
std::vector<std::string> SplitComponents(std::string_view value) {
    std::vector<std::string> components(1);
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size() &&
            (value[i + 1] == '\\' || value[i + 1] == ',' || value[i + 1] == ';')) {
            components.back() += value[++i];
        } else if (c == ';') {
            components.emplace_back();
        } else {
            components.back() += c;
        }
    }
    for (std::string& component : components)
        Utf8ToAnsi(component);
    return components;
}

// "item1.EMAIL:x" reads as "EMAIL:x": a group name ends at a dot that stands before
// the first colon and the first semicolon.
std::string_view WithoutGroup(std::string_view line) {
    const size_t dot = line.find('.');
    if (dot == std::string_view::npos)
        return line;
    const size_t colon = line.find(':');
    const size_t semicolon = line.find(';');
    if ((colon != std::string_view::npos && colon < dot) || (semicolon != std::string_view::npos && semicolon < dot))
        return line;
    return line.substr(dot + 1);
}

std::string ValueAfterColon(std::string_view line) {
    const size_t colon = line.find(':');
    std::string value(colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 1));
    Utf8ToAnsi(value);
    return value;
}

CVCardMime::CTelephon ReadTelephon(std::string_view property, std::string number) {
    CVCardMime::CTelephon phone;
    phone.number = std::move(number);
    for (const std::string& parameter : SplitComponents(property.substr(0, property.find(':')))) {
        if (EqualsNoCase(parameter, "WORK"))
            phone.place = CVCardMime::CTelephon::kPlaceWork;
        else if (EqualsNoCase(parameter, "HOME"))
            phone.place = CVCardMime::CTelephon::kPlaceHome;
        else if (EqualsNoCase(parameter, "CELL"))
            phone.device = CVCardMime::CTelephon::kDeviceCell;
        else if (EqualsNoCase(parameter, "FAX"))
            phone.device = CVCardMime::CTelephon::kDeviceFax;
    }
    return phone;
}

// The lines of the text as they stand. Lines end at CR LF, and also at a lone LF or
// CR (cards of other writers).
std::vector<std::string_view> PhysicalLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, kLineEnd.size(), kLineEnd) == 0 ? kLineEnd.size() : 1);
    }
    return lines;
}

// vCard 3.0 and later fold a long line by inserting CR LF and one blank, which the
// reader takes out again; vCard 2.1 folds before a blank of the value itself, so
// only the line break goes and the blank stays. A card without a VERSION line is
// read as 2.1, the version this contact builds.
bool FoldingKeepsBlank(const std::vector<std::string_view>& lines) {
    for (std::string_view line : lines) {
        if (EqualsNoCase(line, "END:VCARD"))
            break; // only the first card is read
        if (!StartsWithNoCase(line, "VERSION:"))
            continue;
        std::string_view version = line.substr(8);
        while (!version.empty() && (version.front() == ' ' || version.front() == '\t'))
            version.remove_prefix(1);
        return !version.starts_with('3') && !version.starts_with('4');
    }
    return true;
}

// The logical lines of the text: a line that begins with a blank or a tab continues
// the one before (unfolded as its version folds), so that a long value folded by its
// writer reads back whole. Empty lines are dropped.
std::vector<std::string> SplitLines(std::string_view text) {
    const std::vector<std::string_view> physical = PhysicalLines(text);
    const size_t kept = FoldingKeepsBlank(physical) ? 0 : 1;
    std::vector<std::string> lines;
    for (std::string_view line : physical) {
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
            lines.back().append(line.substr(kept));
        else if (!line.empty())
            lines.emplace_back(line);
    }
    return lines;
}

} // namespace

void CVCardMime::Clear() {
    givenName.clear();
    familyName.clear();
    organisation.clear();
    phones.clear();
    mails.clear();
    urls.clear();
}

void CVCardMime::Build(CMyByteArray& payload) const {
    payload.clear();
    // A name that is cut away whole (text ends at a NUL byte) is no name either.
    if (LineValue(givenName).empty() && LineValue(familyName).empty())
        return;

    std::string displayName = givenName.empty()    ? familyName
                              : familyName.empty() ? givenName
                                                   : givenName + " " + familyName;
    if (!organisation.empty())
        displayName += ", " + organisation;

    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    text += "FN:" + LineValue(displayName) + "\r\n";
    text += "N:" + EscapeComponent(familyName) + ";" + EscapeComponent(givenName) + "\r\n";
    if (!organisation.empty())
        text += "ORG:" + EscapeComponent(organisation) + "\r\n";
    for (const CTelephon& phone : phones) {
        text += "TEL";
        if (phone.place == CTelephon::kPlaceWork)
            text += ";WORK";
        else if (phone.place == CTelephon::kPlaceHome)
            text += ";HOME";
        if (phone.device == CTelephon::kDeviceCell)
            text += ";CELL";
        else if (phone.device == CTelephon::kDeviceFax)
            text += ";FAX";
        text += ":" + LineValue(phone.number) + "\r\n";
    }
    for (const std::string& mail : mails)
        if (!mail.empty())
            text += "EMAIL:" + LineValue(mail) + "\r\n";
    for (const std::string& url : urls)
        if (!url.empty())
            text += "URL:" + LineValue(url) + "\r\n";
    text += "END:VCARD";
    TextToBytes(text, payload);
}

void CVCardMime::Parse(std::span<const uint8_t> bytes) {
    Clear();
    std::string text;
    BytesToText(bytes, text);
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty() || !EqualsNoCase(lines.front(), "BEGIN:VCARD"))
        return;

    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::string_view property = WithoutGroup(line);
        if (StartsWithNoCase(property, "FN:")) {
            continue; // the names come from N
        } else if (StartsWithNoCase(property, "N:")) {
            const std::vector<std::string> components = SplitComponents(property.substr(2));
            familyName = components[0];
            givenName = components.size() > 1 ? components[1] : std::string();
        } else if (StartsWithNoCase(property, "ORG:")) {
            std::string joined;
            for (const std::string& component : SplitComponents(property.substr(4))) {
                if (component.empty())
                    continue;
                if (!joined.empty())
                    joined += ", ";
                joined += component;
            }
            if (!joined.empty())
                organisation = joined;
        } else if (StartsWithNoCase(property, "TEL")) {
            if (std::string number = ValueAfterColon(line); !number.empty())
                phones.push_back(ReadTelephon(property, std::move(number)));
        } else if (StartsWithNoCase(property, "EMAIL")) {
            if (std::string mail = ValueAfterColon(line); !mail.empty())
                mails.push_back(std::move(mail));
        } else if (StartsWithNoCase(property, "URL")) {
            if (!StartsWithNoCase(property, "URL:"))
                continue;
            if (std::string url = ValueAfterColon(line); !url.empty())
                urls.push_back(std::move(url));
        } else if (EqualsNoCase(line, "END:VCARD") || (i > 0 && EqualsNoCase(line, "BEGIN:VCARD"))) {
            break;
        }
    }
}

std::unique_ptr<CMime> CreateMimeFromType(std::string_view mimeType, std::span<const uint8_t> payload) {
    if (!StartsWithNoCase(mimeType, "text/"))
        return nullptr;
    const std::string_view subtype = mimeType.substr(5);
    if (!StartsWithNoCase(subtype, "vCard") && !StartsWithNoCase(subtype, "x-vCard"))
        return nullptr;
    auto contact = std::make_unique<CVCardMime>();
    contact->Parse(payload);
    return contact;
}
