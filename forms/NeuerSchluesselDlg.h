#pragma once

#include "app/KeyStore.h"

#include <QDialog>

class QLineEdit;

// "Neuer Schlüsseleintrag": a name (1266) and a key (1272, hex text of 0-16 bytes,
// padded with zeros) for the key store. OK stores the key as 32 hex digits under
// the name, after asking before it replaces the key of an existing name, and
// closes; a missing name or a key that is not hex text keeps the dialog open with
// the reason in the status field 1268.
class CNeuerSchluesselDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNeuerSchluesselDlg(QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* KeyEdit() const { return m_key; }
    QLineEdit* StatusEdit() const { return m_status; }

public slots:
    void accept() override;

private:
    CKeyStoreItemList m_items; // its own copy of the store
    QLineEdit* m_name;
    QLineEdit* m_key;
    QLineEdit* m_status;
};
