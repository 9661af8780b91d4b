#pragma once

#include "app/KeyStore.h"

#include <QDialog>

class CEditableListCtrl;
class QLineEdit;
class QPushButton;

// "Schlüssel laden": the program's key store as a list of names and values (list
// 1264, columns "Name" and "Wert", widths kept in "DesfireKeyListCtrl"/"Breite0" and
// "Breite1"; until one is stored, "Name" is 100 pixels wide and "Wert" as wide as a
// key of 32 digits needs), with "Anlegen" (1261, a new entry), "Löschen" (1262, the selected
// row's key), "Schließen" (2) and the outcome in the read-only status field 1265.
// The rows can be reordered by dragging; the store keeps its own order. Each row
// knows its key, so "Löschen" deletes the key of the row selected whatever order the
// rows are in.
class CKeyStoreDlg : public QDialog {
    Q_OBJECT
public:
    explicit CKeyStoreDlg(QWidget* parent = nullptr);

    CEditableListCtrl* List() const { return m_list; }
    QLineEdit* StatusEdit() const { return m_status; }

    // "Schließen" (also Esc, the window's close box) keeps the column widths.
    void reject() override;

protected:
    // The first selected row, -1 when none.
    int SelectedRow() const;
    void SaveColumnWidths() const;
    QPushButton* LoadButton() const { return m_loadButton; }

private:
    void OnNew();
    void OnDelete();
    // The rows from the list in memory, in its order.
    void FillRows();

    CKeyStoreItemList m_items;
    CEditableListCtrl* m_list;
    QLineEdit* m_status;
    QPushButton* m_loadButton;
};

// The key store dialog as the key dialogs open it: "Laden" (1267, the default
// button) or a double click on a row takes that row's value and ends with OK.
class CKeyStoreLoadDlg : public CKeyStoreDlg {
    Q_OBJECT
public:
    explicit CKeyStoreLoadDlg(QWidget* parent = nullptr);

    // The value of the row taken ("Wert"), as the store holds it.
    QString SelectedValue;

private:
    void OnLoad();
    void LoadRow(int row);
};

// The key dialogs' "Laden": the key store dialog; the key taken goes into `keyEdit`
// with status 162 "Schlüsselwert geladen", a cancel shows 159 "Abgebrochen".
void LoadKeyFromStore(QWidget* parent, QLineEdit* keyEdit, QLineEdit* status);

// The status text of a key-store save that failed: the store stays as it was.
QString KeyStoreNotSavedText();

// A read-only status field with this id.
QLineEdit* CreateStatusEdit(QWidget* parent, int id);
// A key edit with the id given, wide enough to show a whole key however it is
// typed: 32 digits, with a blank between each two.
QLineEdit* CreateKeyEdit(QWidget* parent, int id);

// What the master-key and protection-key dialogs share, laid out on `dialog` in a
// fixed-size grid below the texts `above`: the prompt (label 1263), the key field
// `keyId` with "Laden" (1267, a key from the store into the field), the read-only
// status field 1268, and the buttons `okText` (`okId`, the default) and `cancelText`
// (2, rejects). The key field takes the focus.
struct KeyDialogFields {
    QLineEdit* key;
    QLineEdit* status;
    QPushButton* ok;
};
KeyDialogFields BuildKeyDialog(QDialog* dialog, const QList<QWidget*>& above, const QString& prompt,
                               int keyId, const QString& okText, int okId, const QString& cancelText);
