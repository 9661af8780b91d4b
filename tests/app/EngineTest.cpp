// The tag-operation engine against a scripted reader API: the port from the "Port"
// settings, wait mode around every operation on every path, the authentication
// retries with the key cache and the key prompt, the results, the close message and
// the beep pattern. Cases a real reader with a Type 2 tag cannot provoke (DESFire
// authentication errors, a refused close) live here; EngineE2ETest.cpp runs the same
// engine against the simulator.
#include "EngineTestSupport.h"
#include "app/NfcTagAccess.h"
#include "app/ProfileSettings.h"
#include "app/SystemToneSink.h"
#include "forms/KeyDialogPrompt.h"
#include "forms/SetDesfireKeysDlg.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <cstring>

using kqtest::CallLog;
using kqtest::KeyText;

namespace {

constexpr int kAuthCard = 0x20006;
constexpr int kAuthApp = 0x20007;
constexpr int kAuthNative = 0x100AE;
constexpr int kNoTag = 0x20001;
constexpr int kWriteProtected = 0x2000E;
constexpr char kRecord[] = R"({"TEXT":{"TITLE":"a"}})"; // 22 bytes

TagKey KeyOf(std::uint8_t fill) {
    TagKey key;
    key.fill(fill);
    return key;
}

QString Hex(const TagKey& key) {
    return QString::fromStdString(KeyText(key.data(), int(key.size())));
}

// Answers in place of the reader library. Tag calls answer through `tag` from the
// call's name and the key offered ("none" or hex).
class FakeReaderApi : public ReaderApi {
public:
    struct Answer {
        int result;
        int lastError;
    };
    using TagModel = std::function<Answer(const std::string& call, const std::string& key)>;

    int openAnswer = 7;
    int closeAnswer = 0;
    std::string readText;
    std::array<std::uint8_t, 8> uid{};
    TagModel tag = [](const std::string&, const std::string&) { return Answer{0, 0}; };

    int OpenPort(const char*, int, int) override { return openAnswer; }
    int ClosePort(int) override { return closeAnswer; }
    int GetLastError(int) override { return m_lastError; }
    int SetWaitMode(int, int) override { return 1; }
    int SetOutputs(int, int, int) override { return 0; }
    int FormatTag(int, const void* key, int keyLen) override { return Call("Format", key, keyLen); }
    int LockTag(int, const void* key, int keyLen) override { return Call("Lock", key, keyLen); }
    int ReadTag(int, char* buf, int len) override {
        const int result = Call("Read", nullptr, 0);
        if (result < 0) return result;
        if (static_cast<int>(readText.size()) + 1 > len) {
            m_lastError = 5; // the library's "buffer too small"
            return -1;
        }
        std::memcpy(buf, readText.c_str(), readText.size() + 1);
        return static_cast<int>(readText.size());
    }
    int GetTagUid(int, unsigned char* out, int) override {
        const int result = Call("Uid", nullptr, 0);
        if (result >= 0) std::memcpy(out, uid.data(), uid.size());
        return result < 0 ? result : 8;
    }
    int ChangeTagKey(int, int, const void* curKey, int curKeyLen, const void*, int) override {
        return Call("ChangeKey", curKey, curKeyLen);
    }
    int WriteTag(int, const char*, int, const void* key, int keyLen, int) override {
        return Call("Write", key, keyLen);
    }

private:
    int Call(const std::string& name, const void* key, int keyLen) {
        const Answer answer = tag(name, KeyText(key, keyLen));
        m_lastError = answer.lastError;
        return answer.result;
    }
    int m_lastError = 0;
};

// A tag that opens only with `key` (per call name), failing otherwise with `error`.
FakeReaderApi::TagModel Requires(std::map<std::string, std::string> keys, int error) {
    return [keys, error](const std::string& call, const std::string& key) {
        const auto it = keys.find(call);
        if (it == keys.end() || it->second == key) return FakeReaderApi::Answer{0, 0};
        return FakeReaderApi::Answer{-1, error};
    };
}

// An engine on a scripted reader.
struct Rig : kqtest::EngineRig {
    Rig() : EngineRig(std::make_unique<FakeReaderApi>()), api(static_cast<FakeReaderApi*>(inner)) {}
    FakeReaderApi* api;

