#pragma once

#include "app/TagKey.h"

#include <QDialog>

class QLabel;
class QLineEdit;

// Asks for the master key that opens the tag when it refused an operation: the
// card's (key number 0) or the NFC application's (above 0; label 209). Two forms:
// "Authentifizierung", and "Transponder ist schreibgeschützt" with a note that
// overwriting needs the card's master key. The key is typed (1272, hex text of 0-16
// bytes, padded with zeros) or taken from the key store with "Laden" (1267).
// "Verwenden" (1260) ends with 1 and the key in KeyBytes; "Abbrechen" cancels.
class CMasterkeyAuthentDlg : public QDialog {
    Q_OBJECT
public:
    CMasterkeyAuthentDlg(int port, int keyNumber, bool authenticationLayout, QWidget* parent = nullptr);

    const int Port;
    const int KeyNumber;
    TagKey KeyBytes{};

    QLineEdit* KeyEdit() const { return m_key; }
    QLineEdit* StatusEdit() const { return m_status; }

private:
    void OnUse();

    QLineEdit* m_key = nullptr;
    QLineEdit* m_status = nullptr;
};
