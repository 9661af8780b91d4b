#include "forms/WebAddressPrefix.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

// Whether text begins with prefix (lower-case ASCII), A-Z compared as a-z.
bool StartsWithAsciiNoCase(const QString& text, const QString& prefix) {
    if (text.size() < prefix.size()) return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        char16_t c = text.at(i).unicode();
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != prefix.at(i).unicode()) return false;
    }
    return true;
}

} // namespace

const QStringList& WebAddressPrefixes() {
    static const QStringList prefixes = {QStringLiteral("http://www."), QStringLiteral("http://"),
                                         QStringLiteral("https://www."), QStringLiteral("https://")};
    return prefixes;
}

WebAddressSplit SplitWebAddress(const QString& text) {
    WebAddressSplit split;
    qsizetype bestLength = 0;
    const QStringList& prefixes = WebAddressPrefixes();
    for (int i = 0; i < prefixes.size(); ++i) {
        if (prefixes[i].size() > bestLength && StartsWithAsciiNoCase(text, prefixes[i])) {
            split.prefixIndex = i;
            split.matched = true;
            bestLength = prefixes[i].size();
        }
    }
    split.rest = text.mid(bestLength);
    return split;
}

QString FullWebAddress(const QString& selectedPrefix, const QString& addressField) {
    const WebAddressSplit typed = SplitWebAddress(addressField);
    if (typed.matched) return WebAddressPrefixes().at(typed.prefixIndex) + typed.rest;
    return selectedPrefix + addressField;
}

void ShowWebAddress(const QString& text, QComboBox* prefixBox, QLineEdit* addressField) {
    const WebAddressSplit split = SplitWebAddress(text);
    prefixBox->setCurrentIndex(split.prefixIndex);
    addressField->setText(split.rest);
    addressField->setCursorPosition(0);
}

void SelectWebAddressPrefix(const QString& value, QComboBox* prefixBox) {
    prefixBox->setCurrentIndex(SplitWebAddress(value).prefixIndex);
}

void SplitTypedWebAddresses(QComboBox* prefixBox, QLineEdit* addressField) {
    QObject::connect(addressField, &QLineEdit::editingFinished, addressField, [prefixBox, addressField] {
        if (SplitWebAddress(addressField->text()).matched)
            ShowWebAddress(addressField->text(), prefixBox, addressField);
    });
}
