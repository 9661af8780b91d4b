// The main frame's pane, commands, messages to its form and result display, against
// the simulated reader where a port is needed.
#include "app/MainFrame.h"
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainWndForwarders.h"
#include "app/NfcProgDoc.h"
#include "app/ProfileSettings.h"
#include "forms/DefaultView.h"
#include "forms/Label.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QtTest>

#include <malloc.h>

namespace {

using kqtest::ProbeForm;

// A frame whose text form (165) is a ProbeForm; every other id gets the default form.
ViewIdTable TableWithProbe() {
    ViewIdTable table;
    table.Register<CDefaultView>(kViewDefault);
    table.Register<ProbeForm>(kViewText);
    return table;
}

ProbeForm* Probe(const CMainFrame& frame) {
    return qobject_cast<ProbeForm*>(frame.ActiveView());
}

const QString kConnected = QStringLiteral("KQ-LMX38 verbunden!");

enum class Job { None, Read, Write, Lock };

void Start(CMainFrame& frame, Job job) {
    switch (job) {
    case Job::None:
        break;
    case Job::Read:
        frame.Action(IdCyclicRead)->trigger();
        break;
    case Job::Write:
        SetCyclicWriteViaMainWnd(true);
        break;
    case Job::Lock:
        SetCyclicLockViaMainWnd(true);
        break;
    }
}

void Stop(CMainFrame& frame, Job job) {
    if (job == Job::Read)
        frame.Action(IdCyclicRead)->trigger();
    else if (job != Job::None)
        frame.Action(IdStopCyclicWrite)->trigger();
}

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    // A command makes a new form of its view id (the registered one, else the
    // default form), initialises and activates it, and deactivates and deletes the
    // old one; the command of the current form changes nothing.
    void aCommandReplacesTheFormInThePane() {
        CNfcProgDoc doc;
        CMainFrame frame(&doc, TableWithProbe());
        QCOMPARE(frame.CurrentViewId(), 0);

        frame.ShowResult(0, 1, 0, {});
        frame.Action(IdText)->trigger();
        QPointer<ProbeForm> probe = Probe(frame);
        QVERIFY(probe);
        QCOMPARE(frame.CurrentViewId(), int(kViewText));
        QCOMPARE(probe->calls, (QStringList{"OnInitialUpdate", "activate", "ClearRecord"}));
        QCOMPARE(frame.StatusText(), QString());
        QTRY_VERIFY(frame.Action(IdText)->isChecked());

        frame.Action(IdBookmark)->trigger(); // no form of its own in this table
        QVERIFY(frame.DefaultView());
        QCOMPARE(frame.CurrentViewId(), int(kViewBookmark));
        QCOMPARE(probe->calls.last(), QStringLiteral("deactivate"));
        QTRY_VERIFY(!probe);
        QTRY_VERIFY(frame.Action(IdBookmark)->isChecked());
        QVERIFY(!frame.Action(IdText)->isChecked());

        CFormView* shown = frame.ActiveView();
        frame.SwitchView(kViewBookmark);
        QCOMPARE(frame.ActiveView(), shown);

        for (const int id : {IdFormat, IdLock}) {
            frame.Action(id)->trigger();
            QCOMPARE(frame.CurrentViewId(), id);
            QVERIFY(frame.DefaultView());
        }
    }

    // +11 and +12 when cyclic reading starts and stops, +14 when "Zyklisch schreiben
    // beenden" stops writing or locking; the forms' own start and stop send nothing.
    // A message posted to a form that has been replaced meanwhile is dropped.
    void theFormHearsOfTheCyclicJobs() {
        kqtest::SimReader reader(kqtest::WriterConfig());
        kqtest::FreshSettings(reader.Path());
        CNfcProgDoc doc;
        CMainFrame frame(&doc, TableWithProbe());
        frame.SwitchView(kViewText);
        ProbeForm* probe = Probe(frame);
        probe->calls.clear();

        frame.Action(IdCyclicRead)->trigger();
        QVERIFY(frame.IsCyclicReadRunning());
        frame.Action(IdCyclicRead)->trigger();
        QVERIFY(!frame.IsCyclicReadRunning());
        QCOMPARE(probe->calls, (QStringList{"+11", "+12"}));

        for (Job job : {Job::Write, Job::Lock}) {
            probe->calls.clear();
            Start(frame, job);
            QVERIFY(frame.IsCyclicJobRunning());
            if (job == Job::Write) SetCyclicWriteViaMainWnd(false);
            if (job == Job::Lock) SetCyclicLockViaMainWnd(false);
            QVERIFY(!frame.IsCyclicJobRunning());
            Start(frame, job);
            frame.ShowWriting();
            frame.Action(IdStopCyclicWrite)->trigger();
            QVERIFY(!frame.IsCyclicJobRunning());
            QCOMPARE(probe->calls, QStringList{"+14"});
            QCOMPARE(frame.StatusText(), QString());
        }

        probe->calls.clear();
        QCoreApplication::postEvent(probe, new FrameMessageEvent(FrameMessage::NextRecord));
        frame.SwitchView(kViewDefault);
        QCoreApplication::sendPostedEvents(probe, FrameMessageEvent::EventType());
        QCOMPARE(probe->calls, QStringList{"deactivate"});
    }

