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

#include <QDialog>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A device file the test process may not open, as a serial line of a group the user is
// not in. Run as root (who may open anything), the file belongs to root and "dialout"
// and the process takes the identity of "nobody" (its settings folder with it) until
// this ends; otherwise the file is the user's own, readable and writable by its group only.
class DeniedDevice {
public:
    explicit DeniedDevice(const QString& path) : m_path(path.toUtf8()) {
        QFile(path).open(QIODevice::WriteOnly);
        if (geteuid() != 0) {
            chmod(m_path.constData(), 0060); // the owner's own bits refuse, the group's would allow
            return;
        }
        const group* dialout = getgrnam("dialout");
        QVERIFY(chown(m_path.constData(), 0, dialout ? dialout->gr_gid : 20) == 0);
        chmod(m_path.constData(), 0660);
    }
    // Takes the identity of "nobody" (only when run as root).
    void DropRights() {
        if (geteuid() != 0) return;
        HandSettingsTo(kNobody);
        QVERIFY(seteuid(kNobody) == 0);
        m_dropped = true;
    }
    ~DeniedDevice() {
        if (!m_dropped) return;
        QVERIFY(seteuid(0) == 0);
        HandSettingsTo(0);
    }
    QString Group() const {
        struct stat info {};
        stat(m_path.constData(), &info);
        const group* owner = getgrgid(info.st_gid);
        return owner ? QString::fromUtf8(owner->gr_name) : QString::number(info.st_gid);
    }

private:
    static constexpr uid_t kNobody = 65534;
    static void HandSettingsTo(uid_t owner) {
        const QByteArray root = qgetenv("XDG_CONFIG_HOME");
        QVERIFY(chown(root.constData(), owner, static_cast<gid_t>(-1)) == 0);
        QDirIterator it(QString::fromUtf8(root), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY(chown(it.next().toUtf8().constData(), owner, static_cast<gid_t>(-1)) == 0);
    }
    QByteArray m_path;
    bool m_dropped = false;
};

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
        QVERIFY(frame->statusBar()->currentMessage().isEmpty()); // found at the rate stored
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

    // A device the user may not open (not in its group) fails like a missing one, but
    // the program says so, naming the device and its group: before the interface
    // dialog opens, and again when OK there cannot open it either.
    void aDeviceTheUserMayNotOpenIsExplained() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                              QFile::ExeOther);
        const QString path = dir.filePath(QStringLiteral("ttyKQ0"));
        DeniedDevice device(path);
        kqtest::FreshSettings(path);
        device.DropRights();
        kqtest::ModalWatcher watcher([](QWidget* modal) {
            if (modal->objectName() != QLatin1String("CPortDlg")) return false;
            qobject_cast<QDialog*>(modal)->accept(); // OK on the stored device
            return true;
        });
        QVERIFY(RunProgramEndsByItself(kStartLimitMs));
        const QString told =
            QString::fromUtf8("Keine Berechtigung für %1: das Gerät gehört der Gruppe \"%2\". "
                              "Bitte den Benutzer in diese Gruppe aufnehmen (sudo usermod -aG %2 "
                              "BENUTZER) und neu anmelden.")
                .arg(path, device.Group());
        QCOMPARE(watcher.seen, (QStringList{told, QStringLiteral("CPortDlg"), told}));
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
    // rate that worked is stored and the engine opens its port with it. A reader that
    // lost power is back at its default 19200 while 4800 is stored: found too.
    void aSilentSerialReaderIsFoundAtTheOtherRate_data() {
        QTest::addColumn<int>("readerBaud");
        QTest::addColumn<int>("storedBaud");
        QTest::newRow("the other usual rate") << 9600 << 19200;
        QTest::newRow("back at its default after a power cycle") << 19200 << 4800;
    }
    void aSilentSerialReaderIsFoundAtTheOtherRate() {
        QFETCH(int, readerBaud);
        QFETCH(int, storedBaud);
        kqtest::SimReader reader(kqtest::WriterConfig(readerBaud));
        // The try without answer is short all the same: the open's probe waits 300 ms
        // at most. The generous time-out holds for the answers that do come.
        kqtest::FreshSettings(reader.Path(), storedBaud);
        kqtest::ModalWatcher watcher;
        QVERIFY(App().InitInstance());
        QTRY_COMPARE_WITH_TIMEOUT(App().MainWnd()->StatusText(), kConnected, kStartLimitMs);
        QVERIFY(watcher.seen.isEmpty());
        QCOMPARE(ProfileSettings::ReadInt("Port", "Baudrate", 0), readerBaud);
        QCOMPARE(
            App().MainWnd()->statusBar()->currentMessage(),
            QString::fromUtf8("Leser mit %1 Baud gefunden; diese Rate ist gespeichert.").arg(readerBaud));
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
        bool drained = false;
        kqtest::ModalWatcher watcher([&](QWidget*) {
            // What the program wrote before the dialog counts, even when a busy machine
            // lets the simulator take it only later (the program waited out its answer
            // time-out since its last write, so the kernel has handed that on).
            drained = kqtest::WaitDrained(reader);
            logAtDialog = reader.LogSize();
            return false;
        });
        QVERIFY(RunProgramEndsByItself(kStartLimitMs));
        QCOMPARE(watcher.seen, QStringList{QStringLiteral("CPortDlg")});
        QVERIFY(drained);
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
