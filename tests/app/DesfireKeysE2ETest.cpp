// DESFire keys end to end, in the program's main window against the simulated reader
// with simulated DESFire EV1 cards: the lock form protects a card's configuration and
// data with a key given in the protection-key dialog (cancelled: the card keeps its
// keys); the card then refuses a write until the master-key dialog gives that key
// (cancelled: "Abgebrochen", the card untouched); the key typed, taken by "Laden" or
// by a double click in the key store, writes; and the next card protected with the
// same key is written without asking.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/KeyStore.h"
#include "forms/EditableListCtrl.h"
#include "forms/KeyStoreDlg.h"
#include "forms/MasterkeyAuthentDlg.h"
#include "forms/NeuerSchluesselDlg.h"
#include "forms/RecordFormView.h"
#include "forms/SetDesfireKeysDlg.h"
#include "kqlmx.h"
#include "sim/DesfireCard.h"
#include "sim/IsoDepTag.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <deque>

using kqtest::ControlById;

namespace {

// Answers the master-key and protection-key dialogs as a user would: by typing a key,
// by taking one from the key store ("Laden" on a selected row, or a double click on
// it), or by cancelling.
struct KeyAnswer {
    enum How { Cancel, Type, LoadButton, DoubleClick };
    How how = Cancel;
    QString text; // the key typed (Type)
    int row = 0;  // the key store's row taken (LoadButton, DoubleClick)
};

// Answers each key dialog with the next answer (none left: cancel), and the key store
// dialog opened from one as the answer says. Each key dialog is noted as
// "<object name>|<title>|<label 1263>".
class KeyDialogAnswerer {
public:
    KeyDialogAnswerer() : m_watcher([this](QWidget* modal) { return Answer(modal); }) {}
    std::deque<KeyAnswer> answers;
    QStringList asked;
    QStringList refused; // the status of a key dialog that stayed open; it is then cancelled

private:
    bool Answer(QWidget* modal);

