#include "app/KeyStore.h"

#include "app/ProfileSettings.h"
#include "content/HexText.h"

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

TagKey KeyFromText(const QString& text) {
    TagKey key{};
    const QByteArray bytes = text.toLatin1();
    HexTextToBytes(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), key.data(),
                   key.size());
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
