#include "app/KeyStore.h"

#include "app/ProfileSettings.h"
#include "content/HexText.h"

#include <algorithm>
#include <string>

namespace {

QString KeyName(int n) {
    return QStringLiteral("KeyName%1").arg(n);
}

QString KeyValue(int n) {
    return QStringLiteral("KeyValue%1").arg(n);
}

QString WithoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.left(end);
}

} // namespace

std::optional<TagKey> ParseKeyText(const QString& text) {
    if (text.isEmpty()) return TagKey{};
    // A key pasted from a table or a document is parted by tabs or no-break blanks
    // as well: every blank of any kind parts the groups.
    QString blanked = text;
    for (QChar& c : blanked)
        if (c.isSpace()) c = u' ';
    // Characters outside Latin-1 arrive as '?', which is no hex digit either.
    const QByteArray bytes = blanked.toLatin1();
    const std::string_view hex(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (!IsHexText(hex)) return std::nullopt;
    constexpr size_t kKeySize = std::tuple_size_v<TagKey>;
    uint8_t buffer[kKeySize + 1];
    const size_t count = HexTextToBytes(hex, buffer, sizeof buffer);
    if (count > kKeySize) return std::nullopt; // the key would lose what was typed last
    TagKey key{};
    std::copy(buffer, buffer + count, key.begin());
    return key;
}

QString KeyToText(const TagKey& key) {
    std::string text;
    BytesToHexText(key.data(), key.size(), text, false, false);
    return QString::fromLatin1(text);
}

void CKeyStoreItemList::Load() {
    Items.clear();
    const QString section = QLatin1String(kSection);
    for (int n = 1;; ++n) {
        const QString value = ProfileSettings::ReadString(section, KeyValue(n));
        if (value.isEmpty()) break;
        Items.push_back({ProfileSettings::ReadString(section, KeyName(n)), value});
    }
}

bool CKeyStoreItemList::Save() const {
    const QString section = QLatin1String(kSection);
    bool ok = ProfileSettings::RemoveSection(section);
    int n = 0;
    for (const CKeyStoreItem& item : Items) {
        if (item.Value.isEmpty()) continue;
        ++n;
        ok = ProfileSettings::WriteString(section, KeyName(n), item.Name) && ok;
        ok = ProfileSettings::WriteString(section, KeyValue(n), item.Value) && ok;
    }
    return ok;
}

CKeyStoreItem* CKeyStoreItemList::FindByName(const QString& name) {
    const QString wanted = WithoutTrailingBlanks(name);
    for (CKeyStoreItem& item : Items)
        if (WithoutTrailingBlanks(item.Name) == wanted) return &item;
    return nullptr;
}