    KeyAnswer m_storeAnswer;
    kqtest::ModalWatcher m_watcher;
};

bool KeyDialogAnswerer::Answer(QWidget* modal) {
    if (auto* store = qobject_cast<CKeyStoreLoadDlg*>(modal)) {
        const KeyAnswer answer = m_storeAnswer;
        QPointer<CKeyStoreLoadDlg> dialog(store);
        QMetaObject::invokeMethod(
            store,
            [dialog, answer] {
                if (!dialog) return;
                CEditableListCtrl* list = dialog->List();
                if (answer.how == KeyAnswer::DoubleClick) {
                    // A click, then the second press as a double click.
                    const QPoint row = list->visualRect(list->model()->index(answer.row, 0)).center();
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
                    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
                } else {
                    list->SelectRow(answer.row);
                    ControlById<QPushButton>(*dialog, 1267)->click();
                }
            },
            Qt::QueuedConnection);
        return true;
    }
    const bool master = qobject_cast<CMasterkeyAuthentDlg*>(modal);
    if (!master && !qobject_cast<CSetDesfireKeysDlg*>(modal)) return false;
    auto* label = ControlById<QLabel>(*modal, 1263);
    asked << modal->objectName() + '|' + modal->windowTitle() + '|' + (label ? label->text() : QString());
    KeyAnswer answer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    m_storeAnswer = answer;
    QPointer<QDialog> dialog(qobject_cast<QDialog*>(modal));
    QMetaObject::invokeMethod(
        modal,
        [this, dialog, answer, master] {
            if (!dialog) return;
            if (answer.how == KeyAnswer::Cancel) {
                dialog->reject();
                return;
            }
            if (answer.how == KeyAnswer::Type)
                ControlById<QLineEdit>(*dialog, master ? 1272 : 1275)->setText(answer.text);
            else
                ControlById<QPushButton>(*dialog, 1267)->click(); // returns once the store dialog is closed
            ControlById<QPushButton>(*dialog, master ? 1260 : 1274)->click();
            if (dialog && dialog->isVisible()) {
                refused << ControlById<QLineEdit>(*dialog, 1268)->text();
                dialog->reject();
            }
        },
        Qt::QueuedConnection);
    return true;
}

// Stores keys "name=value" in the key store, in this order.
void StoreKeys(const QStringList& entries) {
    CKeyStoreItemList list;
    for (const QString& entry : entries)
        list.Items.push_back({entry.section('=', 0, 0), entry.section('=', 1)});
    list.Save();
}

const QString kKey = QStringLiteral("0F1E2D3C4B5A69788796A5B4C3D2E1F0");
const QString kAppMasterKeyDialog =
    QStringLiteral("CMasterkeyAuthentDlg|Authentifizierung|Hauptschlüssel der NFC-Applikation (0-16 Byte, "
                   "Auffüllung mit 0):");
const QString kProtectionKeyDialog = QStringLiteral(
    "CSetDesfireKeysDlg|Passwort setzen|Schlüssel für den Schutz (0-16 Byte, Auffüllung mit 0):");

kqsim::Bytes KeyBytes(const QString& hex) {
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    return kqsim::Bytes(bytes.begin(), bytes.end());
}

// A blank card (master key 16 zero bytes) under the UID 04 5E 1F 72 3A 5C <n>.
kqsim::TagId PlaceBlankCard(kqtest::FrameBench& bench, std::uint8_t n, kqsim::DesfireCard*& model) {
    auto card = std::make_unique<kqsim::DesfireCard>();
    model = card.get();
    return bench.sim().placeTag(std::make_unique<kqsim::IsoDepTag>(
        kqsim::Bytes{0x04, 0x5E, 0x1F, 0x72, 0x3A, 0x5C, n}, std::move(card)));
}

// The text form's "Schreiben" with `text`; the status text it leaves.
QString WriteText(kqtest::FrameBench& bench, const QString& text) {
    CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
    if (!form) return QStringLiteral("no text form");
    kqtest::FillFields(*form, {text});
    kqtest::ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
    return bench.frame->StatusText();
}

// The lock form's "configuration and data" row.
QString ProtectConfigurationAndData(kqtest::FrameBench& bench) {
    bench.frame->Action(IdLock)->trigger();
    kqtest::ControlById<QPushButton>(*bench.frame->ActiveView(), 1006)->click();
    return bench.frame->StatusText();
}

// The NDEF file of the card's NFC application as hex: NLEN and the message after it.
QString NdefFile(kqtest::FrameBench& bench, kqsim::TagId tag, kqsim::DesfireCard* model) {
    QString hex = QStringLiteral("none");
    bench.sim().withTag(tag, [&](kqsim::Tag&) {
        kqsim::DesfireCard::Application* app = model->application(1);
        if (!app || !app->file(2)) return;
        const kqsim::Bytes& data = app->file(2)->data;
        const size_t length =
            data.size() < 2 ? 0 : std::min(data.size(), size_t(2 + (data[0] << 8 | data[1])));
        hex = QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(length)).toHex(' ').toUpper();
    });
    return hex;
}

// A text record alone in its message (UTF-8, language "en") behind its NLEN, as hex.
QString TextFile(const QByteArray& text) {
    const QByteArray record = kqtest::TextRecord(text);
    const QByteArray nlen = QByteArray::fromHex(QByteArray::number(0x10000 + record.size(), 16).mid(1));
    return (nlen + record).toHex(' ').toUpper();
}

} // namespace

