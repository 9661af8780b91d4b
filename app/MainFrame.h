#pragma once

#include "app/FileDialogs.h"
#include "app/FormView.h"
#include "app/TagPoll.h"
#include "app/ViewIdTable.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class CDefaultView;
class CNfcProgDoc;
class CRecordFormView;
class QAction;
class QLabel;
class QStackedWidget;
class QToolBar;

// The program's main window. Its pane shows one form at a time (a new one replaces
// the old), chosen by the record-kind, format and lock commands and by what a read
// brings; its toolbar and menus carry the commands; the bar at its top holds the
// language and exit buttons, the bar at its bottom the result of the last tag
// operation as a text and one of four icons.
//
// It runs the three cyclic jobs, each on its own timer with the period
// "Settings"/"ZyklusZeit": 1 reading, 2 writing (or formatting), 3 locking. Each
// tick polls the tag's UID and works on a tag once (CTagPoll). While a job runs the
// window cannot be closed.
//
// The forms reach it through the calls of MainWndForwarders.h; the document through
// MainFrame().
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Icons of the result display.
    enum StatusIcon { IconNeutral = 0, IconSuccess = 1, IconError = 2, IconWaiting = 3 };
    // The cyclic timers.
    enum TimerId { TimerCyclicRead = 1, TimerCyclicWrite = 2, TimerCyclicLock = 3 };

    // doc may be null (no tag operations). The window's position comes from
    // "Settings"/"MainWindowPosX" and "MainWindowPosY"; its size from the largest of
    // its forms. Where the screen is smaller the window fits into it and the form
    // area scrolls; a position off every screen moves to the primary screen.
    explicit CMainFrame(CNfcProgDoc* doc, ViewIdTable views = ViewIdTable::Standard(),
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The QAction of a command (CommandIds.h); null for an unknown id.
    QAction* Action(int commandId) const { return m_actions.value(commandId); }

    // ---- Pane ----------------------------------------------------------------------
    // Shows the form of viewId (the default form for an id without one); nothing
    // when viewId is already shown.
    void SwitchView(int viewId);
    int CurrentViewId() const { return m_currentViewId; }
    CFormView* ActiveView() const { return m_view; }
    // The pane's form when it is the default form, else null.
    CDefaultView* DefaultView() const;
    // Empties the default form's heading when it is shown for view id 171.
    void ClearDefaultView();

    // ---- Result display --------------------------------------------------------------
    // Empty text, neutral icon, the engine's result reset.
    void ClearStatus();
    void SetStatusIcon(int kind);
    // The result's text and icon (error results with "no tag" during a cyclic job
    // get the waiting icon).
    void ShowResult(int state, int index, int extraNumber, const QString& extraText);
    // "Lesen..." (on an empty default form) / "Schreiben...", with the waiting icon.
    void ShowReading();
    void ShowWriting();
    QString GetResultText(int state, int index, int extraNumber, const QString& extraText) const;
    QString StatusText() const;
    int StatusIconKind() const { return m_statusIcon; }

    // ---- Cyclic jobs -------------------------------------------------------------------
    // Starts cyclic reading when the port can be prepared (else shows why), or stops it.
    void SetCyclicRead(bool on);
    // Start or stop timer 2 / 3 (the forms have prepared the port); no form messages.
    void SetCyclicWrite(bool on);
    void SetCyclicLock(bool on);
    bool IsCyclicReadRunning() const { return m_readTimer.isActive(); }
    bool IsCyclicWriteRunning() const { return m_writeTimer.isActive(); }
    bool IsCyclicLockRunning() const { return m_lockTimer.isActive(); }
    bool IsCyclicJobRunning() const {
        return IsCyclicReadRunning() || IsCyclicWriteRunning() || IsCyclicLockRunning();
    }
    // "Zyklisch schreiben beenden": stops cyclic writing and locking, telling the form.
    // Any stop of a write job counts the row of a written tag still on the reader as
    // used (the form moves on), and leaves the last step's result on show.
    void OnStopCyclicWrite();
    // A data list loaded or dropped: the tags written from the last one may take rows
    // of the new one.
    void ForgetWrittenTags();
    // One tick of a timer (TimerId); a tick that comes while the same timer's last
    // tick still runs is dropped.
    void OnTimer(int timerId);
    // Polls the UID: false when a new tag is there to work on.
    bool PollTag(bool report, bool showDefault, bool cyclicWrite);
    // Reads the tag and shows its record in the matching form (cyclic: only a new tag).
    void ReadAndShowTag(bool cyclic);

    // ---- Templates and data lists ----------------------------------------------------
    // "Vorlage speichern": the record form's record into a template file, replaced
    // as a whole only when all of it is written (a failed save says so and leaves
    // the file as it was).
    void OnSaveTemplate();
    // "Vorlage laden": a template file into the form of its kind.
    void OnLoadTemplate();
    // The form of the first line's kind filled from the lines; message 193 and false
    // when the first line names no kind.
    bool ApplyTemplateLines(const QStringList& lines, const QString& fileName);
    // "Datenliste laden": a *.csv file (any letter case) or any other file as a TXT
    // list into the form of its header's kind.
    void OnLoadDataList();
    void ParseCsvDataList(const QString& content, const QString& fileName);
    void ParseTxtDataList(const QString& content, const QString& fileName);
    // The file of the last template saved or loaded.
    QString LastTemplatePath() const { return m_lastTemplatePath; }
    // Where the three commands ask for their file (tests answer for the user).
    void SetFileDialog(FileDialogFunction dialog) { m_fileDialog = std::move(dialog); }

    // The record form's record as template lines (empty when no record form is
    // shown), and such lines shown in the form of their kind (no file named).
    QStringList RecordLines() const;
    void ShowRecordLines(const QStringList& lines);

    // Which language is in use (checks "D" or "E").
    void SetLanguageState(bool english);
    // Sets every command's enabled and checked state.
    void UpdateCommandUi();
    // The status bar's lock panes: "CAP", "NUM", "SCRL" while that lock is on, empty
    // while it is off or where the platform cannot tell (only X11 can).
    void UpdateLockPanes();
    QStringList LockPaneTexts() const;

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddAction(int commandId, const QString& text, const QString& statusTip = {});
    void CreateActions();
    void CreateMenus();
    void CreateBars();
    void OnFirstShown();
    // Size and position from the forms, the stored position and the screens.
    void FitToScreen();
    // A form that asks for more room than it has (a data list's controls shown, a
    // style's fonts) makes the window grow, as far as the screen allows.
    void GrowToForm(const QWidget* form);
    void OnRecordTypeCommand(int viewId);
    void OnFormOnlyCommand(int viewId);
    void OnReadTagButton();
    void OnReadTag();
    void OnCyclicRead();
    void OnEditCopy();
    void OnEditPaste();
    void StopCyclicRead();
    // After a tick: a reader whose line has gone ends every cyclic job, its message
    // staying on show.
    void EndJobsWithoutReader();
    void StartJobTimer(QTimer& timer);
    void EndWriteOrLockJob(QTimer& timer);
    void TakeWrittenRow();
    // Reports the result of a cyclic write or lock step.
    void ReportStepResult();
    void ShowDefaultResult();
    // The window title names the connected reader only.
    void FollowReaderInTitle(int state, int index);
    void SendToView(FrameMessage message);
    // The pane's form when it is a record form, else null.
    CRecordFormView* RecordForm() const;
    // Shows the record form of viewId; message 193 and null when there is none (0:
    // the file named no kind).
    CRecordFormView* SwitchToRecordForm(int viewId);
    QString AskForFile(const FileDialogRequest& request);

    CNfcProgDoc* m_doc;
    ViewIdTable m_views;
    int m_currentViewId = 0;
    QPointer<CFormView> m_view;
    QStackedWidget* m_pane = nullptr;
    class FormScrollArea* m_paneScroll = nullptr; // scrolls the pane where the screen is too small
    QPoint m_storedPos;
    QSize m_formSize;    // the room the forms ask for
    QSize m_fittedFrame; // the window manager's frame the last fit counted

    QHash<int, QAction*> m_actions;
    QMetaObject::Connection m_focusWatch; // UpdateCommandUi on every focus change
    QToolBar* m_upperBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_resultBar = nullptr;
    QLabel* m_resultText = nullptr; // control 1011
    QLabel* m_resultIcon = nullptr; // control 1012
    QLabel* m_lockPanes[3] = {};    // status bar: Caps Lock, Num Lock, Scroll Lock
    QTimer m_indicatorTimer;        // looks at the keyboard's lock indicators
    int m_statusIcon = IconNeutral;
    bool m_english = false;
    bool m_startTestDone = false;
    QString m_lastTemplatePath;
    QString m_readerTitle; // the title naming the reader whose line has gone
    FileDialogFunction m_fileDialog = ShowFileDialog;

    CTagPoll m_poll;
    QTimer m_readTimer;
    QTimer m_writeTimer;
    QTimer m_lockTimer;
    bool m_inReadTick = false;
    bool m_inWriteTick = false;
    bool m_inLockTick = false;
    bool m_keepResult = false;     // the last step failed: its result stays while no tag lies there
    bool m_tagLeftMidStep = false; // the result shown is a step cut short by the tag leaving
};

// The program's main window; null when there is none.
CMainFrame* MainFrame();