    // The calls of the last operation: the log from `from` on.
    CallLog Since(qsizetype from) const { return log.mid(from); }
};

} // namespace

class EngineTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QFile::remove(ProfileSettings::FilePath());
        ProfileSettings::WriteString("Port", "Name", "/dev/ttyUSB0");
    }

    void opensThePortFromTheStoredSettingsOnce() {
        ProfileSettings::WriteInt("Port", "Adresse", 3);
        ProfileSettings::WriteInt("Port", "Baudrate", 9603);
        Rig rig;
        QVERIFY(rig.engine->PreparePort());
        QCOMPARE(rig.Result(), std::make_pair(0, 4));
        QVERIFY(rig.engine->PreparePort());
        // The time-out has its own default of 500 ms; the port stays open.
        QCOMPARE(rig.log, CallLog({"OpenPort(/dev/ttyUSB0:3,9603,500)"}));
    }

    void withoutAPortEveryOperationEndsWithNoConnectionAndNoWaitMode() {
        Rig rig;
        rig.api->openAnswer = -11;
        rig.prompt->protectionKeys = {KeyOf(0x55)};
        std::unique_ptr<CNfcTagData> item;
        std::array<std::uint8_t, 8> uid;
        uid.fill(0xEE);
        const std::pair<const char*, std::function<void()>> operations[] = {
            {"PreparePort", [&] { rig.engine->PreparePort(); }},
            {"ReadTag", [&] { rig.engine->ReadTag(item); }},
            {"ReadUid", [&] { rig.engine->ReadUid(uid); }},
            {"Format", [&] { rig.engine->Format(); }},
            {"Lock", [&] { rig.engine->Lock(); }},
            {"SetPassword", [&] { rig.engine->SetPassword(0); }},
            {"WriteText", [&] { rig.engine->WriteText("Hallo", false); }},
            {"WritePending", [&] { rig.engine->WritePending(); }},
        };
        for (const auto& [name, run] : operations) {
            rig.log.clear();
            run();
            QVERIFY2(rig.Result() == std::make_pair(1, 12), name);
            QVERIFY2(rig.log.size() == 1 && rig.log[0].startsWith("OpenPort("), name);
        }
        QVERIFY(!item);
        QCOMPARE(uid, (std::array<std::uint8_t, 8>{}));
    }

    // Every way through a keyed operation, for each of them: the result, the keys the
    // tag was offered, and wait mode once around it all.
    void keyedOperationsOnEveryPath_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("firstError"); // 0: the tag needs no key
        QTest::addColumn<bool>("cached");    // a key that worked before is known
        QTest::addColumn<int>("entered");    // 0 cancel, 1 the right key, 2 a wrong one, -1 not asked
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("keysOffered");

        const QString none = "none", good = Hex(KeyOf(0xC1)), bad = Hex(KeyOf(0xBB));
        for (const auto& [op, success, authError] :
             {std::tuple{"Format", 2, kAuthNative}, {"Lock", 3, kAuthCard}, {"Write", 2, kAuthApp}}) {
            const QByteArray tag(op);
            QTest::newRow(tag + " without key")
                << op << 0 << false << -1 << 0 << success << QStringList{none};
            QTest::newRow(tag + " no tag") << op << kNoTag << false << -1 << 1 << 13 << QStringList{none};
            QTest::newRow(tag + " known key")
                << op << authError << true << -1 << 0 << success << QStringList{none, good};
            QTest::newRow(tag + " cancelled")
                << op << authError << false << 0 << 1 << 10 << QStringList{none};
            QTest::newRow(tag + " typed key")
                << op << authError << false << 1 << 0 << success << QStringList{none, good};
            QTest::newRow(tag + " wrong typed key") << op << authError << false << 2 << 1
                                                    << (authError == kAuthNative ? 9
                                                        : authError == kAuthCard ? 31
                                                                                 : 32)
                                                    << QStringList{none, bad};
        }
    }

    void keyedOperationsOnEveryPath() {
        QFETCH(QString, operation);
        QFETCH(int, firstError);
        QFETCH(bool, cached);
        QFETCH(int, entered);
        QFETCH(int, state);
        QFETCH(int, index);
        QFETCH(QStringList, keysOffered);

        const std::string call = operation.toStdString();
        const std::string good = KeyText(KeyOf(0xC1).data(), 16);
        Rig rig;
        auto run = [&] {
            if (call == "Format") return rig.engine->Format();
            if (call == "Lock") return rig.engine->Lock();
            return rig.engine->WriteText("Hallo", false);
        };
        const int keyNumber = call == "Write" ? 1 : 0;
        if (cached) { // a first run leaves the key in the cache
            rig.api->tag = Requires({{call, good}}, firstError);
            rig.prompt->masterKeys = {KeyOf(0xC1)};
            QVERIFY(run());
            rig.prompt->questions.clear();
        }
        if (firstError == kNoTag)
            rig.api->tag = [](const std::string&, const std::string&) {
                return FakeReaderApi::Answer{-1, kNoTag};
            };
        else if (firstError != 0)
            rig.api->tag = Requires({{call, good}}, firstError);
        if (entered == 1) rig.prompt->masterKeys = {KeyOf(0xC1)};
        if (entered == 2) rig.prompt->masterKeys = {KeyOf(0xBB)};

        const qsizetype from = rig.log.size();
        bool ok = false;
        KQ_RUN_PAIRED(rig, ok = run());
        QCOMPARE(ok, state == 0);
        QCOMPARE(rig.Result(), std::make_pair(state, index));
        QStringList offered;
        static const QRegularExpression key("key=([0-9A-Fa-z]+)");
        for (const QString& entry : rig.Since(from)) {
            const QRegularExpressionMatch match = key.match(entry);
            if (match.hasMatch()) offered << match.captured(1);
        }
        QCOMPARE(offered, keysOffered);
        if (entered >= 0) {
            QCOMPARE(rig.prompt->questions.size(), size_t(1));
            QCOMPARE(rig.prompt->questions[0].port, 7);
            QCOMPARE(rig.prompt->questions[0].keyNumber, keyNumber);
            QCOMPARE(rig.prompt->questions[0].authenticationLayout, true);
        } else {
            QVERIFY(rig.prompt->questions.empty());
        }
    }

    // The card's master key (asked by format, lock and protection) and the NFC
    // application's master key (asked by writing) are kept apart, each under the
    // numbers the next lookup of its kind tries first: after one of each has been
    // typed, neither operation asks again.
    void theKeyTypedIsTheKeyFoundNextTime() {
        const TagKey card = KeyOf(0xC0), application = KeyOf(0xA0);
        Rig rig;
        rig.api->tag = Requires(
            {{"Format", KeyText(card.data(), 16)}, {"Write", KeyText(application.data(), 16)}}, kAuthNative);
        rig.prompt->masterKeys = {card, application};
        QVERIFY(rig.engine->Format());
        QVERIFY(rig.engine->WriteJson(kRecord, false));
        QCOMPARE(rig.prompt->questions.size(), size_t(2));

        rig.log.clear();
        QVERIFY(rig.engine->Format());
        QVERIFY(rig.engine->WriteJson(kRecord, false));
        QCOMPARE(rig.prompt->questions.size(), size_t(2)); // not asked again
        const QString cardHex = Hex(card), appHex = Hex(application);
        QCOMPARE(rig.log,
                 CallLog({"SetWaitMode(7,1)", "FormatTag(key=none)", "FormatTag(key=" + cardHex + ")",
                          "SetWaitMode(7,0)", "SetWaitMode(7,1)", "WriteTag(len=22,key=none,lock=0)",
                          "WriteTag(len=22,key=" + appHex + ",lock=0)", "SetWaitMode(7,0)"}));
    }

    void aWriteThatMeetsAWriteProtectedTagAsksWithThatForm() {
        const TagKey application = KeyOf(0xA0);
        Rig rig;
        rig.api->tag = Requires({{"Write", KeyText(application.data(), 16)}}, kAuthApp);
        rig.prompt->masterKeys = {application};
        QVERIFY(rig.engine->WriteText("Hallo", false));

        // The known key now opens the tag, which then refuses the write.
        rig.api->tag = [](const std::string&, const std::string& key) {
            return FakeReaderApi::Answer{-1, key == "none" ? kAuthApp : kWriteProtected};
        };
        KQ_RUN_PAIRED(rig, QVERIFY(!rig.engine->WriteText("Hallo", false)));
        QCOMPARE(rig.prompt->questions.size(), size_t(2));
        QCOMPARE(rig.prompt->questions[1].keyNumber, 1);
        QCOMPARE(rig.prompt->questions[1].authenticationLayout, false);
        QCOMPARE(rig.Result(), std::make_pair(1, 10));
    }

    void thePendingRecordIsWrittenWithItsLockFlag() {
        Rig rig;
        rig.engine->SetPending(kRecord, true);
        KQ_RUN_PAIRED(rig, QVERIFY(rig.engine->WritePending()));
        QCOMPARE(rig.log.at(rig.log.size() - 2), "WriteTag(len=22,key=none,lock=1)");
        // An empty record asks the reader library to format the tag.
        rig.engine->SetPending("", false);
        KQ_RUN_PAIRED(rig, QVERIFY(rig.engine->WritePending()));
        QCOMPARE(rig.log.at(rig.log.size() - 2), "WriteTag(len=0,key=none,lock=0)");
    }

    void setPasswordAsksForTheNewKeyFirst() {
        const TagKey card = KeyOf(0xC0), protection = KeyOf(0x77);
        Rig rig;
        // Cancelled: the reader is not even opened.
        QVERIFY(!rig.engine->SetPassword(0));
        QCOMPARE(rig.Result(), std::make_pair(1, 10));
        QVERIFY(rig.log.empty());

        rig.api->tag = Requires({{"ChangeKey", KeyText(card.data(), 16)}}, kAuthCard);
        rig.prompt->protectionKeys = {protection};
        rig.prompt->masterKeys = {card};
        KQ_RUN_PAIRED(rig, QVERIFY(rig.engine->SetPassword(0x101)));
        QCOMPARE(rig.Result(), std::make_pair(0, 5));
        const QString p = Hex(protection), c = Hex(card);
        QCOMPARE(rig.Since(rig.log.size() - 3),
                 CallLog({"ChangeTagKey(1,cur=none,new=" + p + ")",
                          "ChangeTagKey(1,cur=" + c + ",new=" + p + ")", "SetWaitMode(7,0)"}));
        QCOMPARE(rig.prompt->questions.size(), size_t(3)); // cancelled, then the new key, then the card key
        QCOMPARE(rig.prompt->questions[2].keyNumber, 0);
    }

    // The protection key typed as nothing, or as zeros only, is the card's open default:
    // the dialog says so and stays open, and nothing goes to the reader.
    void setPasswordRefusesTheDefaultKeyInTheDialog() {
        Rig rig;
        rig.engine->SetKeyPrompt(std::make_unique<CKeyDialogPrompt>());
        const QStringList typed = {"", "00", "0000 0000 0000 0000 0000 0000 0000 0000"};
        QStringList statuses;
        bool stayedOpen = true;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<CSetDesfireKeysDlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            driver.stop();
            for (const QString& text : typed) {
                dialog->KeyEdit()->setText(text);
                if (auto* set = dialog->findChild<QPushButton*>("1274")) set->click();
                statuses << dialog->StatusEdit()->text();
                stayedOpen = stayedOpen && dialog->isVisible();
            }
            dialog->reject();
        });
        driver.start(10);
        // Bounded: a dialog that never came is closed, and the test fails below.
        QTimer::singleShot(20000, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        QVERIFY(!rig.engine->SetPassword(1));
        QCOMPARE(rig.Result(), std::make_pair(1, 10));
        QVERIFY(rig.log.empty());
        QCOMPARE(statuses,
                 QStringList(typed.size(), "Ein leerer Schlüssel oder einer aus lauter Nullen ist der "
                                           "offene Standardschlüssel und schützt nicht"));
        QVERIFY(stayedOpen);
    }

    void readTagHandsOverTheRecord_data() {
        QTest::addColumn<int>("lastError"); // 0: the read succeeds with `text`
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("readFlag");
        QTest::addColumn<QString>("itemText");
        QTest::newRow("text record") << 0 << R"({"TEXT":{"TITLE":"Hallo"}})" << 0 << 1 << true << "Hallo";
        QTest::newRow("formatted, no record") << 0 << "" << 0 << 1 << true << "";
        QTest::newRow("unknown kind") << 0 << R"({"FAX":{"NUMBER":"1"}})" << 3 << 40 << true << "";
        QTest::newRow("not JSON") << 0 << "{TEXT" << 0 << 1 << true << "";
        QTest::newRow("no tag") << kNoTag << "" << 1 << 13 << false << "";
        QTest::newRow("bad NFC data") << 0x20017 << "" << 2 << 37 << false << "";
        // Longer than the first buffer: asked for again in a larger one.
        const QString longText(300000, u'x');
        QTest::newRow("a text beyond the first buffer")
            << 0 << "{\"TEXT\":{\"TITLE\":\"" + longText + "\"}}" << 0 << 1 << true << longText;
    }

    void readTagHandsOverTheRecord() {
        QFETCH(int, lastError);
        QFETCH(QString, text);
        QFETCH(int, state);
        QFETCH(int, index);
        QFETCH(bool, readFlag);
        QFETCH(QString, itemText);
        Rig rig;
        rig.api->readText = text.toStdString();
        if (lastError)
            rig.api->tag = [lastError](const std::string&, const std::string&) {
                return FakeReaderApi::Answer{-1, lastError};
            };
        auto item = std::make_unique<CNfcTagData>(std::make_unique<std::string>("old"));
        KQ_RUN_PAIRED(rig, rig.engine->ReadTag(item));
        QCOMPARE(rig.Result(), std::make_pair(state, index));
        QCOMPARE(rig.engine->ReadFlag(), readFlag);
        QCOMPARE(item != nullptr, !itemText.isEmpty());
        if (item) QCOMPARE(QString::fromStdString(*item->GetText()), itemText);
        QCOMPARE(rig.log.back(), "SetWaitMode(7,0)");
    }

    void everyOperationStartsFromAFreshResult() {
        Rig rig;
        rig.engine->SetResult(0, 7);
        rig.engine->SetExtraText("vorlage.tdp");
        QCOMPARE(rig.engine->Result().extraText, QString("vorlage.tdp"));
        rig.api->readText = "";
        std::unique_ptr<CNfcTagData> item;
        rig.engine->ReadTag(item);
        QVERIFY(rig.engine->ReadFlag());
        QVERIFY(rig.engine->Lock());
        QCOMPARE(rig.Result(), std::make_pair(0, 3));
        QVERIFY(!rig.engine->ReadFlag());
        QVERIFY(rig.engine->Result().extraText.isEmpty());
    }

    void aRefusedCloseIsShownAndThePortForgotten() {
        Rig rig;
        QVERIFY(rig.engine->PreparePort());
        rig.api->closeAnswer = -1;
        rig.engine->ClosePort();
        QCOMPARE(rig.messages, QStringList{"KQLMX_ClosePort meldet Fehler"});
        QVERIFY(!rig.engine->IsPortOpen());
        rig.engine->ClosePort(); // nothing more to close
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.log.back(), "ClosePort(7)");
    }

    void theEngineClosesItsPortWhenItGoes() {
        CallLog log;
        {
            CNfcTagAccess engine(
                std::make_unique<kqtest::RecordingReaderApi>(std::make_unique<FakeReaderApi>(), log));
            QVERIFY(engine.PreparePort());
        }
        QCOMPARE(log.back(), "ClosePort(7)");
    }

    // The beep pattern itself is shown against the simulator; here its edges: no time
    // or no count is silent, without a port nothing is lit.
    void beepsWithoutTimeCountOrPort() {
        Rig rig;
        QVERIFY(rig.engine->PreparePort());
        rig.log.clear();
        rig.engine->BeepWithLed(440, 0, 2);
        rig.engine->BeepWithLed(440, 150, 0);
        rig.engine->ClosePort();
        rig.engine->BeepWithLed(440, 100, 3); // 20 ms each
        QCOMPARE(rig.log, CallLog({"ClosePort(7)", "Beep(440,20)", "Beep(440,20)", "Beep(440,20)"}));
    }

    void theSystemToneTakesItsTime() {
        SystemToneSink sink;
        const auto start = std::chrono::steady_clock::now();
        sink.Beep(440, 60);
        QVERIFY(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(60));
    }
};

QTEST_MAIN(EngineTest)
#include "EngineTest.moc"
