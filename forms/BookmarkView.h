#pragma once

#include "forms/RecordFormView.h"

class QComboBox;
class QLineEdit;

// The web address form: an optional link text ("Beschreibung (optional):", 133) and a
// web address entered as a prefix picked from a fixed list (132) plus the rest of the
// address ("Webseite:", 131). Keyword "BOOKMARK"; template keys "TEXT:", "PREPEND:"
// (the prefix), "ADDRESS:" (the rest); data-list columns link text and the whole
// address. A record with a link text goes on the tag as a smart poster.
//
// Wherever a whole address comes in (a data-list row, a tag, a template's prefix),
// it is split at the longest prefix of the list that it begins with, letter case
// aside (WebAddressPrefix.h).
class CBookmarkView : public CRecordFormView {
    Q_OBJECT
public:
    explicit CBookmarkView(CNfcProgDoc* doc, QWidget* parent = nullptr);

    // The selected prefix.
    QString GetPrefixText() const;
    // The address written: the prefix followed by the address field (a prefix typed
    // into the field itself wins, see FullWebAddress).
    QString GetFullAddress() const;

protected:
    std::string RecordJson() const override;
    void ShowTagFields(const CNfcTagData& data) override;
    // The address without its prefix must not be empty.
    bool HasMandatoryField() const override;
    void SetTemplateValue(int field, const QString& value) override;
    int ColumnCount() const override { return 2; }
    // A lone first column is an address without link text.
    bool KeepRow(QStringList& columns) const override;
    void ShowRow(const QStringList& columns) override;

private:
    QLineEdit* m_linkText;
    QComboBox* m_prefix;
    QLineEdit* m_address;
};