class DesfireKeysE2ETest : public QObject {
    Q_OBJECT
private slots:
    // A key typed in groups is the bytes of its groups, in every key dialog: the
    // protection key set from the lock form, typed or stored in the key store and
    // taken by "Laden", is the card's key; the master key so typed opens the card.
    // A text that reads no single way is refused in the dialog and the card keeps
    // its key. The key is checked in the card and through the reader library.
    void aKeyTypedInGroupsIsTheKeyOnTheCard_data() {
        QTest::addColumn<QString>("dialog"); // "protection", "key store", "master key"
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("cardKey"); // hex of the key the card holds after it
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("refused");
        const QString grouped = QStringLiteral("0F1E 2D3C 4B5A 6978 8796 A5B4 C3D2 E1F0");
        const QString notHex = QStringLiteral("Schlüsselwert ist nicht hexadezimal");
        const QString protectedOk = QStringLiteral("Mit Passwort schützen erfolgreich !");
        QTest::newRow("protection key in groups of four")
            << "protection"
            << "0011 2233 4455 6677 8899 AABB CCDD EEFF"
            << "00112233445566778899AABBCCDDEEFF" << protectedOk << QStringList();
        QTest::newRow("protection key, packed, lone digits")
            << "protection"
            << "0011223344 5 6 7"
            << "00112233440506070000000000000000" << protectedOk << QStringList();
        QTest::newRow("protection key, a group of three")
            << "protection"
            << "0011 223 44" << QString(32, u'0') << "Abgebrochen" << QStringList{notHex};
        QTest::newRow("protection key of 34 digits")
            << "protection" << kKey + "01" << QString(32, u'0') << "Abgebrochen" << QStringList{notHex};
        QTest::newRow("key store entry in groups")
            << "key store"
            << "0011 2233 44"
            << "00112233440000000000000000000000" << protectedOk << QStringList();
        QTest::newRow("master key in groups")
            << "master key" << grouped << kKey << "Schreiben erfolgreich!" << QStringList();
        QTest::newRow("master key, a group of three")
            << "master key"
            << "0F1E2 D3C" << kKey << "Abgebrochen" << QStringList{notHex};
    }
    void aKeyTypedInGroupsIsTheKeyOnTheCard() {
        QFETCH(QString, dialog);
        QFETCH(QString, typed);
        QFETCH(QString, cardKey);
        QFETCH(QString, status);
        QFETCH(QStringList, refused);
        kqtest::FrameBench bench;
        KeyDialogAnswerer answerer;
        kqsim::DesfireCard* card = nullptr;
        const kqsim::TagId tag = PlaceBlankCard(bench, 1, card);
        QCOMPARE(WriteText(bench, "eins"), QStringLiteral("Schreiben erfolgreich!"));
        if (dialog == "master key") {
            answerer.answers = {{KeyAnswer::Type, kKey, 0}};
            QCOMPARE(ProtectConfigurationAndData(bench),
                     QStringLiteral("Mit Passwort schützen erfolgreich !"));
        }
        if (dialog == "key store") {
            CNeuerSchluesselDlg entry;
            entry.NameEdit()->setText("Lager");
            entry.KeyEdit()->setText(typed);
            ControlById<QPushButton>(entry, 1)->click();
            CKeyStoreItemList stored;
            stored.Load();
            QCOMPARE(stored.Items.size(), size_t(1));
            QCOMPARE(stored.Items[0].Value, cardKey);
            answerer.answers = {{KeyAnswer::LoadButton, {}, 0}};
        } else {
            answerer.answers.push_back({KeyAnswer::Type, typed, 0});
        }
        QCOMPARE(dialog == "master key" ? WriteText(bench, "zwei") : ProtectConfigurationAndData(bench),
                 status);
        QCOMPARE(answerer.refused, refused);
        QVERIFY(answerer.answers.empty());
        if (dialog == "master key")
            QCOMPARE(NdefFile(bench, tag, card), TextFile(status == "Abgebrochen" ? "eins" : "zwei"));
        // Through the reader library, the key of the typed groups opens the card (it
        // sets the same key again); a key one key bit off does not (bit 0 of each DES
        // key byte is parity, not key).
        bench.doc.Engine().ClosePort();
        const int port = KQLMX_OpenPort(bench.reader.Path().toUtf8().constData(), 19200, 500);
        QVERIFY(port > 0);
        const kqsim::Bytes key = KeyBytes(cardKey);
        kqsim::Bytes other = key;
        other[15] ^= 0x80;
        // Only a key that was set is tried wrong: the default key is not the question here.
        if (key != kqsim::Bytes(16, 0))
            QVERIFY(KQLMX_ChangeTagKey(port, 1, other.data(), 16, other.data(), 16) != 0);
        QCOMPARE(KQLMX_ChangeTagKey(port, 1, key.data(), 16, key.data(), 16), 0);
        KQLMX_ClosePort(port);
        bench.sim().withTag(tag, [&](kqsim::Tag&) {
            QCOMPARE(card->card().keys[0].value, KeyBytes(cardKey));
            QCOMPARE(card->application(1)->keys[0].value, KeyBytes(cardKey));
        });
    }

