#include "app/KeyStore.h"

#include "app/ProfileSettings.h"
#include "content/HexText.h"

#include <QRegularExpression>

#include <algorithm>
#include <map>
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
    // Every numbered entry there is, in the order of its number: a gap in a
    // hand-edited file hides no key (and the next save would drop it).
    const QMap<QString, QString> entries = ProfileSettings::ReadSection(QLatin1String(kSection));
    std::map<int, QString> values;
    static const QRegularExpression valueKey(QStringLiteral("^KeyValue([1-9][0-9]{0,8})$"));
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        const QRegularExpressionMatch match = valueKey.match(entry.key());
        if (match.hasMatch() && !entry.value().isEmpty()) values[match.captured(1).toInt()] = entry.value();
    }
    for (const auto& [n, value] : values)
        Items.push_back({entries.value(KeyName(n)), value});
}

bool CKeyStoreItemList::Save() const {
    QList<QPair<QString, QString>> entries;
    int n = 0;
    for (const CKeyStoreItem& item : Items) {
        if (item.Value.isEmpty()) continue;
        ++n;
        entries.append({KeyName(n), item.Name});
        entries.append({KeyValue(n), item.Value});
    }
    // One write of the whole section: a kill or a full disk leaves the old store.
    return ProfileSettings::ReplaceSection(QLatin1String(kSection), entries);
}

CKeyStoreItem* CKeyStoreItemList::FindByName(const QString& name) {
    const QString wanted = WithoutTrailingBlanks(name);
    for (CKeyStoreItem& item : Items)
        if (WithoutTrailingBlanks(item.Name) == wanted) return &item;
    return nullptr;
}
