// A reader unplugged while the program uses it, and plugged back in on the same path:
// the real kqlmx-sim program on a pty behind a stable link under /dev (as udev names
// a reader in /dev/serial/by-id; here in /dev/shm, where anyone may write), killed in the middle of a cyclic
// write and of a single read, then started again on the same link. The program tells that the reader is gone,
// ends the job, lets the line go, and reads again without a restart.
#include "../sim/SimProcess.h"
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainWndForwarders.h"
#include "app/ProfileSettings.h"
#include "app/QtUiHooks.h"
#include "content/RecordJsonWriter.h"
#include "sim/TagFactory.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const QString kNoReader = QStringLiteral("Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!");

// An NTAG216 holding one text record of `length` characters: 03 FF and the two-byte
// length, the record C1 01 and a four-byte payload length, 54, 02 "en" and the text.
std::unique_ptr<kqsim::Tag> Ntag216WithText(int length) {
    const int payload = 3 + length;
    QByteArray record = QByteArray::fromHex("C1 01 00 00") + char(payload >> 8) + char(payload & 0xFF) + 'T' +
                        QByteArray::fromHex("02") + "en" + QByteArray(length, 'x');
    QByteArray area = QByteArray::fromHex("03 FF") + char(record.size() >> 8) + char(record.size() & 0xFF) +
                      record + '\xFE';
    while (area.size() % 4 != 0)
        area += '\0';
    kqsim::TagImage image;
    kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag216)->save(image);
    for (qsizetype at = 0; at < area.size(); at += 4)
        image.setRow("page", int(4 + at / 4), kqsim::Bytes(area.begin() + at, area.begin() + at + 4));
    std::string error;
    return kqsim::loadTag(image, error);
}

// The program beside a kqlmx-sim on the link `link`, paced at 9600 baud, with the tag
// image `image` in its field.
struct Bench {
    Bench() {
        kqtest::FreshSettings(link, 9600);
        ProfileSettings::WriteInt("Port", "Timeout", 300);
        frame = std::make_unique<CMainFrame>(&doc, ViewIdTable::Standard());
    }
    ~Bench() { frame.reset(); }

    bool StartReader(const kqsim::Tag& tag) {
        std::string error;
        const std::string image = (dir.path() + "/tag.txt").toStdString();
        if (!kqsim::saveTagFile(tag, image, error)) return false;
        sim = std::make_unique<kqsim::test::SimProcess>(std::vector<std::string>{
            "--link", link.toStdString(), "--baud", "9600", "--pace", "--image", image, "--no-console"});
        return sim->started() && !sim->line(5s).empty();
    }
    void UnplugReader() {
        sim->signal(SIGKILL);
        sim->exitCode(5s);
    }

    QTemporaryDir dir{QStringLiteral("/dev/shm/kq-replug-XXXXXX")};
    QString link = dir.path() + "/reader";
    std::unique_ptr<kqsim::test::SimProcess> sim;
    CNfcProgDoc doc;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

class ReaderReplugE2ETest : public QObject {
    Q_OBJECT
private slots:
    void theProgramReadsAgainAfterTheReaderIsBack_data() {
        QTest::addColumn<bool>("cyclicWrite"); // else a single read of a long message
        QTest::newRow("during a cyclic write") << true;
        QTest::newRow("during a single read") << false;
    }
    void theProgramReadsAgainAfterTheReaderIsBack() {
        QFETCH(bool, cyclicWrite);
        Bench bench;
        QVERIFY2(bench.dir.isValid(), qPrintable(bench.dir.errorString()));
        CNfcTagAccess& engine = bench.doc.Engine();
        const QString readerTitle = QStringLiteral("KQ-NFC Programmer V1 <KQ-LMX38 reader  FW V1.05>");
        bench.frame->setWindowTitle(readerTitle);
        if (cyclicWrite) {
            QVERIFY(bench.StartReader(*kqtest::BlankNtag213(1)));
            QVERIFY(engine.PreparePort());
            engine.SetPending(TextToJson("Zeile 1"), false);
            SetCyclicWriteViaMainWnd(true);
            QVERIFY(bench.frame->IsCyclicWriteRunning());
            QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"),
                                      10000);
            bench.UnplugReader();
            QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(), kNoReader, 10000);
            QVERIFY(!bench.frame->IsCyclicJobRunning());
            QTest::qWait(500); // the job has ended: nothing changes any more
            QCOMPARE(bench.frame->StatusText(), kNoReader);
        } else {
            // About 50 block reads at 9600 baud: well over a second. The reader goes
            // while the read waits for an answer (the wait runs the program's timers, as
            // in the program), once its line is open, however slowly a busy machine gets
            // there.
            InstallQtUiHooks();
            QVERIFY(bench.StartReader(*Ntag216WithText(800)));
            bool unplugged = false;
            QTimer unplugDuringTheRead;
            QObject::connect(&unplugDuringTheRead, &QTimer::timeout, [&] {
                if (unplugged || !engine.IsPortOpen()) return;
                unplugged = true;
                bench.UnplugReader();
            });
            unplugDuringTheRead.start(100);
            bench.frame->Action(IdReadTagButton)->trigger();
            unplugDuringTheRead.stop();
            RemoveQtUiHooks();
            QVERIFY2(unplugged, "the read ended before the reader went");
            QCOMPARE(bench.frame->StatusText(), kNoReader);
        }
        QVERIFY2(!engine.IsPortOpen(), "the line of the reader that went is let go");
        QCOMPARE(bench.frame->windowTitle(), QStringLiteral("KQ-NFC Programmer")); // names no reader

        QVERIFY(bench.StartReader(*kqtest::Ntag213WithMessage(kqtest::TextRecord("wieder da"), 2)));
        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Lesen erfolgreich!"));
        QVERIFY(engine.IsPortOpen());
        QCOMPARE(bench.frame->windowTitle(), readerTitle);
    }
};

QTEST_MAIN(ReaderReplugE2ETest)
#include "ReaderReplugE2ETest.moc"
