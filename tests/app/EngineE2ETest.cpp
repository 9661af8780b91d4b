// The tag-operation engine end to end: the real reader library on a pty served by the
// simulator, a Type 2 tag in its field. The engine's calls are logged on their way to
// the library, so wait mode can be checked on every path; the simulator's log shows
// the reader outputs the beeps switch.
#include "EngineTestSupport.h"
#include "ShellTestSupport.h"
#include "app/NfcTagAccess.h"
#include "app/ProfileSettings.h"
#include "content/UriScheme.h"
#include "sim/ClassicTag.h"
#include "sim/DesfireCard.h"
#include "sim/IsoDepTag.h"
#include "sim/Type2Tag.h"

#include <QFile>
#include <QtTest>

using namespace std::chrono_literals;
using kqtest::CallLog;

namespace {

// A reader on a pty and an engine set up to use it ("Port" settings stored). The
// engine goes first, the simulator last. The simulator answers within milliseconds,
// but a busy machine may keep its thread waiting: the answer time-out is generous
// unless a test waits for answers that never come.
struct Bench {
    explicit Bench(int timeoutMs = 5000) : rig(Rig(pty.slavePath(), timeoutMs)) {}

    kqsim::Simulator sim{
        {.typeCode = 0x184, .firmwareDigit = 4, .protocolType = 0, .address = 1, .baud = 19200}};
    kqsim::PtyTransport pty{sim};
    kqtest::EngineRig rig;

