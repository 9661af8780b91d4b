#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;

// The prefixes a web address is entered with in the web address and contact forms:
// a drop-down list of fixed entries and an edit field for the rest of the address.

// In this order: 0 "http://www.", 1 "http://", 2 "https://www.", 3 "https://".
const QStringList& WebAddressPrefixes();
// The prefix selected whenever the fields are emptied or no prefix matches: "http://".
inline constexpr int kDefaultWebAddressPrefix = 1;

struct WebAddressSplit {
    int prefixIndex = kDefaultWebAddressPrefix; // the default when none matched
    QString rest;                               // the text after the prefix (all of it when none matched)
    bool matched = false;
};

// Splits an address into the longest prefix of the list that it begins with and the
// rest. Letter case does not count ("HTTPS://WWW.x" gives 2 and "x"); only the
// letters A-Z are folded.
WebAddressSplit SplitWebAddress(const QString& text);

// The full address from the selected prefix and the address field. When the field
// itself begins with one of the prefixes (the user typed the whole address), that
// prefix is taken instead of the selected one, so "https://x" typed while "http://"
// is selected stays "https://x" rather than becoming "http://https://x".
QString FullWebAddress(const QString& selectedPrefix, const QString& addressField);

// Shows an address split: the prefix box selects the prefix found (else "http://"),
// the address field gets the rest.
void ShowWebAddress(const QString& text, QComboBox* prefixBox, QLineEdit* addressField);
// A template's prefix value selects the prefix it begins with (else "http://"); the
// rest of the value is dropped.
void SelectWebAddressPrefix(const QString& value, QComboBox* prefixBox);
// When the user leaves the address field (or presses Enter) with a whole address in
// it, the prefix moves into the prefix box, so that the form shows what will be
// written.
void SplitTypedWebAddresses(QComboBox* prefixBox, QLineEdit* addressField);
