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

// A reader on a pty and an engine set up to use it ("Port" settings stored). The
// engine goes first, the simulator last.
struct Bench {
    kqsim::Simulator sim{
        {.typeCode = 0x184, .firmwareDigit = 4, .protocolType = 0, .address = 1, .baud = 19200}};
    kqsim::PtyTransport pty{sim};
    kqtest::EngineRig rig = Rig(pty.slavePath());

    static kqtest::EngineRig Rig(const std::string& portName) {
        QFile::remove(ProfileSettings::FilePath());
        ProfileSettings::WriteString("Port", "Name", QString::fromStdString(portName));
        ProfileSettings::WriteInt("Port", "Baudrate", 19200);
        ProfileSettings::WriteInt("Port", "Adresse", 1);
        return kqtest::EngineRig(std::make_unique<ReaderApi>());
    }
};

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
        bench.rig.engine->ReadUid(uid); // no tag
        QCOMPARE(bench.rig.engine->Result().state, 1);
        bench.sim.clearLog();

        bench.rig.engine->BeepWithLed(440, 150, 2);
        QCOMPARE(bench.rig.tones->tones.size(), size_t(2));
        for (const auto& tone : bench.rig.tones->tones)
            QCOMPARE(std::make_pair(tone.frequencyHz, tone.ms), std::make_pair(440, 50));

        const std::vector<kqsim::OutputChange> outputs = bench.sim.outputHistory();
        QCOMPARE(outputs.size(), size_t(4));
        for (size_t i = 0; i < outputs.size(); ++i) {
            QCOMPARE(int(outputs[i].mask), 16);
            QCOMPARE(int(outputs[i].value), i % 2 == 0 ? 16 : 0);
        }
        for (size_t beep = 0; beep < 2; ++beep) {
            QVERIFY(outputs[2 * beep].time <= bench.rig.tones->tones[beep].start);
            QVERIFY(outputs[2 * beep + 1].time >= bench.rig.tones->tones[beep].end);
        }
        // On, off, on, off: each phase at least its 50 ms, none much longer.
        for (size_t i = 1; i < outputs.size(); ++i) {
            const long long phase = Ms(outputs[i].time - outputs[i - 1].time);
            QVERIFY2(phase >= 50 && phase < 150, qPrintable(QString("phase %1: %2 ms").arg(i).arg(phase)));
        }
    }

    void theSuccessBeepIsOneTone() {
        Bench bench;
        QVERIFY(bench.rig.engine->PreparePort());
        QCOMPARE(bench.rig.Result(), std::make_pair(0, 4));
        bench.rig.engine->BeepWithLed(440, 150, 1);
        QCOMPARE(bench.rig.tones->tones.size(), size_t(1));
        QCOMPARE(bench.rig.tones->tones[0].ms, 150);
        const auto outputs = bench.sim.outputHistory();
        QCOMPARE(outputs.size(), size_t(2));
        QVERIFY(Ms(outputs[1].time - outputs[0].time) >= 150);
    }

    // Every operation on a reader that fails it, or whose link is gone: wait mode is
    // switched off exactly once all the same.
    void waitModeEndsOnceOnEveryPathOfTheReader() {
        Bench bench;
        bench.rig.prompt->protectionKeys = {TagKey{}, TagKey{}};
        std::unique_ptr<CNfcTagData> item;
        std::array<std::uint8_t, 8> uid{};
        for (int round = 0; round < 2; ++round) {
            KQ_RUN_PAIRED(bench.rig, bench.rig.engine->ReadTag(item));
            QVERIFY(!item);
            KQ_RUN_PAIRED(bench.rig, bench.rig.engine->ReadUid(uid));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->Format()));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->Lock()));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->WriteText("Hallo", false)));
            KQ_RUN_PAIRED(bench.rig, QVERIFY(!bench.rig.engine->SetPassword(0)));
            QVERIFY(bench.rig.engine->Result().state > 0);
            bench.sim.dropLink(); // the second round without a reader
        }
    }
};

QTEST_MAIN(EngineE2ETest)
#include "EngineE2ETest.moc"
