#include "content/VCardMime.h"

#include "content/AsciiText.h"
#include "content/HexText.h"
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
        if (c == '\r' || c == '\n') c = ' ';
    return value;
}

// In the compound values of N and ORG a backslash, comma or semicolon of the value
// is written with a backslash before it, so that every value reads back as it was.
std::string EscapeComponent(std::string_view text) {
    std::string out;
    for (char c : LineValue(text)) {
        if (c == '\\' || c == ',' || c == ';') out += '\\';
        out += c;
    }
    return out;
}

// Splits at every semicolon that is not escaped; "\\", "\," and "\;" stand for the
// character after the backslash, "\n" and "\N" for a line break (vCard 3.0), any
// other backslash stays as it is.
std::vector<std::string> SplitComponents(std::string_view value) {
    std::vector<std::string> components(1);
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const char next = i + 1 < value.size() ? value[i + 1] : '\0';
        if (c == '\\' && (next == '\\' || next == ',' || next == ';')) {
            components.back() += value[++i];
        } else if (c == '\\' && (next == 'n' || next == 'N')) {
            components.back() += '\n';
            ++i;
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
    if (dot == std::string_view::npos) return line;
    const size_t colon = line.find(':');
    const size_t semicolon = line.find(';');
    if ((colon != std::string_view::npos && colon < dot) ||
        (semicolon != std::string_view::npos && semicolon < dot))
        return line;
    return line.substr(dot + 1);
}

// A property line taken apart: "group.NAME;PARAM;PARAM=A,B:value".
struct ContentLine {
    std::string_view name;
    std::vector<std::string_view> parameters;
    std::string_view value; // as written; empty without a colon
};

ContentLine ReadContentLine(std::string_view line) {
    const std::string_view property = WithoutGroup(line);
    const size_t colon = property.find(':');
    const std::string_view head = property.substr(0, colon);
    ContentLine content;
    if (colon != std::string_view::npos) content.value = property.substr(colon + 1);
    size_t semicolon = head.find(';');
    content.name = head.substr(0, semicolon);
    while (semicolon != std::string_view::npos) {
        const size_t next = head.find(';', semicolon + 1);
        content.parameters.push_back(head.substr(semicolon + 1, next - semicolon - 1));
        semicolon = next;
    }
    return content;
}

// vCard 4.0 may quote a parameter value ("TYPE="work,cell"", "TYPE="work","cell"").
std::string_view Unquoted(std::string_view value) {
    if (value.starts_with('"')) value.remove_prefix(1);
    if (value.ends_with('"')) value.remove_suffix(1);
    return value;
}

// The values of the parameter `name` ("TYPE=WORK,CELL" gives WORK and CELL). vCard
// 2.1 also writes a parameter by its value alone ("TEL;CELL", "N;QUOTED-PRINTABLE"),
// which counts for every name.
std::vector<std::string_view> ParameterValues(const ContentLine& content, std::string_view name) {
    std::vector<std::string_view> values;
    for (std::string_view parameter : content.parameters) {
        const size_t equals = parameter.find('=');
        if (equals != std::string_view::npos) {
            if (!EqualsNoCase(parameter.substr(0, equals), name)) continue;
            parameter.remove_prefix(equals + 1);
        }
        for (size_t comma; (comma = parameter.find(',')) != std::string_view::npos;) {
            values.push_back(Unquoted(parameter.substr(0, comma)));
            parameter.remove_prefix(comma + 1);
        }
        values.push_back(Unquoted(parameter));
    }
    return values;
}

bool HasParameter(const ContentLine& content, std::string_view name, std::string_view value) {
    for (std::string_view given : ParameterValues(content, name))
        if (EqualsNoCase(given, value)) return true;
    return false;
}

bool IsQuotedPrintable(const ContentLine& content) {
    return HasParameter(content, "ENCODING", "QUOTED-PRINTABLE");
}

// The value's text in UTF-8: quoted-printable "=XX" decoded (soft line breaks were
// joined with the lines; one at the value's very end goes), a Latin-1 or
// Windows-1252 CHARSET converted; ill-formed UTF-8 as U+FFFD.
std::string DecodedValue(const ContentLine& content) {
    std::string value;
    const std::string_view raw = content.value;
    const bool quotedPrintable = IsQuotedPrintable(content);
    for (size_t i = 0; i < raw.size(); ++i) {
        if (quotedPrintable && raw[i] == '=' && i + 2 < raw.size() && HexDigitValue(raw[i + 1]) >= 0 &&
            HexDigitValue(raw[i + 2]) >= 0) {
            value += static_cast<char>(HexDigitValue(raw[i + 1]) * 16 + HexDigitValue(raw[i + 2]));
            i += 2;
        } else if (quotedPrintable && raw[i] == '=' && i + 1 == raw.size()) {
            break; // a soft line break with nothing after it
        } else {
            value += raw[i];
        }
    }
    const bool cp1252 = HasParameter(content, "CHARSET", "WINDOWS-1252");
    if (cp1252 || HasParameter(content, "CHARSET", "ISO-8859-1") ||
        HasParameter(content, "CHARSET", "ISO-8859-15")) {
        std::string utf8;
        for (const char c : value) {
            const auto byte = static_cast<uint8_t>(c);
            AppendUtf8(utf8, cp1252 ? Cp1252CodePoint(byte) : byte);
        }
        value = std::move(utf8);
    }
    Utf8ToAnsi(value);
    return value;
}

CVCardMime::CTelephon ReadTelephon(const ContentLine& content, std::string number) {
    CVCardMime::CTelephon phone;
    phone.number = std::move(number);
    for (std::string_view type : ParameterValues(content, "TYPE")) {
        if (EqualsNoCase(type, "WORK"))
            phone.place = CVCardMime::CTelephon::kPlaceWork;
        else if (EqualsNoCase(type, "HOME"))
            phone.place = CVCardMime::CTelephon::kPlaceHome;
        else if (EqualsNoCase(type, "CELL"))
            phone.device = CVCardMime::CTelephon::kDeviceCell;
        else if (EqualsNoCase(type, "FAX"))
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
        if (end == std::string_view::npos) end = text.size();
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
        if (EqualsNoCase(line, "END:VCARD")) break; // only the first card is read
        if (!StartsWithNoCase(line, "VERSION:")) continue;
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
        // A quoted-printable value that ends in '=' goes on in the next line, unless
        // that line ends the card.
        if (!lines.empty() && lines.back().ends_with('=') && !EqualsNoCase(line, "END:VCARD") &&
            IsQuotedPrintable(ReadContentLine(lines.back()))) {
            lines.back().pop_back();
            lines.back().append(line);
        } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
            lines.back().append(line.substr(kept));
        } else if (!line.empty()) {
            lines.emplace_back(line);
        }
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
    if (LineValue(givenName).empty() && LineValue(familyName).empty()) return;

    std::string displayName = givenName.empty()    ? familyName
                              : familyName.empty() ? givenName
                                                   : givenName + " " + familyName;
    if (!organisation.empty()) displayName += ", " + organisation;

    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    text += "FN:" + LineValue(displayName) + "\r\n";
    text += "N:" + EscapeComponent(familyName) + ";" + EscapeComponent(givenName) + "\r\n";
    if (!organisation.empty()) text += "ORG:" + EscapeComponent(organisation) + "\r\n";
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
        if (!mail.empty()) text += "EMAIL:" + LineValue(mail) + "\r\n";
    for (const std::string& url : urls)
        if (!url.empty()) text += "URL:" + LineValue(url) + "\r\n";
    text += "END:VCARD";
    TextToBytes(text, payload);
}

void CVCardMime::Parse(std::span<const uint8_t> bytes) {
    Clear();
    std::string text;
    BytesToText(bytes, text);
    // Some writers put a UTF-8 byte order mark before BEGIN.
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty() || !EqualsNoCase(lines.front(), "BEGIN:VCARD")) return;

    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const ContentLine content = ReadContentLine(line);
        if (EqualsNoCase(content.name, "N")) {
            const std::vector<std::string> components = SplitComponents(DecodedValue(content));
            familyName = components[0];
            givenName = components.size() > 1 ? components[1] : std::string();
        } else if (EqualsNoCase(content.name, "ORG")) {
            std::string joined;
            for (const std::string& component : SplitComponents(DecodedValue(content))) {
                if (component.empty()) continue;
                if (!joined.empty()) joined += ", ";
                joined += component;
            }
            if (!joined.empty()) organisation = joined;
        } else if (EqualsNoCase(content.name, "TEL")) {
            if (std::string number = DecodedValue(content); !number.empty())
                phones.push_back(ReadTelephon(content, std::move(number)));
        } else if (EqualsNoCase(content.name, "EMAIL")) {
            if (std::string mail = DecodedValue(content); !mail.empty()) mails.push_back(std::move(mail));
        } else if (EqualsNoCase(content.name, "URL")) {
            // An address with parameters is not the contact's own ("URL;WORK:").
            if (!content.parameters.empty()) continue;
            if (std::string url = DecodedValue(content); !url.empty()) urls.push_back(std::move(url));
        } else if (EqualsNoCase(line, "END:VCARD") || (i > 0 && EqualsNoCase(line, "BEGIN:VCARD"))) {
            break;
        }
        // FN is not read: the names come from N.
    }
}

std::unique_ptr<CMime> CreateMimeFromType(std::string_view mimeType, std::span<const uint8_t> payload) {
    if (!StartsWithNoCase(mimeType, "text/")) return nullptr;
    const std::string_view subtype = mimeType.substr(5);
    if (!StartsWithNoCase(subtype, "vCard") && !StartsWithNoCase(subtype, "x-vCard")) return nullptr;
    auto contact = std::make_unique<CVCardMime>();
    contact->Parse(payload);
    return contact;
}
