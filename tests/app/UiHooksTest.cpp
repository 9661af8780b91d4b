// The Qt side of the reader library's answer wait, with the real library on a pty and
// a reader that takes its time to answer. Runs on the xcb platform under Xvfb, so that
// a key press travels through the X server and waits in the window system's queue as
// a user's would.
#include "ShellTestSupport.h"
#include "X11Input.h"
#include "app/QtUiHooks.h"
#include "kqlmx.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

constexpr auto kAnswerDelay = 600ms;

// Counts the keys it gets, apart by whether an exchange was running.
class KeyCounter : public QLineEdit {
public:
    bool inExchange = false;
    int duringExchange = 0;
    int afterExchange = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        (inExchange ? duringExchange : afterExchange)++;
        QLineEdit::keyPressEvent(event);
    }
};

struct SlowReader {
    kqtest::SimReader reader{kqtest::WriterConfig()};
    int port = KQLMX_OpenPort(reader.pty.slavePath().c_str(), 19200, 3000);

    SlowReader() { reader.sim.inject(kqsim::Fault::delay({.beforeAnswer = kAnswerDelay}).always()); }
    ~SlowReader() { KQLMX_ClosePort(port); }
    int AskVersion() {
        unsigned char version[4] = {};
        return KQLMX_GetReaderVersion(port, version, 4);
    }
};

bool ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) return false;
    window.setFocus();
    return window.hasFocus();
}

} // namespace

class UiHooksTest : public QObject {
    Q_OBJECT
private slots:
    void init() { InstallQtUiHooks(); }
    void cleanup() { RemoveQtUiHooks(); }

    // A key pressed while the library waits for an answer reaches the window only
    // after the answer (so no second exchange can start in the middle of one), while
    // timers keep running. With wait mode on the window stays enabled: only the wait's
    // event filter holds the key back.
    void aKeyPressedDuringTheWaitArrivesAfterTheAnswer() {
        SlowReader slow;
        QVERIFY(slow.port > 0);
        QCOMPARE(KQLMX_SetWaitMode(slow.port, 1), 1);
        KeyCounter window;
        QVERIFY(ShowActive(window));

        bool timerRan = false;
        bool keySent = false;
        QTimer::singleShot(50, [&] {
            timerRan = true;
            keySent = SendX11KeyClick(window.winId(), "a");
        });
        window.inExchange = true;
        QCOMPARE(slow.AskVersion(), 4);
        window.inExchange = false;

        QVERIFY(timerRan);
        QVERIFY(keySent);
        QCOMPARE(window.duringExchange, 0);
        QTRY_COMPARE(window.afterExchange, 1);
        QCOMPARE(window.text(), QStringLiteral("a"));
    }

    // Without wait mode the active window is disabled and loses the keyboard focus
    // for the length of the wait; both come back, and a key pressed meanwhile is not
    // lost.
    void theActiveWindowIsDisabledForTheWaitAndRestored() {
        SlowReader slow;
        QVERIFY(slow.port > 0);
        KeyCounter window;
        QVERIFY(ShowActive(window));

        bool enabledDuringWait = true;
        bool focusDuringWait = true;
        QTimer::singleShot(50, [&] {
            enabledDuringWait = window.isEnabled();
            focusDuringWait = window.hasFocus();
            SendX11KeyClick(window.winId(), "b");
        });
        window.inExchange = true;
        QCOMPARE(slow.AskVersion(), 4);
        window.inExchange = false;

        QVERIFY(!enabledDuringWait);
        QVERIFY(!focusDuringWait);
        QVERIFY(window.isEnabled());
        QVERIFY(window.hasFocus());
        QCOMPARE(window.duringExchange, 0);
        QTRY_COMPARE(window.text(), QStringLiteral("b"));
    }

    // A window that an event pumped during the wait deletes is not touched afterwards.
    void aWindowDeletedDuringTheWaitIsLeftAlone() {
        SlowReader slow;
        QVERIFY(slow.port > 0);
        auto* window = new QLineEdit;
        QVERIFY(ShowActive(*window));
        QPointer<QLineEdit> watched = window;
        QTimer::singleShot(50, [window] { delete window; });
        QCOMPARE(slow.AskVersion(), 4);
        QVERIFY(!watched);
    }
};

QTEST_MAIN(UiHooksTest)
#include "UiHooksTest.moc"
