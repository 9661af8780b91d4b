// The main window on an X11 desktop (an Xvfb server of its own, 1280 x 1024): the
// status bar's lock panes follow the keyboard's XKB indicators as another client
// sets them, and the window takes the room its forms ask for without scrolling.
#include "app/MainFrame.h"
#include "forms/RecordFormView.h"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace {

// Sets an XKB indicator through a display connection of the test's own, as a
// keyboard (or another program) does.
// Caps Lock and Num Lock follow their locked modifiers (the key locks them); Scroll
// Lock has no modifier and is set by name.
bool SetIndicator(const char* name, bool on) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    bool done = false;
    const QByteArray indicator(name);
    if (indicator == "Caps Lock" || indicator == "Num Lock") {
        const unsigned mask =
            indicator == "Caps Lock" ? LockMask : XkbKeysymToModifiers(display, XK_Num_Lock);
        done = mask != 0 && XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0);
    } else {
        const Atom atom = XInternAtom(display, name, False);
        done = XkbSetNamedIndicator(display, atom, True, on ? True : False, False, nullptr);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return done;
}

} // namespace

class DesktopX11Test : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        for (const char* name : {"Caps Lock", "Num Lock", "Scroll Lock"})
            SetIndicator(name, false);
    }

    void lockPanesFollowTheIndicators_data() {
        QTest::addColumn<QStringList>("on"); // indicators switched on
        QTest::addColumn<QStringList>("panes");
        QTest::newRow("none") << QStringList{} << QStringList{"", "", ""};
        QTest::newRow("caps lock") << QStringList{"Caps Lock"} << QStringList{"CAP", "", ""};
        QTest::newRow("num lock") << QStringList{"Num Lock"} << QStringList{"", "NUM", ""};
        QTest::newRow("scroll lock") << QStringList{"Scroll Lock"} << QStringList{"", "", "SCRL"};
        QTest::newRow("all three") << QStringList{"Caps Lock", "Num Lock", "Scroll Lock"}
                                   << QStringList{"CAP", "NUM", "SCRL"};
    }
    void lockPanesFollowTheIndicators() {
        QFETCH(QStringList, on);
        QFETCH(QStringList, panes);
        CMainFrame frame(nullptr);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTRY_COMPARE(frame.LockPaneTexts(), (QStringList{"", "", ""}));
        for (const QString& name : on)
            QVERIFY(SetIndicator(name.toLatin1().constData(), true));
        QTRY_COMPARE_WITH_TIMEOUT(frame.LockPaneTexts(), panes, 20000);
        for (const QString& name : on)
            QVERIFY(SetIndicator(name.toLatin1().constData(), false));
        QTRY_COMPARE_WITH_TIMEOUT(frame.LockPaneTexts(), (QStringList{"", "", ""}), 20000);
    }

    // A screen large enough: the window is as large as its largest form asks, and no
    // form scrolls, not even with a data list's controls shown.
    void onALargeScreenNoFormScrolls() {
        CMainFrame frame(nullptr);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.screen()->availableGeometry().contains(frame.frameGeometry()));
        QCOMPARE(frame.size(), frame.sizeHint());
        auto* scroll = frame.findChild<QScrollArea*>(QStringLiteral("PaneScroll"));
        for (int id : {kViewFormat, kViewBookmark, kViewText, kViewContact, kViewSms, kViewTelephon,
                       kViewMail, kViewUri, kViewDefault, kViewLock}) {
            frame.SwitchView(id);
            QCoreApplication::processEvents();
            // A record form also with the controls of a data list.
            if (auto* form = qobject_cast<CRecordFormView*>(frame.ActiveView())) {
                form->LoadCsvDataList({"a", "b"}, ';', QStringLiteral("liste.csv"));
                QCoreApplication::processEvents();
            }
            QVERIFY2(!scroll->verticalScrollBar()->isVisible() && !scroll->horizontalScrollBar()->isVisible(),
                     qPrintable(QString::number(id)));
        }
    }
};

QTEST_MAIN(DesktopX11Test)
#include "DesktopX11Test.moc"