    // While a job runs: the commands that would start another one, change the form
    // or the interface, switch the language or end the program are disabled, and
    // closing the window is refused. Once it stops the window closes and stores its
    // position.
    void whileAJobRunsOtherCommandsAndClosingAreRefused_data() {
        QTest::addColumn<Job>("job");
        // enabled: record kinds, read once/cyclic, stop writing, interface/settings/
        // about/language/exit
        QTest::addColumn<QList<bool>>("enabled");
        QTest::newRow("none") << Job::None << QList<bool>{true, true, false, true};
        QTest::newRow("reading") << Job::Read << QList<bool>{false, true, false, false};
        QTest::newRow("writing") << Job::Write << QList<bool>{false, false, true, false};
        QTest::newRow("locking") << Job::Lock << QList<bool>{false, false, true, false};
    }
    void whileAJobRunsOtherCommandsAndClosingAreRefused() {
        QFETCH(Job, job);
        QFETCH(QList<bool>, enabled);
        kqtest::SimReader reader(kqtest::WriterConfig());
        kqtest::FreshSettings(reader.Path());
        CNfcProgDoc doc;
        CMainFrame frame(&doc);
        frame.show();
        QTRY_COMPARE_WITH_TIMEOUT(frame.StatusText(), kConnected, 10000);
        frame.move(140, 90);

        Start(frame, job);
        const std::pair<QList<int>, bool> groups[] = {
            {{IdBookmark, IdText, IdContact, IdSms, IdTelephon, IdMail, IdFormat, IdLock}, enabled[0]},
            {{IdReadTagButton, IdReadTag, IdCyclicRead}, enabled[1]},
            {{IdStopCyclicWrite}, enabled[2]},
            {{IdChooseInterface, IdSettings, IdAppAbout, IdLanguageGerman, IdLanguageEnglish, IdAppExit},
             enabled[3]},
        };
        for (const auto& [ids, expected] : groups)
            for (int id : ids)
                QVERIFY2(frame.Action(id)->isEnabled() == expected, qPrintable(QString::number(id)));
        QCOMPARE(frame.Action(IdCyclicRead)->isChecked(), job == Job::Read);
        QCOMPARE(frame.Action(IdReadTagButton)->isChecked(), job == Job::Read);

        if (job != Job::None) {
            QVERIFY(!frame.close());
            QVERIFY(frame.isVisible());
            QCOMPARE(ProfileSettings::ReadInt("Settings", "MainWindowPosX", -1), -1);
            Stop(frame, job);
            QVERIFY(!frame.IsCyclicJobRunning());
        }
        QVERIFY(frame.close());
        QCOMPARE(ProfileSettings::ReadInt("Settings", "MainWindowPosX", -1), 140);
        QCOMPARE(ProfileSettings::ReadInt("Settings", "MainWindowPosY", -1), 90);
    }

    // The window asks for the room of its largest form, but fits the screen (the
    // offscreen screen, 800 x 800, is narrower): the result bar lies on the screen and
    // the form area scrolls. A position stored on a screen that is gone moves to the
    // primary screen.
    void theWindowFitsTheScreen() {
        ProfileSettings::WriteInt("Settings", "MainWindowPosX", 5000);
        ProfileSettings::WriteInt("Settings", "MainWindowPosY", 4000);
        CMainFrame frame(nullptr);
        frame.SwitchView(kViewContact);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize asked = frame.sizeHint();
        QVERIFY(asked.width() > screen.width() || asked.height() > screen.height());
        QVERIFY2(screen.contains(frame.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                        .arg(frame.x())
                                                                        .arg(frame.y())
                                                                        .arg(frame.width())
                                                                        .arg(frame.height())));
        auto* resultBar = frame.findChild<QToolBar*>(QStringLiteral("ResultBar"));
        QVERIFY(resultBar->isVisible());
        QVERIFY(screen.contains(QRect(resultBar->mapToGlobal(QPoint(0, 0)), resultBar->size())));
        auto* scroll = frame.findChild<QScrollArea*>(QStringLiteral("PaneScroll"));
        QVERIFY(scroll->horizontalScrollBar()->maximum() > 0 || scroll->verticalScrollBar()->maximum() > 0);
        // The offscreen platform cannot tell the keyboard's lock indicators: the
        // status bar's panes stay empty.
        QCOMPARE(frame.LockPaneTexts(), (QStringList{"", "", ""}));
    }