    static kqtest::EngineRig Rig(const std::string& portName, int timeoutMs) {
        QFile::remove(ProfileSettings::FilePath());
        ProfileSettings::WriteString("Port", "Name", QString::fromStdString(portName));
        ProfileSettings::WriteInt("Port", "Baudrate", 19200);
        ProfileSettings::WriteInt("Port", "Adresse", 1);
        ProfileSettings::WriteInt("Port", "Timeout", timeoutMs);
        return kqtest::EngineRig(std::make_unique<ReaderApi>());
    }
};

kqsim::TagId PlaceNtag213(kqsim::Simulator& sim) {
    return sim.placeTag(kqtest::BlankNtag213(7));
}

long long Ms(kqsim::Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

class EngineE2ETest : public QObject {
    Q_OBJECT
private slots:
    // 440 Hz for 150 ms: one tone after success; twice after an error, 50 ms on, 50 ms
    // off, 50 ms on. The reader's output 16 is switched on right before each tone and
    // off right after; each phase takes at least its time, none much longer. A busy
    // machine may stretch any phase, so the beep is sounded again (five times at most)
    // until one shows every phase within 100 ms of its time: a phase that is too long
    // by design is so every time. The order and the lower bounds hold in every run.
    void theBeepLightsOutput16DuringEachTone_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("toneMs");
        QTest::newRow("success") << 1 << 150;
        QTest::newRow("error") << 2 << 50;
    }
    void theBeepLightsOutput16DuringEachTone() {
        QFETCH(int, count);
        QFETCH(int, toneMs);
        Bench bench;
        QVERIFY(bench.rig.engine->PreparePort());
        QString tooLong = "not sounded";
        for (int run = 0; run < 5 && !tooLong.isEmpty(); ++run) {
            tooLong.clear();
            bench.sim.clearLog();
            bench.rig.tones->tones.clear();
            bench.rig.engine->BeepWithLed(440, 150, count);
            const auto& tones = bench.rig.tones->tones;
            const std::vector<kqsim::OutputChange> outputs = bench.sim.outputHistory();
            QCOMPARE(int(tones.size()), count);
            QCOMPARE(int(outputs.size()), 2 * count);
            for (int i = 0; i < 2 * count; ++i) {
                const auto& tone = tones[size_t(i / 2)];
                QCOMPARE(std::make_pair(tone.frequencyHz, tone.ms), std::make_pair(440, toneMs));
                QCOMPARE(std::make_pair(int(outputs[i].mask), int(outputs[i].value)),
                         std::make_pair(16, i % 2 ? 0 : 16));
                QVERIFY(i % 2 ? outputs[i].time >= tone.end : outputs[i].time <= tone.start);
                const long long phase = i > 0 ? Ms(outputs[i].time - outputs[i - 1].time) : toneMs;
                QVERIFY2(phase >= toneMs, qPrintable(QString("phase %1: %2 ms").arg(i).arg(phase)));
                if (phase >= toneMs + 100) tooLong += QString(" phase %1: %2 ms").arg(i).arg(phase);
            }
        }
        QVERIFY2(tooLong.isEmpty(), qPrintable(tooLong));
    }

    // The UID poll of the cyclic jobs: the tag's 7-byte UID, zero-filled to 8; no tag
    // is message 13.
    void theUidPollSeesTagsComeAndGo() {
        Bench bench;
        std::array<std::uint8_t, 8> uid{};
        KQ_RUN_PAIRED(bench.rig, bench.rig.engine->ReadUid(uid));
        QCOMPARE(bench.rig.Result(), std::make_pair(1, 13));
        const kqsim::TagId id = PlaceNtag213(bench.sim);
        KQ_RUN_PAIRED(bench.rig, bench.rig.engine->ReadUid(uid));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 1));
        QCOMPARE(uid, (std::array<std::uint8_t, 8>{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x07, 0x00}));
        bench.sim.removeTag(id);
        KQ_RUN_PAIRED(bench.rig, bench.rig.engine->ReadUid(uid));
        QCOMPARE(bench.rig.Result(), std::make_pair(1, 13));
        QCOMPARE(uid, (std::array<std::uint8_t, 8>{}));
    }

    // A record written to an NTAG213 lands after its Lock Control TLV (01 03 A0 0C 34)
    // as an NDEF Message TLV with a short record, and reads back into its form.
    void aWrittenRecordReadsBack_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("area"); // pages 4 on
        // Text record: D1 01 len 'T', status 02 (UTF-8, 2-byte language), "en", text.
        QTest::newRow("text") << "text"
                              << "01 03 A0 0C 34 03 0C D1 01 08 54 02 65 6E 48 61 6C 6C 6F FE";
        // URI record: D1 01 len 'U', identifier code 02 ("https://www."), the rest.
        QTest::newRow("web address")
            << "bookmark"
            << "01 03 A0 0C 34 03 10 D1 01 0C 55 02 65 78 61 6D 70 6C 65 2E 63 6F 6D FE";
    }

    void aWrittenRecordReadsBack() {
        QFETCH(QString, kind);
        QFETCH(QString, area);
        Bench bench;
        const kqsim::TagId id = PlaceNtag213(bench.sim);
        CNfcTagAccess& engine = *bench.rig.engine;
        if (kind == "text")
            KQ_RUN_PAIRED(bench.rig, QVERIFY(engine.WriteText("Hallo", false)));
        else
            KQ_RUN_PAIRED(bench.rig, QVERIFY(engine.WriteBookmark("https://www.example.com", "", false)));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 2));
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 4, int(area.size() + 1) / 3), area);

        std::unique_ptr<CNfcTagData> item;
        KQ_RUN_PAIRED(bench.rig, engine.ReadTag(item));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 1));
        QVERIFY(engine.ReadFlag());
        QVERIFY(item);
        if (kind == "text") {
            QVERIFY(item->GetText());
            QCOMPARE(*item->GetText(), std::string("Hallo"));
        } else {
            QVERIFY(item->GetUriScheme());
            QCOMPARE(item->GetUriScheme()->GetSchemeType(), CUriScheme::kBookmark);
            QCOMPARE(item->GetUriScheme()->Compose(true), std::string("https://www.example.com"));
        }
    }

    // Every text the library writes reads back, also where its record JSON text is
    // several times its bytes (line breaks and control characters escaped): a
    // DESFire card's 2400 lines, a Classic 4K's 3000 control characters.
    void aLongTextOnTheLargestTagsReadsBack_data() {
        QTest::addColumn<bool>("desfire");
        QTest::addColumn<QByteArray>("text");
        QByteArray lines;
        for (int i = 0; i < 2400; ++i)
            lines += "x\r\n";
        QTest::newRow("DESFire, 2400 lines") << true << lines;
        QByteArray controls;
        for (int i = 0; i < 3000; ++i)
            controls += char(1 + i % 31);
        QTest::newRow("Classic 4K, control characters") << false << controls;
    }
    void aLongTextOnTheLargestTagsReadsBack() {
        QFETCH(bool, desfire);
        QFETCH(QByteArray, text);
        Bench bench;
        if (desfire)
            bench.sim.placeTag(
                std::make_unique<kqsim::IsoDepTag>(kqsim::Bytes{0x04, 0x5E, 0x1F, 0x72, 0x3A, 0x5C, 0x80},
                                                   std::make_unique<kqsim::DesfireCard>()));
        else
            bench.sim.placeTag(kqsim::ClassicTag::blank(kqsim::ClassicTag::Model::Classic4K));
        CNfcTagAccess& engine = *bench.rig.engine;
        if (!desfire) QVERIFY(engine.Format());
        QVERIFY(engine.WriteText(text.toStdString(), false));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 2));
        std::unique_ptr<CNfcTagData> item;
        KQ_RUN_PAIRED(bench.rig, engine.ReadTag(item));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 1));
        QVERIFY(item && item->GetText());
        QCOMPARE(QByteArray::fromStdString(*item->GetText()), text);
    }

    // Formatting leaves an empty NDEF message (one empty record: D0 00 00); reading it
    // finds the tag formatted without a record. A blank Ultralight is not NFC formatted until then, and gets
    // the capability container of its 48 bytes.
    void formatLeavesAnEmptyMessage() {
        Bench bench;
        const kqsim::TagId ntag = PlaceNtag213(bench.sim);
        CNfcTagAccess& engine = *bench.rig.engine;
        QVERIFY(engine.WriteText("Hallo", false));
        KQ_RUN_PAIRED(bench.rig, QVERIFY(engine.Format()));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 2));
        QCOMPARE(kqtest::MemoryHex(bench.sim, ntag, 4, 11), "01 03 A0 0C 34 03 03 D0 00 00 FE");
        std::unique_ptr<CNfcTagData> item;
        KQ_RUN_PAIRED(bench.rig, engine.ReadTag(item));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 1));
        QVERIFY(engine.ReadFlag());
        QVERIFY(!item);

        bench.sim.removeTag(ntag);
        const kqsim::TagId ultralight =
            bench.sim.placeTag(kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ultralight));
        KQ_RUN_PAIRED(bench.rig, engine.ReadTag(item));
        QCOMPARE(bench.rig.Result(), std::make_pair(1, 17));
        QVERIFY(!engine.ReadFlag());
        KQ_RUN_PAIRED(bench.rig, QVERIFY(engine.Format()));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 2));
        QCOMPARE(kqtest::MemoryHex(bench.sim, ultralight, 3, 10), "E1 10 06 00 03 03 D0 00 00 FE");
    }

    // Locking sets the capability container's write access to read-only and the
    // static and first dynamic lock bytes; the tag then refuses writes and formats
    // (message 20, a state that concerns the NFC data) and still reads.
    void aLockedTagReadsButRefusesWrites() {
        Bench bench;
        const kqsim::TagId id = PlaceNtag213(bench.sim);
        CNfcTagAccess& engine = *bench.rig.engine;
        QVERIFY(engine.WriteText("Hallo", false));
        KQ_RUN_PAIRED(bench.rig, QVERIFY(engine.Lock()));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 3));
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 2, 4).right(5), "FF FF"); // static lock bytes
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 3, 4), "E1 10 12 0F");
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 0x28, 1), "FF");

        KQ_RUN_PAIRED(bench.rig, QVERIFY(!engine.WriteText("Neu", false)));
        QCOMPARE(bench.rig.Result(), std::make_pair(2, 20));
        KQ_RUN_PAIRED(bench.rig, QVERIFY(!engine.Format()));
        QCOMPARE(bench.rig.Result(), std::make_pair(2, 20));
        std::unique_ptr<CNfcTagData> item;
        KQ_RUN_PAIRED(bench.rig, engine.ReadTag(item));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 1));
        QVERIFY(item && item->GetText() && *item->GetText() == "Hallo");
    }

    // A protection key is for DESFire tags only: the new key is asked for, then the
    // Type 2 tag is refused (message 16, a state that concerns the tag's type).
    void aProtectionKeyNeedsADesfireTag() {
        Bench bench;
        PlaceNtag213(bench.sim);
        bench.rig.prompt->protectionKeys = {TagKey{}};
        KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->SetPassword(0)));
        QCOMPARE(bench.rig.Result(), std::make_pair(2, 16));
        QCOMPARE(bench.rig.prompt->questions.size(), size_t(1));
    }

    // A DESFire card protected with a key: the write without a key meets the card's
    // refusal, the key typed into the prompt opens it and is kept, so that the next
    // write needs no question.
    void aKeyedDesfireCardTakesTheKeyFromThePrompt() {
        Bench bench;
        bench.sim.placeTag(std::make_unique<kqsim::IsoDepTag>(
            kqsim::Bytes{0x04, 0x5E, 0x1F, 0x72, 0x3A, 0x5C, 0x80}, std::make_unique<kqsim::DesfireCard>()));
        KQ_RUN_PAIRED(bench.rig, QVERIFY(bench.rig.engine->WriteText("Hallo", false)));
        TagKey key{};
        for (size_t i = 0; i < key.size(); ++i)
            key[i] = static_cast<std::uint8_t>(0x30 + i);
        bench.rig.prompt->protectionKeys = {key};
        KQ_RUN_PAIRED(bench.rig, QVERIFY(bench.rig.engine->SetPassword(1)));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 5));
        QCOMPARE(bench.rig.prompt->questions.size(), size_t(1)); // the new key only

        bench.rig.prompt->masterKeys = {key};
        KQ_RUN_PAIRED(bench.rig, QVERIFY(bench.rig.engine->WriteText("Neu", false)));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 2));
        QCOMPARE(bench.rig.prompt->questions.size(), size_t(2));
        QCOMPARE(bench.rig.prompt->questions.back().keyNumber, int(IKeyPrompt::kNfcApplicationMasterKey));
        KQ_RUN_PAIRED(bench.rig, QVERIFY(bench.rig.engine->WriteText("Wieder", false)));
        QCOMPARE(bench.rig.prompt->questions.size(), size_t(2)); // the kept key, without a question
        std::unique_ptr<CNfcTagData> item;
        KQ_RUN_PAIRED(bench.rig, bench.rig.engine->ReadTag(item));
        QVERIFY(item && item->GetText() && *item->GetText() == "Wieder");
    }

    // The pending record of a cyclic write with its lock flag: written, then locked.
    void thePendingRecordIsWrittenAndLocked() {
        Bench bench;
        const kqsim::TagId id = PlaceNtag213(bench.sim);
        bench.rig.engine->SetPending(R"({"TEXT":{"TITLE":"Hallo"}})", true);
        KQ_RUN_PAIRED(bench.rig, QVERIFY(bench.rig.engine->WritePending()));
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 2));
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 7, 8), "65 6E 48 61 6C 6C 6F FE");
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 3, 4), "E1 10 12 0F");
    }

    // 200 characters need a 207-byte message, 210 bytes of TLV area, plus the byte of
    // the Lock Control TLV on the NDEF TLV's page: 211 bytes for the 140 left from
    // page 5 on. 71 too many; nothing is written. Another failure leaves no count.
    void aTooLongTextCountsTheExcess() {
        Bench bench;
        const kqsim::TagId id = PlaceNtag213(bench.sim);
        const QString before = kqtest::MemoryHex(bench.sim, id, 0, 45 * 4);
        KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->WriteText(std::string(200, 'x'), false)));
        int state = 0, index = 0, extra = 0;
        bench.rig.engine->GetResult(state, index, &extra);
        QCOMPARE(std::make_tuple(state, index, extra), std::make_tuple(1, 27, 71));
        QCOMPARE(kqtest::MemoryHex(bench.sim, id, 0, 45 * 4), before);
        bench.sim.removeTag(id);
        QVERIFY(!bench.rig.engine->WriteText("x", false));
        QCOMPARE(bench.rig.Result(), std::make_pair(1, 13));
        QCOMPARE(bench.rig.engine->Result().extraNumber, 0);
    }

    // The tag leaves the field in the middle of the write: an error, never success,
    // and wait mode ends all the same.
    void aTagThatVanishesMidWriteIsAnError() {
        Bench bench;
        for (int commands = 0; commands < 8; ++commands) {
            const kqsim::TagId id = PlaceNtag213(bench.sim);
            bench.sim.removeTagAfter(id, commands);
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->WriteText("Hallo", false)));
            QCOMPARE(bench.rig.engine->Result().state, 1);
            bench.sim.removeAllTags();
        }
    }

    // Every operation on a reader that fails it: wait mode is switched off exactly once
    // all the same. Then the link goes: the read, the UID poll and the keyed call that
    // format, lock, protection and writing share each tell that the reader is gone
    // (1, 12) and let the line go, so that the next operation opens the port anew
    // (here, with no reader there, failing before any tag call).
    void waitModeEndsOnceOnEveryPathOfTheReader() {
        std::unique_ptr<CNfcTagData> item;
        std::array<std::uint8_t, 8> uid{};
        {
            Bench bench;
            CNfcTagAccess& engine = *bench.rig.engine;
            bench.rig.prompt->protectionKeys = {TagKey{}};
            KQ_RUN_PAIRED(bench.rig, engine.ReadTag(item));
            QVERIFY(!item);
            KQ_RUN_PAIRED(bench.rig, engine.ReadUid(uid));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!engine.WriteText("Hallo", false)));
            QVERIFY(engine.Result().state > 0);
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!engine.Format()));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!engine.Lock()));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!engine.SetPassword(0)));
        }
        const std::function<void(CNfcTagAccess&)> operations[] = {
            [&](CNfcTagAccess& engine) { engine.ReadTag(item); },
            [&](CNfcTagAccess& engine) { engine.ReadUid(uid); },
            [&](CNfcTagAccess& engine) { QVERIFY(!engine.WriteText("Hallo", false)); }};
        for (const auto& operation : operations) {
            Bench bench(1000); // the first exchange after the drop waits it out
            CNfcTagAccess& engine = *bench.rig.engine;
            QVERIFY(engine.PreparePort());
            bench.sim.dropLink();
            KQ_RUN_PAIRED(bench.rig, operation(engine));
            QCOMPARE(bench.rig.Result(), std::make_pair(1, 12));
            QVERIFY(!engine.IsPortOpen());
            const qsizetype before = bench.rig.log.size();
            engine.ReadUid(uid);
            QCOMPARE(bench.rig.Result(), std::make_pair(1, 12));
            QVERIFY(!bench.rig.log.mid(before).join(' ').contains("SetWaitMode"));
        }
    }
};

QTEST_MAIN(EngineE2ETest)
#include "EngineE2ETest.moc"
