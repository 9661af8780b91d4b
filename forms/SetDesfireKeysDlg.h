#pragma once

#include "app/TagKey.h"

#include <QDialog>

class QLineEdit;

// "Passwort setzen": the new key that is to protect the tag, typed (1275, hex text
// of 0-16 bytes, padded with zeros) or taken from the key store with "Laden"
// (1267). "Setzen" (1274) ends with 1 and the key in KeyBytes, or stays open with
// "Schlüsselwert ist nicht hexadezimal" for a text that is no hex, or with its own word
// for an empty or all-zero key, the open default; "Schließen" cancels.
class CSetDesfireKeysDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSetDesfireKeysDlg(int port, QWidget* parent = nullptr);

    const int Port;
    TagKey KeyBytes{};

    QLineEdit* KeyEdit() const { return m_key; }
    QLineEdit* StatusEdit() const { return m_status; }

private:
    void OnSet();

    QLineEdit* m_key = nullptr;
    QLineEdit* m_status = nullptr;
};