    void aProtectedCardAsksForItsKey_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("key typed") << int(KeyAnswer::Type);
        QTest::newRow("key taken by Laden") << int(KeyAnswer::LoadButton);
        QTest::newRow("key taken by a double click") << int(KeyAnswer::DoubleClick);
    }
    void aProtectedCardAsksForItsKey() {
        QFETCH(int, how);
        kqtest::FrameBench bench;
        StoreKeys({"anderer=" + QString(32, u'1'), "Lager=" + kKey});
        KeyDialogAnswerer answerer;
        kqsim::DesfireCard* card = nullptr;
        const kqsim::TagId first = PlaceBlankCard(bench, 1, card);
        QCOMPARE(WriteText(bench, "eins"), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(answerer.asked, QStringList()); // the blank card's key is the default one

        // The protection key from the protection-key dialog goes onto the card; a
        // cancelled dialog leaves the card's keys as they were.
        answerer.answers = {{KeyAnswer::Cancel, {}, 0}, {KeyAnswer::Type, kKey.toLower(), 0}};
        QCOMPARE(ProtectConfigurationAndData(bench), QStringLiteral("Abgebrochen"));
        bench.sim().withTag(first,
                            [&](kqsim::Tag&) { QCOMPARE(card->card().keys[0].value, kqsim::Bytes(16, 0)); });
        QCOMPARE(ProtectConfigurationAndData(bench), QStringLiteral("Mit Passwort schützen erfolgreich !"));
        QCOMPARE(answerer.asked, QStringList({kProtectionKeyDialog, kProtectionKeyDialog}));
        bench.sim().withTag(first, [&](kqsim::Tag&) {
            QCOMPARE(card->application(1)->keys[0].value, KeyBytes(kKey));
            QCOMPARE(card->card().keys[0].value, KeyBytes(kKey));
        });

        // Now the card wants the key for a write: cancelled, it keeps its record.
        answerer.asked.clear();
        answerer.answers = {{KeyAnswer::Cancel, {}, 0}};
        QCOMPARE(WriteText(bench, "zwei"), QStringLiteral("Abgebrochen"));
        QCOMPARE(answerer.asked, QStringList({kAppMasterKeyDialog}));
        QCOMPARE(NdefFile(bench, first, card), TextFile("eins"));

        // The right key, given as the row says, writes.
        answerer.answers = {{KeyAnswer::How(how), kKey, 1}};
        QCOMPARE(WriteText(bench, "zwei"), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(answerer.asked, QStringList({kAppMasterKeyDialog, kAppMasterKeyDialog}));
        QCOMPARE(NdefFile(bench, first, card), TextFile("zwei"));

        // The next card, protected with the same key, is written with the key the
        // program kept: no further question.
        bench.sim().removeTag(first);
        kqsim::DesfireCard* next = nullptr;
        const kqsim::TagId second = PlaceBlankCard(bench, 2, next);
        QCOMPARE(WriteText(bench, "drei"), QStringLiteral("Schreiben erfolgreich!"));
        answerer.answers = {{KeyAnswer::Type, kKey, 0}};
        QCOMPARE(ProtectConfigurationAndData(bench), QStringLiteral("Mit Passwort schützen erfolgreich !"));
        answerer.asked.clear();
        QCOMPARE(WriteText(bench, "vier"), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(answerer.asked, QStringList());
        QCOMPARE(NdefFile(bench, second, next), TextFile("vier"));
        QVERIFY(answerer.answers.empty());
    }
};

QTEST_MAIN(DesfireKeysE2ETest)
#include "DesfireKeysE2ETest.moc"
