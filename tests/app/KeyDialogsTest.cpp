// The key store in the settings file and the key dialogs: the store list (rows up to
// the first missing value, column widths, delete and take a key, also after a drag),
// the new entry's checks and what it stores, the master-key dialog's forms. Taking a
// key by the key dialogs' "Laden" is shown end to end (DesfireKeysE2ETest.cpp).
#include "ShellTestSupport.h"
#include "app/KeyStore.h"
#include "app/ProfileSettings.h"
#include "forms/EditableListCtrl.h"
#include "forms/KeyStoreDlg.h"
#include "forms/MasterkeyAuthentDlg.h"
#include "forms/NeuerSchluesselDlg.h"
#include "forms/SetDesfireKeysDlg.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

using kqtest::ControlById;

namespace {

const QString kKeyA = QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
const QString kKeyB = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
const QString kKeyC = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
const QString kSelectKey = QStringLiteral("Bitte in der Liste einen Schlüssel selektieren");

// The store as the settings file holds it, "name=value" per key.
QStringList StoredKeys() {
    CKeyStoreItemList list;
    list.Load();
    QStringList keys;
    for (const CKeyStoreItem& item : list.Items)
        keys << item.Name + '=' + item.Value;
    return keys;
}

// Stores keys "name=value" in the key store, in this order.
void StoreKeys(const QStringList& entries) {
    CKeyStoreItemList list;
    for (const QString& entry : entries)
        list.Items.push_back({entry.section('=', 0, 0), entry.section('=', 1)});
    list.Save();
}

QStringList Rows(const CEditableListCtrl& list) {
    QStringList rows;
    for (int row = 0; row < list.rowCount(); ++row)
        rows << list.item(row, 0)->text() + '=' + list.item(row, 1)->text();
    return rows;
}

QSettings Raw() {
    return QSettings(ProfileSettings::FilePath(), QSettings::IniFormat);
}

int FileMode() {
    struct stat st {};
    if (::stat(QFile::encodeName(ProfileSettings::FilePath()).constData(), &st) != 0) return -1;
    return int(st.st_mode & 0777);
}

void Click(const QWidget& dialog, int id) {
    QPushButton* button = ControlById<QPushButton>(dialog, id);
    QVERIFY2(button, qPrintable(QString::number(id)));
    button->click();
}

} // namespace

class KeyDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(ProfileSettings::FilePath()); }

    // The store's keys in the order of their numbers under "Name" and "Wert", also
    // those behind a gap in the numbers (a save then renumbers from 1); column widths from
    // "DesfireKeyListCtrl", stored again by "Schließen"; nothing is edited in place.
    void theStoreListShowsTheKeysAndKeepsItsColumnWidths() {
        {
            QSettings raw = Raw();
            raw.setValue("DesfireKeyStore/KeyName1", "Büro");
            raw.setValue("DesfireKeyStore/KeyValue1", kKeyA);
            raw.setValue("DesfireKeyStore/KeyValue2", kKeyB); // a key without a name
            raw.setValue("DesfireKeyStore/KeyName4", "hinter der Lücke");
            raw.setValue("DesfireKeyStore/KeyValue4", kKeyC);
            raw.setValue("DesfireKeyListCtrl/Breite0", 150);
        }
        CKeyStoreLoadDlg dialog;
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Schlüssel laden"));
        CEditableListCtrl* list = dialog.List();
        QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Name"));
        QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("Wert"));
        QCOMPARE(Rows(*list), QStringList({"Büro=" + kKeyA, "=" + kKeyB, "hinter der Lücke=" + kKeyC}));
        QCOMPARE(list->columnWidth(0), 150);
        // "Wert" without a stored width shows a whole key.
        QVERIFY(list->columnWidth(1) >= list->fontMetrics().horizontalAdvance(kKeyA));
        QVERIFY(ControlById<QPushButton>(dialog, 1267)->isDefault());
        QVERIFY(ControlById<QLineEdit>(dialog, 1265)->isReadOnly());
        QVERIFY(!list->EditCell(0, 0, 1) && !list->EditCell(0, 1, 1));

        // The next save renumbers from 1, keeping what lay behind the gap.
        list->SelectRow(0);
        Click(dialog, 1262);
        QSettings raw = Raw();
        raw.beginGroup("DesfireKeyStore");
        QCOMPARE(raw.childKeys(), QStringList({"KeyName1", "KeyName2", "KeyValue1", "KeyValue2"}));
        QCOMPARE(raw.value("KeyValue1").toString(), kKeyB);
        QCOMPARE(raw.value("KeyName2").toString(), QStringLiteral("hinter der Lücke"));
        QCOMPARE(raw.value("KeyValue2").toString(), kKeyC);

        list->setColumnWidth(0, 120);
        list->setColumnWidth(1, 260);
        Click(dialog, 2);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Raw().value("DesfireKeyListCtrl/Breite0").toInt(), 120);
        QCOMPARE(Raw().value("DesfireKeyListCtrl/Breite1").toInt(), 260);
    }

    // "Löschen" deletes the key of the selected row and saves the store renumbered
    // from 1, private; "Laden" or a double click takes the row's value and ends with
    // OK, keeping the column widths. Both follow the row, also after the rows were
    // dragged into another order (not the key at the row's index in the store).
    // Without a selection both only show status 203.
    void theStoreListDeletesAndTakesTheSelectedRowsKey_data() {
        QTest::addColumn<QString>("action"); // "Löschen", "Laden", "double click"
        QTest::addColumn<QStringList>("store");
        QTest::addColumn<bool>("dragFirstToEnd");
        QTest::addColumn<int>("selected"); // -1 none
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("taken");
        const QString a = "a=" + kKeyA, b = "b=" + kKeyB, c = "c=" + kKeyC;
        const QStringList abc{a, b, c};
        const QString deleted = QStringLiteral("Löschen erfolgreich");
        QTest::newRow("delete, no selection") << "Löschen" << abc << false << -1 << abc << kSelectKey << "";
        QTest::newRow("delete row 1") << "Löschen" << abc << false << 1 << QStringList{a, c} << deleted << "";
        QTest::newRow("delete after a drag")
            << "Löschen" << abc << true << 2 << QStringList{b, c} << deleted << "";
        QTest::newRow("delete after a drag, row 0")
            << "Löschen" << abc << true << 0 << QStringList{a, c} << deleted << "";
        QTest::newRow("delete the only key")
            << "Löschen" << QStringList{a} << false << 0 << QStringList{} << deleted << "";
        QTest::newRow("load, no selection") << "Laden" << abc << false << -1 << abc << kSelectKey << "";
        QTest::newRow("load row 1") << "Laden" << abc << false << 1 << abc << "" << kKeyB;
        QTest::newRow("load after a drag") << "Laden" << abc << true << 2 << abc << "" << kKeyA;
        QTest::newRow("double click") << "double click" << abc << false << 2 << abc << "" << kKeyC;
    }
    void theStoreListDeletesAndTakesTheSelectedRowsKey() {
        QFETCH(QString, action);
        QFETCH(QStringList, store);
        QFETCH(bool, dragFirstToEnd);
        QFETCH(int, selected);
        QFETCH(QStringList, left);
        QFETCH(QString, status);
        QFETCH(QString, taken);
        StoreKeys(store);
        CKeyStoreLoadDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, 2000));
        CEditableListCtrl* list = dialog.List();
        list->setColumnWidth(0, 90);
        if (dragFirstToEnd) {
            QWidget* viewport = list->viewport();
            const QPoint start = list->visualRect(list->model()->index(0, 0)).center();
            const QPoint end(start.x(), viewport->height() - 3);
            QTest::mousePress(viewport, Qt::LeftButton, {}, start);
            QTest::mouseMove(viewport, start + QPoint(0, 20));
            QTest::mouseMove(viewport, end);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
            QCOMPARE(Rows(*list), QStringList({store[1], store[2], store[0]}));
        }
        if (action == "double click") {
            // As a window system delivers it: a click, then the second press as a double click.
            const QPoint row = list->visualRect(list->model()->index(selected, 0)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
        } else {
            list->SelectRow(selected);
            Click(dialog, action == "Löschen" ? 1262 : 1267);
        }
        QCOMPARE(dialog.SelectedValue, taken);
        QCOMPARE(dialog.isVisible(), taken.isEmpty());
        QCOMPARE(StoredKeys(), left);
        if (!taken.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(Raw().value("DesfireKeyListCtrl/Breite0").toInt(), 90);
            return;
        }
        QCOMPARE(dialog.StatusEdit()->text(), status);
        QCOMPARE(Rows(*list), left);
        if (left != store) {
            QCOMPARE(FileMode(), 0600);
            QSettings raw = Raw();
            raw.beginGroup("DesfireKeyStore");
            QCOMPARE(raw.childKeys().size(), 2 * left.size()); // renumbered, nothing left behind
            if (!left.isEmpty()) QCOMPARE(raw.value("KeyName1").toString(), left[0].section('=', 0, 0));
        }
    }

    // "Anlegen" opens the new entry; OK shows status 204 and the new row, Cancel 159.
    void newEntryFromTheStoreList() {
        StoreKeys({"a=" + kKeyA});
        CKeyStoreLoadDlg dialog;
        int answer = 0;
        kqtest::ModalWatcher watcher([&answer](QWidget* modal) {
            auto* entry = qobject_cast<CNeuerSchluesselDlg*>(modal);
            if (!entry || answer++ > 0) return false; // the second is cancelled
            entry->NameEdit()->setText("neu");
            entry->KeyEdit()->setText("01 02");
            QMetaObject::invokeMethod(
                entry, [entry] { Click(*entry, 1); }, Qt::QueuedConnection);
            return true;
        });
        const QStringList stored{"a=" + kKeyA, "neu=0102" + QString(28, u'0')};
        Click(dialog, 1261);
        QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Operation erfolgreich"));
        QCOMPARE(Rows(*dialog.List()), stored);
        Click(dialog, 1261);
        QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Abgebrochen"));
        QCOMPARE(StoredKeys(), stored);
        QCOMPARE(watcher.seen, QStringList({"CNeuerSchluesselDlg", "CNeuerSchluesselDlg"}));
    }

    // The new entry's checks and what it stores: the key as 32 hex digits, short keys
    // padded with zeros, long ones cut to 16 bytes; an existing name (trailing blanks
    // aside, letter case counting) is overwritten after question 163 answered Yes, and
    // left as it was after No. The file stays private.
    void newEntryChecksAndStores_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("answer"); // to the question, 0 when none is expected
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("stored"); // empty: unchanged, the dialog stays open
        const QString office = "Büro=" + kKeyA;
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        const QString notHex = QStringLiteral("Schlüsselwert ist nicht hexadezimal");
        QTest::newRow("no name") << ""
                                 << "01" << 0 << "Es sind nicht alle Felder gefüllt " << QStringList();
        QTest::newRow("not hex") << "neu"
                                 << "12G4" << 0 << notHex << QStringList();
        QTest::newRow("not Latin-1") << "neu"
                                     << "12€4" << 0 << notHex << QStringList();
        QTest::newRow("3 bytes, padded")
            << "neu"
            << "a1 b2c3" << 0 << " " << QStringList{office, "neu=A1B2C3" + QString(26, u'0')};
        QTest::newRow("empty key") << "neu"
                                   << "" << 0 << " " << QStringList{office, "neu=" + QString(32, u'0')};
        // A key is the bytes typed: blanks only separate groups; what cannot be read
        // so (a group of odd length, more than 16 bytes) stores nothing.
        QTest::newRow("20 bytes, refused") << "neu" << kKeyB + "01020304" << 0 << notHex << QStringList();
        QTest::newRow("groups of digits")
            << "neu"
            << "0011 2233 44" << 0 << " " << QStringList{office, "neu=0011223344" + QString(22, u'0')};
        QTest::newRow("lone digits") << "neu"
                                     << "1 2 a" << 0 << " "
                                     << QStringList{office, "neu=01020A" + QString(26, u'0')};
        QTest::newRow("group of three digits") << "neu"
                                               << "0011 223 44" << 0 << notHex << QStringList();
        QTest::newRow("17 lone digits")
            << "neu" << QString("1 ").repeated(17) << 0 << notHex << QStringList();
        QTest::newRow("same name, Yes") << "Büro  " << kKeyB << yes << " " << QStringList{"Büro=" + kKeyB};
        QTest::newRow("same name, No") << "Büro" << kKeyB << no << " " << QStringList();
        QTest::newRow("other case is another name")
            << "büro" << kKeyB << 0 << " " << QStringList{office, "büro=" + kKeyB};
    }
    void newEntryChecksAndStores() {
        QFETCH(QString, name);
        QFETCH(QString, key);
        QFETCH(int, answer);
        QFETCH(QString, status);
        QFETCH(QStringList, stored);
        StoreKeys({"Büro=" + kKeyA});
        QFile::setPermissions(ProfileSettings::FilePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        CNeuerSchluesselDlg dialog;
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Neuer Schlüsseleintrag"));
        QStringList questions;
        kqtest::ModalWatcher watcher([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            const bool yesNo = box->standardButtons() == (QMessageBox::Yes | QMessageBox::No);
            questions << box->text() + (yesNo ? "" : " (not Yes/No)");
            box->button(QMessageBox::StandardButton(answer))->click();
            return true;
        });
        dialog.NameEdit()->setText(name);
        dialog.KeyEdit()->setText(key);
        dialog.StatusEdit()->setText("alt"); // replaced by what this OK says
        Click(dialog, 1);
        QCOMPARE(
            questions,
            // The " ?" never wraps onto a line of its own: its blank does not break.
            answer ? QStringList{"Ein Schlüssel mit diesem Namen ist bereits vorhanden. Überschreiben\u00A0?"}
                   : QStringList());
        const bool accepted = !stored.isEmpty();
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(dialog.StatusEdit()->text(), status);
        QCOMPARE(StoredKeys(), accepted ? stored : QStringList{"Büro=" + kKeyA});
        if (accepted) QCOMPARE(FileMode(), 0600);
    }

    // The master-key dialog's two forms and its label for the NFC application's key;
    // a cancelled "Laden" shows 159; "Verwenden" (the default button) empties the
    // status and ends with 1 and the typed key as 16 bytes; a text that is no key
    // stays in the open dialog with 170.
    void theMasterKeyDialogsForms_data() {
        QTest::addColumn<int>("keyNumber");
        QTest::addColumn<bool>("authentication");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        const QString card = QStringLiteral("Hauptschlüssel der Karte (0-16 Byte, Auffüllung mit 0):");
        const QString application =
            QStringLiteral("Hauptschlüssel der NFC-Applikation (0-16 Byte, Auffüllung mit 0):");
        const QString writeProtected = QStringLiteral("Transponder ist schreibgeschützt");
        QTest::newRow("card, authentication") << 0 << true << "Authentifizierung" << card << "0102"
                                              << "0102" + QString(28, u'0');
        QTest::newRow("application, authentication")
            << 1 << true << "Authentifizierung" << application << kKeyA << kKeyA;
        QTest::newRow("application, write-protected")
            << 1 << false << writeProtected << application << "" << QString(32, u'0');
        QTest::newRow("card, write-protected, not hex")
            << 0 << false << writeProtected << card << "zz01" << QString();
        QTest::newRow("card, in groups")
            << 0 << true << "Authentifizierung" << card << "A0A1 A2A3 A4A5 A6A7 A8A9 AAAB ACAD AEAF" << kKeyA;
        QTest::newRow("application, a group of three")
            << 1 << false << writeProtected << application << "A0A1A2 A3A" << QString();
    }
    void theMasterKeyDialogsForms() {
        QFETCH(int, keyNumber);
        QFETCH(bool, authentication);
        QFETCH(QString, title);
        QFETCH(QString, label);
        QFETCH(QString, typed);
        QFETCH(QString, key);
        CMasterkeyAuthentDlg dialog(7, keyNumber, authentication);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, 2000));
        QCOMPARE(dialog.windowTitle(), title);
        QCOMPARE(ControlById<QLabel>(dialog, 1263)->text(), label);
        auto* note = dialog.findChild<QLabel*>("WriteProtectedNote");
        QCOMPARE(note ? note->text() : QString(),
                 authentication
                     ? QString()
                     : QStringLiteral("Transponder ist schreibgeschützt. Ein Überschreiben ist höchstens "
                                      "möglich, wenn der Hauptschlüssel der Karte bekannt ist."));
        QCOMPARE(QApplication::focusWidget(), dialog.KeyEdit());
        {
            kqtest::ModalWatcher cancelsTheStore;
            Click(dialog, 1267);
            QCOMPARE(cancelsTheStore.seen, QStringList({"CKeyStoreLoadDlg"}));
            QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Abgebrochen"));
        }
        QTest::keyClicks(dialog.KeyEdit(), typed);
        QTest::keyClick(dialog.KeyEdit(), Qt::Key_Return);
        QCOMPARE(dialog.result(), key.isEmpty() ? 0 : 1);
        QCOMPARE(dialog.isVisible(), key.isEmpty());
        if (key.isEmpty()) {
            QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Schlüsselwert ist nicht hexadezimal"));
            return;
        }
        QCOMPARE(KeyToText(dialog.KeyBytes), key);
        QCOMPARE(dialog.StatusEdit()->text(), QString());
    }

    // "Setzen" in the protection-key dialog takes hex text of 0-16 bytes other than
    // zeros only; any other text stays in the open dialog with its status, and no key
    // is taken from it.
    void theProtectionKeyDialogTakesOnlyHex_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("status");
        QTest::newRow("hex with blanks") << "01 02 a0" << 1 << "0102A0" + QString(26, u'0') << "";
        // The card's default key, open to anyone.
        const QString open = "Ein leerer Schlüssel oder einer aus lauter Nullen ist der offene "
                             "Standardschlüssel und schützt nicht";
        QTest::newRow("empty") << "" << 0 << QString(32, u'0') << open;
        QTest::newRow("zeros") << "00 00 00" << 0 << QString(32, u'0') << open;
        QTest::newRow("a password") << "Passwort" << 0 << QString(32, u'0')
                                    << "Schlüsselwert ist nicht hexadezimal";
        QTest::newRow("hex after a letter that is none")
            << "zz01" << 0 << QString(32, u'0') << "Schlüsselwert ist nicht hexadezimal";
        QTest::newRow("groups of four digits")
            << "0011 2233 4455 6677 8899 AABB CCDD EEFF" << 1 << "00112233445566778899AABBCCDDEEFF"
            << "";
        QTest::newRow("a group of odd length")
            << "0011 22334 4556" << 0 << QString(32, u'0') << "Schlüsselwert ist nicht hexadezimal";
        QTest::newRow("34 digits") << "00112233445566778899AABBCCDDEEFF01" << 0 << QString(32, u'0')
                                   << "Schlüsselwert ist nicht hexadezimal";
        // Pasted from a table or a document: tabs and no-break blanks part the groups.
        QTest::newRow("pasted with tabs and no-break blanks")
            << u"\t0011\t2233\u00A04455 \u00A0 66\t"_qs << 1 << "00112233445566" + QString(18, u'0') << "";
        QTest::newRow("pasted with colons")
            << "00:11:22" << 0 << QString(32, u'0') << "Schlüsselwert ist nicht hexadezimal";
    }
    // Each key field shows a whole key however it is typed, from its first digit.
    void keyFieldsShowAWholeKey() {
        CSetDesfireKeysDlg protection(7);
        CMasterkeyAuthentDlg master(7, 0, true);
        CNeuerSchluesselDlg entry;
        for (QDialog* dialog : std::initializer_list<QDialog*>{&protection, &master, &entry}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog, 2000));
            auto* key = ControlById<QLineEdit>(*dialog, dialog == &protection ? 1275 : 1272);
            for (const QString& text : {QStringLiteral("00112233445566778899AABBCCDDEEFF"),
                                        QStringLiteral("0011 2233 4455 6677 8899 AABB CCDD EEFF"),
                                        QStringLiteral("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF")}) {
                key->setText(text);
                key->setCursorPosition(int(text.size())); // a text too long scrolls its start away
                key->repaint();                           // the scrolling is settled in the paint
                QVERIFY2(key->cursorPositionAt(QPoint(4, key->height() / 2)) == 0,
                         qPrintable(dialog->objectName() + ": " + text));
            }
        }
    }

    void theProtectionKeyDialogTakesOnlyHex() {
        QFETCH(QString, typed);
        QFETCH(int, result);
        QFETCH(QString, key);
        QFETCH(QString, status);
        CSetDesfireKeysDlg dialog(7);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, 2000));
        if (typed.contains(u'\t')) {
            // A tab key moves the focus: a tab comes in only with a paste.
            QGuiApplication::clipboard()->setText(typed);
            dialog.KeyEdit()->paste();
            QCOMPARE(dialog.KeyEdit()->text(), typed);
        } else {
            QTest::keyClicks(dialog.KeyEdit(), typed);
        }
        Click(dialog, 1274);
        QCOMPARE(dialog.result(), result);
        QCOMPARE(dialog.isVisible(), result == 0);
        QCOMPARE(KeyToText(dialog.KeyBytes), key);
        QCOMPARE(dialog.StatusEdit()->text(), status);
    }

    // A save that cannot be written (here the settings folder is a file) is told in
    // the dialog: the new entry stays open, "Löschen" says it did not delete; the
    // store stays as it was.
    void aFailedSaveIsTold() {
        StoreKeys({"a=" + kKeyA});
        CKeyStoreDlg store;
        store.show();
        const QString folder = QFileInfo(ProfileSettings::FilePath()).absolutePath();
        QVERIFY(QDir().rename(folder, folder + ".away"));
        {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        CNeuerSchluesselDlg entry;
        entry.show();
        entry.NameEdit()->setText("neu");
        entry.KeyEdit()->setText("01");
        Click(entry, 1);
        QVERIFY(entry.isVisible());
        QCOMPARE(entry.result(), 0);
        QCOMPARE(ControlById<QLineEdit>(entry, 1268)->text(), KeyStoreNotSavedText());
        store.List()->SelectRow(0);
        Click(store, 1262);
        QCOMPARE(store.StatusEdit()->text(), KeyStoreNotSavedText());
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(folder + ".away", folder));
        QCOMPARE(StoredKeys(), QStringList{"a=" + kKeyA});
    }
};

QTEST_MAIN(KeyDialogsTest)
#include "KeyDialogsTest.moc"
