// The program's start against the simulated reader: the application object as main()
// runs it, the connection test when the window is first shown, the interface dialog
// when there is no reader, the rate fallback, and what ends the program.
#include "ShellTestSupport.h"
#include "app/KQ_NFCProgrammerApp.h"
#include "app/MainFrame.h"
#include "app/NfcProgDoc.h"
#include "app/ProductVersion.h"
#include "app/ProfileSettings.h"
#include "kqlmx.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

CKQ_NFCProgrammerApp& App() {
    return *static_cast<CKQ_NFCProgrammerApp*>(QCoreApplication::instance());
}

// Ports the reader library holds open (serial handles are numbered from 1).
int OpenPortCount() {
    int open = 0;
    for (int handle = 1; handle <= 16; ++handle)
        open += KQLMX_IsWriter(handle) >= 0 ? 1 : 0;
    return open;
}

// Runs the program as main() does. True when it ended by itself within limitMs; else
// its event loop is ended from outside.
bool RunProgramEndsByItself(int limitMs) {
    bool endedByItself = true;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&endedByItself] {
        endedByItself = false;
        QCoreApplication::exit(1);
    });
    watchdog.start(limitMs);
    App().Run();
    return endedByItself;
}

const QString kConnected = QStringLiteral("KQ-LMX38 verbunden!");
const QString kNotNfcReader =
    QString::fromUtf8("Das gewählte Gerät ist kein KQ-LMX32/38/39/380/390/395 für NFC!");
constexpr int kStartLimitMs = 15000;

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    // The reader answers: the window title names model, port and firmware, the result
    // bar says it is connected, the engine holds the one open port, no dialog opens.
    // Ending the program closes it.
    void startsConnectedToTheReader() {
        kqtest::SimReader reader(kqtest::WriterConfig());
        kqtest::FreshSettings(reader.Path());
        kqtest::ModalWatcher watcher;
        QVERIFY(App().InitInstance());
        CMainFrame* frame = App().MainWnd();
        QTRY_COMPARE_WITH_TIMEOUT(frame->StatusText(), kConnected, kStartLimitMs);
        QCOMPARE(frame->windowTitle(), QStringLiteral("KQ-NFC Programmer V%1 <KQ-LMX38 %2:1  FW V1.05>")
                                           .arg(ProductVersionText(), reader.Path()));
        QCOMPARE(frame->StatusIconKind(), int(CMainFrame::IconSuccess));
        QVERIFY(App().Document()->Engine().IsPortOpen());
        QCOMPARE(OpenPortCount(), 1);
        QVERIFY(watcher.seen.isEmpty());
        App().ExitInstance();
        QCOMPARE(OpenPortCount(), 0);
    }

    // No reader at the stored port: the interface dialog opens; cancelling it ends
    // the program.
    void withoutAReaderTheInterfaceDialogOpensAndCancelEndsTheProgram() {
        kqtest::FreshSettings(QStringLiteral("/dev/kq-test-no-such-reader"));
        kqtest::ModalWatcher watcher;
        QVERIFY(RunProgramEndsByItself(kStartLimitMs));
        QCOMPARE(watcher.seen, QStringList{QStringLiteral("CPortDlg")});
    }

    // A reader that cannot write NFC tags: message 226, the stored port is
    // forgotten (the next start goes straight to the dialog), the dialog opens.
    void aReaderThatCannotWriteNfcIsRefused() {
        kqtest::SimReader reader({.typeCode = 0x184, .firmwareDigit = 5}); // KQ-LM90: no writer
        kqtest::FreshSettings(reader.Path());
        kqtest::ModalWatcher watcher;
        QVERIFY(RunProgramEndsByItself(kStartLimitMs));
        QCOMPARE(watcher.seen, (QStringList{kNotNfcReader, QStringLiteral("CPortDlg")}));
        QCOMPARE(ProfileSettings::ReadString("Port", "Name"), QString());
    }

    // A serial reader at 9600 baud while 19200 is stored: found by the second try,
    // whose port reaches the connection test (and is closed by it, not leaked); the
    // rate that worked is stored and the engine opens its port with it.
    void aSilentSerialReaderIsFoundAtTheOtherRate() {
        kqtest::SimReader reader(kqtest::WriterConfig(9600));
        kqtest::FreshSettings(reader.Path(), 19200);
        ProfileSettings::WriteInt("Port", "Timeout", 200); // the try without answer is shorter
        kqtest::ModalWatcher watcher;
        QVERIFY(App().InitInstance());
        QTRY_COMPARE_WITH_TIMEOUT(App().MainWnd()->StatusText(), kConnected, kStartLimitMs);
        QVERIFY(watcher.seen.isEmpty());
        QCOMPARE(ProfileSettings::ReadInt("Port", "Baudrate", 0), 9600);
        QCOMPARE(OpenPortCount(), 1);
        App().ExitInstance();
        QCOMPARE(OpenPortCount(), 0);
    }

    // Once the program has decided to end, nothing more goes to the line: no port
    // opened for the engine, no beep.
    void afterTheDecisionToEndNothingMoreIsSent() {
        kqtest::SimReader reader(kqtest::WriterConfig(38400)); // answers neither at 9600 nor at 19200
        kqtest::FreshSettings(reader.Path());
        ProfileSettings::WriteInt("Port", "Timeout", 200); // the tries without answer are shorter
        size_t logAtDialog = 0;
        kqtest::ModalWatcher watcher([&](QWidget*) {
            logAtDialog = reader.LogSize();
            return false;
        });
        QVERIFY(RunProgramEndsByItself(kStartLimitMs));
        QCOMPARE(watcher.seen, QStringList{QStringLiteral("CPortDlg")});
        QVERIFY(logAtDialog > 0); // the test did try the line
        QTest::qWait(200);
        QCOMPARE(reader.LogSize(), logAtDialog);
        QCOMPARE(OpenPortCount(), 0);
    }

    // The connection test waits for the window to be shown, and runs only once.
    void theConnectionTestRunsOnceAfterTheFirstShow() {
        kqtest::SimReader reader(kqtest::WriterConfig());
        kqtest::FreshSettings(reader.Path());
        CNfcProgDoc doc;
        CMainFrame frame(&doc);
        QTest::qWait(200);
        QCOMPARE(reader.LogSize(), size_t(0));
        frame.show();
        QTRY_COMPARE_WITH_TIMEOUT(frame.StatusText(), kConnected, kStartLimitMs);
        const size_t afterStart = reader.LogSize();
        frame.hide();
        frame.show();
        QTest::qWait(300);
        QCOMPARE(reader.LogSize(), afterStart);
    }
};

int main(int argc, char** argv) {
    CKQ_NFCProgrammerApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StartupTest.moc"
