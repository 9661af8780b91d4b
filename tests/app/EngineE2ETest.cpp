// The tag-operation engine end to end: the real reader library on a pty served by the
// simulator, a Type 2 tag in its field. The engine's calls are logged on their way to
// the library, so wait mode can be checked on every path; the simulator's log shows
// the reader outputs the beeps switch.
#include "EngineTestSupport.h"
#include "app/NfcTagAccess.h"
#include "app/ProfileSettings.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"
#include "sim/Type2Tag.h"

#include <QFile>
#include <QtTest>

using namespace std::chrono_literals;
using kqtest::CallLog;

namespace {

// A reader on a pty with the engine set up to use it ("Port" settings stored).
// Members are destroyed engine first, simulator last.
struct Bench {
    kqsim::Simulator sim{
        {.typeCode = 0x184, .firmwareDigit = 4, .protocolType = 0, .address = 1, .baud = 19200}};
    kqsim::PtyTransport pty{sim};
    CallLog log;
    kqtest::ScriptedKeyPrompt* prompt = nullptr;
    kqtest::RecordingToneSink* tones = nullptr;
    QStringList messages;
    std::unique_ptr<CNfcTagAccess> engine;

    Bench() {
        QFile::remove(ProfileSettings::FilePath());
        ProfileSettings::WriteString("Port", "Name", QString::fromStdString(pty.slavePath()));
        ProfileSettings::WriteInt("Port", "Baudrate", 19200);
        ProfileSettings::WriteInt("Port", "Adresse", 1);
        engine = std::make_unique<CNfcTagAccess>(
            std::make_unique<kqtest::RecordingReaderApi>(std::make_unique<ReaderApi>(), log));
        auto keyPrompt = std::make_unique<kqtest::ScriptedKeyPrompt>();
        prompt = keyPrompt.get();
        engine->SetKeyPrompt(std::move(keyPrompt));
        auto sink = std::make_unique<kqtest::RecordingToneSink>(log);
        tones = sink.get();
        engine->SetToneSink(std::move(sink));
        engine->SetMessageHook([this](const QString& text) { messages << text; });
    }
    ~Bench() { engine.reset(); }

    std::pair<int, int> Result() const { return {engine->Result().state, engine->Result().index}; }
};

// Runs one operation: wait mode held exactly once around all its reader calls.
#define RUN_PAIRED(bench, operation)                                                                         \
    do {                                                                                                     \
        const qsizetype from_ = (bench).log.size();                                                          \
        operation;                                                                                           \
        int periods_ = 0;                                                                                    \
        std::string why_;                                                                                    \
        QVERIFY2(kqtest::WaitModePaired((bench).log.mid(from_), periods_, why_), why_.c_str());              \
        QCOMPARE(periods_, 1);                                                                               \
    } while (0)

long long Ms(kqsim::Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

class EngineE2ETest : public QObject {
    Q_OBJECT
private slots:
    // 440 Hz for 150 ms, twice after an error: 50 ms on, 50 ms off, 50 ms on; the
    // reader's output 16 is switched on right before each tone and off right after.
    void theErrorBeepLightsOutput16DuringEachTone() {
        Bench bench;
        QVERIFY(bench.pty.ok());
        std::array<std::uint8_t, 8> uid{};
        bench.engine->ReadUid(uid); // no tag
        QCOMPARE(bench.engine->Result().state, 1);
        bench.sim.clearLog();

        bench.engine->BeepWithLed(440, 150, 2);
        QCOMPARE(bench.tones->tones.size(), size_t(2));
        for (const auto& tone : bench.tones->tones)
            QCOMPARE(std::make_pair(tone.frequencyHz, tone.ms), std::make_pair(440, 50));

        const std::vector<kqsim::OutputChange> outputs = bench.sim.outputHistory();
        QCOMPARE(outputs.size(), size_t(4));
        for (size_t i = 0; i < outputs.size(); ++i) {
            QCOMPARE(int(outputs[i].mask), 16);
            QCOMPARE(int(outputs[i].value), i % 2 == 0 ? 16 : 0);
        }
        for (size_t beep = 0; beep < 2; ++beep) {
            QVERIFY(outputs[2 * beep].time <= bench.tones->tones[beep].start);
            QVERIFY(outputs[2 * beep + 1].time >= bench.tones->tones[beep].end);
        }
        // On, off, on, off: each phase at least its 50 ms, none much longer.
        for (size_t i = 1; i < outputs.size(); ++i) {
            const long long phase = Ms(outputs[i].time - outputs[i - 1].time);
            QVERIFY2(phase >= 50 && phase < 150, qPrintable(QString("phase %1: %2 ms").arg(i).arg(phase)));
        }
    }

    void theSuccessBeepIsOneTone() {
        Bench bench;
        QVERIFY(bench.engine->PreparePort());
        QCOMPARE(bench.Result(), std::make_pair(0, 4));
        bench.engine->BeepWithLed(440, 150, 1);
        QCOMPARE(bench.tones->tones.size(), size_t(1));
        QCOMPARE(bench.tones->tones[0].ms, 150);
        const auto outputs = bench.sim.outputHistory();
        QCOMPARE(outputs.size(), size_t(2));
        QVERIFY(Ms(outputs[1].time - outputs[0].time) >= 150);
    }

    // Every operation on a reader that fails it, or whose link is gone: wait mode is
    // switched off exactly once all the same.
    void waitModeEndsOnceOnEveryPathOfTheReader() {
        Bench bench;
        bench.prompt->protectionKeys = {TagKey{}, TagKey{}};
        std::unique_ptr<CNfcTagData> item;
        std::array<std::uint8_t, 8> uid{};
        for (int round = 0; round < 2; ++round) {
            RUN_PAIRED(bench, bench.engine->ReadTag(item));
            QVERIFY(!item);
            RUN_PAIRED(bench, bench.engine->ReadUid(uid));
            RUN_PAIRED(bench, QVERIFY(!bench.engine->Format()));
            RUN_PAIRED(bench, QVERIFY(!bench.engine->Lock()));
            RUN_PAIRED(bench, QVERIFY(!bench.engine->WriteText("Hallo", false)));
            RUN_PAIRED(bench, QVERIFY(!bench.engine->SetPassword(0)));
            QVERIFY(bench.engine->Result().state > 0);
            bench.sim.dropLink(); // the second round without a reader
        }
    }
};

QTEST_MAIN(EngineE2ETest)
#include "EngineE2ETest.moc"