    // Copy needs a selection in the focused edit, paste a focused edit; neither works
    // while a job runs. Paste also clears the result.
    void copyAndPasteActOnTheFocusedEdit() {
        CMainFrame frame(nullptr, TableWithProbe());
        frame.SwitchView(kViewText);
        auto* edit = new QLineEdit(QStringLiteral("Hallo Welt"), frame.ActiveView());
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QAction* copy = frame.Action(IdEditCopy);
        QAction* paste = frame.Action(IdEditPaste);

        edit->setFocus();
        edit->setSelection(0, 5);
        frame.UpdateCommandUi();
        QVERIFY(copy->isEnabled());
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Hallo"));

        edit->setCursorPosition(10);
        frame.ShowResult(0, 2, 0, {});
        frame.UpdateCommandUi();
        QVERIFY(!copy->isEnabled());
        QVERIFY(paste->isEnabled());
        paste->trigger();
        QCOMPARE(edit->text(), QStringLiteral("Hallo WeltHallo"));
        QCOMPARE(frame.StatusText(), QString());

        SetCyclicWriteViaMainWnd(true);
        edit->selectAll();
        frame.UpdateCommandUi();
        QVERIFY(!copy->isEnabled());
        QVERIFY(!paste->isEnabled());
        SetCyclicWriteViaMainWnd(false);

        edit->clearFocus();
        frame.UpdateCommandUi();
        QVERIFY(!copy->isEnabled());
        QVERIFY(!paste->isEnabled());
    }

    // The result bar: text and icon by state; "no tag" during a cyclic job waits
    // instead of failing. The default form shows the engine's result in its heading.
    void theResultBarAndTheDefaultFormShowTheResult() {
        CNfcProgDoc doc;
        CMainFrame frame(&doc);
        frame.ShowReading();
        QCOMPARE(frame.CurrentViewId(), int(kViewDefault));
        QCOMPARE(frame.StatusText(), QStringLiteral("Lesen..."));
        QCOMPARE(frame.StatusIconKind(), int(CMainFrame::IconWaiting));

        const struct {
            int state, index;
            bool cyclic;
            const char* text;
            int icon;
        } rows[] = {
            {-1, 0, false, "", CMainFrame::IconNeutral},
            {0, 2, false, "Schreiben erfolgreich!", CMainFrame::IconSuccess},
            {1, 13, false, "Kein Transponder!", CMainFrame::IconError},
            {1, 13, true, "Bitte Transponder auflegen!", CMainFrame::IconWaiting},
            {2, 20, true, "NFC-Schreibschutz, schreiben nicht möglich!", CMainFrame::IconError},
            {3, 40, false, "Unbekannter Datentyp in NFC-Daten", CMainFrame::IconError},
        };
        for (const auto& row : rows) {
            SetCyclicWriteViaMainWnd(row.cyclic);
            frame.ShowResult(row.state, row.index, 0, {});
            QCOMPARE(frame.StatusText(), QString::fromUtf8(row.text));
            QCOMPARE(frame.StatusIconKind(), row.icon);
        }
        SetCyclicWriteViaMainWnd(false);

        doc.Engine().SetResult(1, 12);
        frame.DefaultView()->ShowResult();
        const QString noConnection =
            QStringLiteral("Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!");
        QCOMPARE(frame.DefaultView()->Text(), noConnection);
        QCOMPARE(frame.DefaultView()->Heading()->LabelText(), noConnection);
        frame.DefaultView()->OnCyclicReadStopped();
        QCOMPARE(frame.DefaultView()->Heading()->LabelText(), QString());
        QCOMPARE(frame.DefaultView()->Text(), noConnection);
        frame.ClearDefaultView();
        QCOMPARE(frame.DefaultView()->Text(), QString());

        frame.ShowWriting();
        frame.ClearStatus();
        QCOMPARE(frame.StatusText(), QString());
        QCOMPARE(frame.StatusIconKind(), int(CMainFrame::IconNeutral));
        int state = 0;
        int index = 1;
        doc.Engine().GetResult(state, index);
        QCOMPARE(std::make_pair(state, index), std::make_pair(-1, 0));
    }

    // A frame deleted while it is shown with the focus in a form (the program quits
    // during its start test) hears nothing of the focus change its own teardown
    // causes. Freed memory is filled with a pattern meanwhile, so that a call into
    // the half-destroyed frame faults.
    void aFrameDeletedWhileShownIsNotCalledBackByItsTeardown() {
        auto frame = std::make_unique<CMainFrame>(nullptr);
        frame->show();
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        frame->SwitchView(kViewText);
        auto* edit = frame->findChild<QPlainTextEdit*>(QStringLiteral("133"));
        QVERIFY(edit);
        edit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        mallopt(M_PERTURB, 0xA5);
        frame.reset();
        mallopt(M_PERTURB, 0);
        QVERIFY(!MainFrame());
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
