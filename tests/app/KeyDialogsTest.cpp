// The key dialogs: the key store list (rows, column widths, delete, new entry, taking
// a key by "Laden" or double click), the new-entry checks, the master-key and
// protection-key dialogs' forms and results; then the engine asking through them on
// a scripted tag that needs a key, and the lock form's protection rows against the
// simulated reader.
#include "EngineTestSupport.h"
#include "KeyDialogTestSupport.h"
#include "app/CommandIds.h"
#include "app/KeyStore.h"
#include "app/ProfileSettings.h"
#include "forms/EditableListCtrl.h"
#include "forms/KeyDialogPrompt.h"
#include "forms/KeyStoreDlg.h"
#include "forms/MasterkeyAuthentDlg.h"
#include "forms/NeuerSchluesselDlg.h"
#include "forms/SetDesfireKeysDlg.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using kqtest::ControlById;
using kqtest::KeyAnswer;

namespace {

const QString kKeyA = QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
const QString kKeyB = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
const QString kKeyC = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
const QString kCardMasterLabel = QStringLiteral("Hauptschlüssel der Karte (0-16 Byte, Auffüllung mit 0):");
const QString kAppMasterLabel =
    QStringLiteral("Hauptschlüssel der NFC-Applikation (0-16 Byte, Auffüllung mit 0):");
const QString kProtectionLabel = QStringLiteral("Schlüssel für den Schutz (0-16 Byte, Auffüllung mit 0):");

QStringList StoredKeys() {
    CKeyStoreItemList list;
    list.Load();
    QStringList keys;
    for (const CKeyStoreItem& item : list.Items)
        keys << item.Name + '=' + item.Value;
    return keys;
}

QStringList Rows(const CEditableListCtrl& list) {
    QStringList rows;
    for (int row = 0; row < list.rowCount(); ++row)
        rows << list.item(row, 0)->text() + '=' + list.item(row, 1)->text();
    return rows;
}

QVariant Stored(const QString& key) {
    QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
    return raw.value(key);
}

void Click(const QWidget& dialog, int id) {
    QPushButton* button = ControlById<QPushButton>(dialog, id);
    QVERIFY2(button, qPrintable(QString::number(id)));
    button->click();
}

// Drags row `from` of the list below its last row.
void DragToTheEnd(CEditableListCtrl& list, int from) {
    QWidget* viewport = list.viewport();
    const QPoint start = list.visualRect(list.model()->index(from, 0)).center();
    const QPoint end(start.x(), viewport->height() - 3);
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QTest::mouseMove(viewport, start + QPoint(0, 20));
    QTest::mouseMove(viewport, end);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
}

} // namespace

class KeyDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(ProfileSettings::FilePath()); }

    // The store's keys in its order under "Name" and "Wert"; column widths from
    // "DesfireKeyListCtrl" and stored again by "Schließen"; nothing is
    // edited in place.
    void theStoreListShowsTheKeysAndKeepsItsColumnWidths() {
        kqtest::StoreKeys({"Büro=" + kKeyA, "Lager=" + kKeyB});
        ProfileSettings::WriteInt("DesfireKeyListCtrl", "Breite0", 150);
        CKeyStoreLoadDlg dialog;
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Schlüssel laden"));
        CEditableListCtrl* list = dialog.List();
        QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Name"));
        QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("Wert"));
        QCOMPARE(Rows(*list), QStringList({"Büro=" + kKeyA, "Lager=" + kKeyB}));
        QCOMPARE(list->columnWidth(0), 150);
        // "Wert" without a stored width shows a whole key.
        QVERIFY(list->columnWidth(1) >= list->fontMetrics().horizontalAdvance(kKeyA));
        QVERIFY(ControlById<QPushButton>(dialog, 1267)->isDefault());
        QVERIFY(ControlById<QLineEdit>(dialog, 1265)->isReadOnly());
        QCOMPARE(list->MaxChars(0) + list->MaxChars(1), 0);
        QVERIFY(!list->EditCell(0, 0, 1));

        list->setColumnWidth(0, 120);
        list->setColumnWidth(1, 260);
        Click(dialog, 2);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(Stored("DesfireKeyListCtrl/Breite0").toInt(), 120);
        QCOMPARE(Stored("DesfireKeyListCtrl/Breite1").toInt(), 260);
    }

    // "Löschen" deletes the key of the selected row, also after the rows were dragged
    // into another order (the row's own key, not the one at its index in the store);
    // without a selection only status 203.
    void deleteTakesTheSelectedRowsKey_data() {
        QTest::addColumn<QStringList>("store");
        QTest::addColumn<int>("dragToTheEnd"); // -1 no drag
        QTest::addColumn<int>("selected");     // -1 none
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("status");
        const QString a = "a=" + kKeyA, b = "b=" + kKeyB, c = "c=" + kKeyC;
        QTest::newRow("no selection") << QStringList{a, b} << -1 << -1 << QStringList{a, b}
                                      << "Bitte in der Liste einen Schlüssel selektieren";
        QTest::newRow("second row") << QStringList{a, b, c} << -1 << 1 << QStringList{a, c} << "Löschen erfolgreich";
        QTest::newRow("after a drag") << QStringList{a, b, c} << 0 << 2 << QStringList{b, c} << "Löschen erfolgreich";
        QTest::newRow("after a drag, first row")
            << QStringList{a, b, c} << 0 << 0 << QStringList{a, c} << "Löschen erfolgreich";
        QTest::newRow("the only key") << QStringList{a} << -1 << 0 << QStringList{} << "Löschen erfolgreich";
    }
    void deleteTakesTheSelectedRowsKey() {
        QFETCH(QStringList, store);
        QFETCH(int, dragToTheEnd);
        QFETCH(int, selected);
        QFETCH(QStringList, left);
        QFETCH(QString, status);
        kqtest::StoreKeys(store);
        CKeyStoreLoadDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, 2000));
        if (dragToTheEnd >= 0) {
            DragToTheEnd(*dialog.List(), dragToTheEnd);
            QVERIFY(Rows(*dialog.List()) != store);
        }
        if (selected >= 0) dialog.List()->SelectRow(selected);
        Click(dialog, 1262);
        QCOMPARE(dialog.StatusEdit()->text(), status);
        QCOMPARE(StoredKeys(), left);
        QCOMPARE(Rows(*dialog.List()), left);
        QVERIFY(dialog.isVisible());
        if (left.isEmpty()) {
            QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
            QVERIFY(!raw.childGroups().contains("DesfireKeyStore"));
        }
    }

    // "Anlegen" opens the new entry; OK shows status 204 and the new row, Cancel 159.
    void newEntryFromTheStoreList() {
        kqtest::StoreKeys({"a=" + kKeyA});
        CKeyStoreLoadDlg dialog;
        int answer = 0;
        kqtest::ModalWatcher watcher([&answer](QWidget* modal) {
            auto* entry = qobject_cast<CNeuerSchluesselDlg*>(modal);
            if (!entry) return false;
            if (answer++ > 0) return false; // the second is cancelled
            entry->NameEdit()->setText("neu");
            entry->KeyEdit()->setText("01 02");
            QMetaObject::invokeMethod(entry, [entry] { Click(*entry, 1); }, Qt::QueuedConnection);
            return true;
        });
        Click(dialog, 1261);
        QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Operation erfolgreich"));
        const QString added = "neu=0102" + QString(28, u'0');
        QCOMPARE(Rows(*dialog.List()), QStringList({"a=" + kKeyA, added}));
        Click(dialog, 1261);
        QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Abgebrochen"));
        QCOMPARE(StoredKeys(), QStringList({"a=" + kKeyA, added}));
        QCOMPARE(watcher.seen, QStringList({"CNeuerSchluesselDlg", "CNeuerSchluesselDlg"}));
    }

    // "Laden" with a selected row, or a double click on a row, ends with OK and that
    // row's value (also after a drag) and keeps the column widths; "Laden" without a
    // selection only shows status 203.
    void aKeyIsTakenFromTheStore_data() {
        QTest::addColumn<int>("how"); // KeyAnswer::LoadButton or DoubleClick
        QTest::addColumn<bool>("drag");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("value");
        QTest::newRow("Laden") << int(KeyAnswer::LoadButton) << false << 1 << kKeyB;
        QTest::newRow("Laden after a drag") << int(KeyAnswer::LoadButton) << true << 2 << kKeyA;
        QTest::newRow("double click") << int(KeyAnswer::DoubleClick) << false << 0 << kKeyA;
        QTest::newRow("Laden without a selection") << int(KeyAnswer::LoadButton) << false << -1 << QString();
    }
    void aKeyIsTakenFromTheStore() {
        QFETCH(int, how);
        QFETCH(bool, drag);
        QFETCH(int, row);
        QFETCH(QString, value);
        kqtest::StoreKeys({"a=" + kKeyA, "b=" + kKeyB, "c=" + kKeyC});
        CKeyStoreLoadDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog, 2000));
        CEditableListCtrl* list = dialog.List();
        if (drag) DragToTheEnd(*list, 0);
        list->setColumnWidth(0, 90);
        if (how == KeyAnswer::DoubleClick) {
            // As a window system delivers it: a click, then the second press as a double click.
            const QPoint center = list->visualRect(list->model()->index(row, 0)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, center);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, center);
        } else {
            list->SelectRow(row);
            Click(dialog, 1267);
        }
        QCOMPARE(dialog.SelectedValue, value);
        if (value.isEmpty()) {
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.StatusEdit()->text(), QStringLiteral("Bitte in der Liste einen Schlüssel selektieren"));
            return;
        }
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("DesfireKeyListCtrl/Breite0").toInt(), 90);
    }

    // The new entry's checks and what it stores: the key as 32 hex digits; an existing
    // name (trailing blanks aside, letter case counting) is overwritten after question
    // 163 answered Yes, and left as it was after No.
    void newEntryChecksAndStores_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("answer"); // to the question, 0 when none is expected
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("stored");
        const QString office = "Büro=" + kKeyA;
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        QTest::newRow("no name") << "" << "01" << 0 << "Es sind nicht alle Felder gefüllt " << false << QStringList{office};
        QTest::newRow("not hex") << "neu" << "12G4" << 0 << "Schlüsselwert ist nicht hexadezimal" << false
                                 << QStringList{office};
        QTest::newRow("not Latin-1") << "neu" << "12€4" << 0 << "Schlüsselwert ist nicht hexadezimal" << false
                                     << QStringList{office};
        QTest::newRow("3 bytes, padded") << "neu" << "a1b2c3" << 0 << " " << true
                                         << QStringList{office, "neu=A1B2C3" + QString(26, u'0')};
        QTest::newRow("empty key") << "neu" << "" << 0 << " " << true << QStringList{office, "neu=" + QString(32, u'0')};
        QTest::newRow("20 bytes, cut") << "neu" << kKeyB + "01020304" << 0 << " " << true
                                       << QStringList{office, "neu=" + kKeyB};
        QTest::newRow("same name, Yes") << "Büro  " << kKeyB << yes << " " << true << QStringList{"Büro=" + kKeyB};
        QTest::newRow("same name, No") << "Büro" << kKeyB << no << " " << false << QStringList{office};
        QTest::newRow("other case is another name")
            << "büro" << kKeyB << 0 << " " << true << QStringList{office, "büro=" + kKeyB};
    }
    void newEntryChecksAndStores() {
        QFETCH(QString, name);
        QFETCH(QString, key);
        QFETCH(int, answer);
        QFETCH(QString, status);
        QFETCH(bool, accepted);
        QFETCH(QStringList, stored);
        kqtest::StoreKeys({"Büro=" + kKeyA});
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
        // A stale status is replaced by what this OK says.
        dialog.StatusEdit()->setText("alt");
        Click(dialog, 1);
        if (answer != 0) {
            QTRY_COMPARE_WITH_TIMEOUT(questions.size(), 1, 5000);
            QCOMPARE(questions[0],
                     QStringLiteral("Ein Schlüssel mit diesem Namen ist bereits vorhanden. Überschreiben ?"));
        }
        QCOMPARE(questions.size(), answer != 0 ? 1 : 0);
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(dialog.StatusEdit()->text(), status);
        QCOMPARE(StoredKeys(), stored);
    }

    // The master-key dialog's two forms and its label for the NFC application's key;
    // "Verwenden" ends with 1 and the typed key as 16 bytes (not checked for hex).
    void theMasterKeyDialogsForms_data() {
        QTest::addColumn<int>("keyNumber");
        QTest::addColumn<bool>("authentication");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::newRow("card, authentication") << 0 << true << "Authentifizierung" << kCardMasterLabel << "0102"
                                              << "0102" + QString(28, u'0');
        QTest::newRow("application, authentication")
            << 1 << true << "Authentifizierung" << kAppMasterLabel << kKeyA << kKeyA;
        QTest::newRow("application, write-protected")
            << 1 << false << "Transponder ist schreibgeschützt" << kAppMasterLabel << "" << QString(32, u'0');
        QTest::newRow("card, write-protected, text not hex")
            << 0 << false << "Transponder ist schreibgeschützt" << kCardMasterLabel << "zz01"
            << "0001" + QString(28, u'0'); // a character that is no digit counts as 0
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
        QCOMPARE(note != nullptr, !authentication);
        if (note)
            QCOMPARE(note->text(), QStringLiteral("Transponder ist schreibgeschützt. Ein Überschreiben ist höchstens "
                                                  "möglich, wenn der Hauptschlüssel der Karte bekannt ist."));
        QCOMPARE(QApplication::focusWidget(), dialog.KeyEdit());
        QVERIFY(ControlById<QPushButton>(dialog, 1260)->isDefault());
        dialog.StatusEdit()->setText("alt");
        QTest::keyClicks(dialog.KeyEdit(), typed);
        QTest::keyClick(dialog.KeyEdit(), Qt::Key_Return); // the default button
        QCOMPARE(dialog.result(), 1);
        QCOMPARE(KeyToText(dialog.KeyBytes), key);
        QCOMPARE(dialog.StatusEdit()->text(), QString());
    }

    // "Laden" of both key dialogs: the key taken goes into the key field with status
    // 162; a cancelled store dialog shows 159 and leaves the field. "Setzen" ends the
    // protection-key dialog with 1 and the key.
    void theKeyDialogsLoadFromTheStore_data() {
        QTest::addColumn<bool>("master");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("master key") << true << false;
        QTest::newRow("master key, cancelled") << true << true;
        QTest::newRow("protection key") << false << false;
        QTest::newRow("protection key, cancelled") << false << true;
    }
    void theKeyDialogsLoadFromTheStore() {
        QFETCH(bool, master);
        QFETCH(bool, cancel);
        kqtest::StoreKeys({"a=" + kKeyA, "b=" + kKeyB});
        std::unique_ptr<QDialog> dialog;
        if (master)
            dialog = std::make_unique<CMasterkeyAuthentDlg>(7, 0, true);
        else
            dialog = std::make_unique<CSetDesfireKeysDlg>(7);
        dialog->show();
        auto* edit = ControlById<QLineEdit>(*dialog, master ? 1272 : 1275);
        auto* status = ControlById<QLineEdit>(*dialog, 1268);
        QVERIFY(edit && status);
        QVERIFY(status->isReadOnly());
        edit->setText("11");
        kqtest::ModalWatcher watcher([cancel](QWidget* modal) {
            auto* store = qobject_cast<CKeyStoreLoadDlg*>(modal);
            if (!store || cancel) return false;
            store->List()->SelectRow(1);
            QMetaObject::invokeMethod(store, [store] { Click(*store, 1267); }, Qt::QueuedConnection);
            return true;
        });
        Click(*dialog, 1267);
        QCOMPARE(watcher.seen, QStringList({"CKeyStoreLoadDlg"}));
        QCOMPARE(edit->text(), cancel ? QStringLiteral("11") : kKeyB);
        QCOMPARE(status->text(), cancel ? QStringLiteral("Abgebrochen") : QStringLiteral("Schlüsselwert geladen"));
        QVERIFY(dialog->isVisible());
        if (master) return;
        auto* protection = static_cast<CSetDesfireKeysDlg*>(dialog.get());
        QCOMPARE(protection->windowTitle(), QStringLiteral("Passwort setzen"));
        QCOMPARE(ControlById<QLabel>(*protection, 1263)->text(), kProtectionLabel);
        QVERIFY(ControlById<QPushButton>(*protection, 1274)->isDefault());
        Click(*protection, 1274);
        QCOMPARE(protection->result(), 1);
        QCOMPARE(KeyToText(protection->KeyBytes), cancel ? "11" + QString(30, u'0') : kKeyB);
    }

    // The engine asks through the key dialogs when a tag refuses it for want of a key:
    // a write asks for the NFC application's master key. Cancelled: (1, 10) and no
    // further try. The right key, typed or taken from the store, writes, and the next
    // write (the next tag with the same key) finds it without asking again.
    void theEngineAsksThroughTheKeyDialogs_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("written");
        QTest::newRow("cancelled") << int(KeyAnswer::Cancel) << QString() << false;
        QTest::newRow("typed") << int(KeyAnswer::Type) << kKeyB.toLower() << true;
        QTest::newRow("taken by Laden") << int(KeyAnswer::LoadButton) << QString() << true;
        QTest::newRow("taken by a double click") << int(KeyAnswer::DoubleClick) << QString() << true;
        QTest::newRow("wrong key") << int(KeyAnswer::Type) << kKeyA << false;
    }
    void theEngineAsksThroughTheKeyDialogs() {
        QFETCH(int, how);
        QFETCH(QString, typed);
        QFETCH(bool, written);
        ProfileSettings::WriteString("Port", "Name", "/dev/ttyUSB0");
        kqtest::StoreKeys({"a=" + kKeyA, "b=" + kKeyB});
        kqtest::EngineRig rig(std::make_unique<kqtest::FakeReaderApi>());
        rig.engine->SetKeyPrompt(std::make_unique<CKeyDialogPrompt>());
        const std::string keyHex = kKeyB.toStdString();
        static_cast<kqtest::FakeReaderApi*>(rig.inner)->tag = kqtest::Requires({{"Write", keyHex}}, 0x20007);
        kqtest::KeyDialogAnswerer answerer;
        answerer.answers = {{KeyAnswer::How(how), typed, 1}};

        QCOMPARE(rig.engine->WriteText("Hallo", false), written);
        QCOMPARE(answerer.asked, QStringList({"CMasterkeyAuthentDlg|Authentifizierung|" + kAppMasterLabel}));
        const bool cancelled = how == KeyAnswer::Cancel;
        // A wrong key leaves the tag's own answer: the application's authentication failed.
        QCOMPARE(rig.Result(), written ? std::make_pair(0, 2) : std::make_pair(1, cancelled ? 10 : 32));
        const QStringList writes = rig.log.filter("WriteTag");
        QCOMPARE(writes.size(), cancelled ? 1 : 2);
        if (!written) return;
        QVERIFY2(writes.last().contains("key=" + kKeyB + ","), qPrintable(writes.last()));

        // The next tag, with the same key: its first try fails, the cached key opens it.
        QVERIFY(rig.engine->WriteText("Hallo", false));
        QCOMPARE(answerer.asked.size(), 1);
        const QStringList again = rig.log.filter("WriteTag").mid(2);
        QCOMPARE(again.size(), 2);
        QVERIFY2(again[0].contains("key=none") && again[1].contains("key=" + kKeyB + ","), qPrintable(again.join(' ')));
    }

    // Protecting a tag asks for the new key first, then (when the tag wants it) for the
    // card's master key; the new key goes to the tag as typed. Cancelling the new key
    // gives (1, 10) without a word to the tag.
    void protectingATagAsksForTheNewKey() {
        ProfileSettings::WriteString("Port", "Name", "/dev/ttyUSB0");
        kqtest::EngineRig rig(std::make_unique<kqtest::FakeReaderApi>());
        rig.engine->SetKeyPrompt(std::make_unique<CKeyDialogPrompt>());
        static_cast<kqtest::FakeReaderApi*>(rig.inner)->tag =
            kqtest::Requires({{"ChangeKey", kKeyC.toStdString()}}, 0x20006);
        kqtest::KeyDialogAnswerer answerer;
        answerer.answers = {{KeyAnswer::Cancel, {}, 0}};
        QVERIFY(!rig.engine->SetPassword(1));
        QCOMPARE(rig.Result(), std::make_pair(1, 10));
        QCOMPARE(rig.log.filter("ChangeTagKey").size(), 0);

        answerer.answers = {{KeyAnswer::Type, "0102", 0}, {KeyAnswer::Type, kKeyC, 0}};
        QVERIFY(rig.engine->SetPassword(1));
        QCOMPARE(rig.Result(), std::make_pair(0, 5));
        QCOMPARE(answerer.asked,
                 QStringList({"CSetDesfireKeysDlg|Passwort setzen|" + kProtectionLabel,
                              "CSetDesfireKeysDlg|Passwort setzen|" + kProtectionLabel,
                              "CMasterkeyAuthentDlg|Authentifizierung|" + kCardMasterLabel}));
        const QString newKey = "0102" + QString(28, u'0');
        QCOMPARE(rig.log.filter("ChangeTagKey"),
                 QStringList({"ChangeTagKey(1,cur=none,new=" + newKey + ")",
                              "ChangeTagKey(1,cur=" + kKeyC + ",new=" + newKey + ")"}));
    }

    // The lock form's two protection rows ask for the new key with the protection-key
    // dialog and hand it to the reader; against a Type 2 tag the reader refuses a key
    // change, which is shown; a cancelled dialog shows "Abgebrochen".
    void theLockFormsProtectionRowsAskForTheKey_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("configuration, cancelled") << 1002 << true;
        QTest::newRow("configuration") << 1002 << false;
        QTest::newRow("configuration and data") << 1006 << false;
    }
    void theLockFormsProtectionRowsAskForTheKey() {
        QFETCH(int, button);
        QFETCH(bool, cancel);
        kqtest::FrameBench bench;
        bench.sim().placeTag(kqtest::BlankNtag213(1));
        const size_t framesBefore = bench.reader.LogSize();
        kqtest::KeyDialogAnswerer answerer;
        if (!cancel) answerer.answers = {{KeyAnswer::Type, kKeyA, 0}};
        bench.frame->Action(IdLock)->trigger();
        auto* row = ControlById<QPushButton>(*bench.frame->ActiveView(), button);
        QVERIFY(row && row->isVisibleTo(bench.frame->ActiveView()));
        row->click();
        QCOMPARE(answerer.asked, QStringList({"CSetDesfireKeysDlg|Passwort setzen|" + kProtectionLabel}));
        if (cancel) {
            QCOMPARE(bench.frame->StatusText(), QStringLiteral("Abgebrochen"));
            QCOMPARE(bench.reader.LogSize(), framesBefore); // the tag was not touched
        } else {
            QVERIFY(bench.reader.LogSize() > framesBefore);
            // The reader's answer today: a key change is for DESFire tags only.
            QCOMPARE(bench.frame->StatusText(), QStringLiteral("Der Transponder ist nicht vom Typ DESFire"));
        }
    }
};

QTEST_MAIN(KeyDialogsTest)
#include "KeyDialogsTest.moc"
