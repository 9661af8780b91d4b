#include "app/MainFrame.h"

#include "app/CommandIds.h"
#include "app/KeyboardLocks.h"
#include "app/NfcProgDoc.h"
#include "app/NfcProgView.h"
#include "app/ProfileSettings.h"
#include "app/ResultMessageTable.h"
#include "app/TemplateFiles.h"
#include "app/WarningBox.h"
#include "app/WindowPlacement.h"
#include "forms/DefaultView.h"
#include "forms/RecordFormView.h"
#include "res/Icons.h"
#include "res/StringTable.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>

#include <memory>

namespace {

QPointer<CMainFrame> g_mainFrame;

const QString kSettingsSection = QStringLiteral("Settings");
const QString kTemplateSection = QStringLiteral("Template");
const QString kDataListSection = QStringLiteral("UserdataList");
const QString kDirectoryKey = QStringLiteral("Directory");
const QString kCsvFileKey = QStringLiteral("CSV-File");
constexpr int kToolbarIconSize = 64;
constexpr int kLockPollMs = 250;
constexpr int kResultIconSize = 32;

// The window with the keyboard focus when it is an edit control.
QWidget* FocusEdit() {
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) ||
        qobject_cast<QPlainTextEdit*>(focus))
        return focus;
    return nullptr;
}

bool EditHasSelection(QWidget* edit) {
    if (auto* line = qobject_cast<QLineEdit*>(edit)) return line->hasSelectedText();
    if (auto* text = qobject_cast<QTextEdit*>(edit)) return text->textCursor().hasSelection();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(edit)) return plain->textCursor().hasSelection();
    return false;
}

KqIconId ResultIconId(int kind) {
    switch (kind) {
    case CMainFrame::IconSuccess:
        return KqIconId::ResultSuccess;
    case CMainFrame::IconError:
        return KqIconId::ResultError;
    case CMainFrame::IconWaiting:
        return KqIconId::ResultWaiting;
    default:
        return KqIconId::ResultNeutral;
    }
}

// The folder of a file with its '/'.
QString FolderOf(const QString& path) {
    return QFileInfo(path).absolutePath() + QLatin1Char('/');
}

// The folder a command remembers, by default the documents folder.
QString RememberedFolder(const QString& section) {
    return ProfileSettings::ReadString(section, kDirectoryKey, DocumentsFolder());
}

// The record kind a read item is shown in; the default form for anything else.
int ViewIdForTagData(const CNfcTagData& data) {
    if (data.HasText()) return kViewText;
    if (const CMime* mime = data.GetMime())
        return mime->GetMimeKind() == CMime::kVCard ? kViewContact : kViewDefault;
    if (const CUriScheme* scheme = data.GetUriScheme()) {
        switch (scheme->GetSchemeType()) {
        case CUriScheme::kUnknown:
            return kViewUri;
        case CUriScheme::kBookmark:
            return kViewBookmark;
        case CUriScheme::kMail:
            return kViewMail;
        case CUriScheme::kSms:
            return kViewSms;
        case CUriScheme::kTelephon:
            return kViewTelephon;
        default:
            return kViewDefault;
        }
    }
    return kViewDefault;
}

} // namespace

// The scroll area around the pane asks for the room of the largest form.
class FormScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    void SetFormSize(QSize size) {
        m_formSize = size;
        updateGeometry();
    }
    QSize sizeHint() const override {
        const int frame = 2 * frameWidth();
        return m_formSize + QSize(frame, frame);
    }

private:
    QSize m_formSize;
};

CMainFrame* MainFrame() {
    return g_mainFrame.data();
}

CMainFrame::CMainFrame(CNfcProgDoc* doc, ViewIdTable views, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_views(std::move(views)) {
    g_mainFrame = this;
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowTitle(KqString(IdsAppTitle));
    m_storedPos = QPoint(ProfileSettings::ReadInt(kSettingsSection, QStringLiteral("MainWindowPosX"), 0),
                         ProfileSettings::ReadInt(kSettingsSection, QStringLiteral("MainWindowPosY"), 0));

    CreateActions();
    CreateMenus();
    CreateBars();

    m_paneScroll = new FormScrollArea(this);
    m_paneScroll->setObjectName(QStringLiteral("PaneScroll"));
    m_paneScroll->setWidgetResizable(true);
    m_paneScroll->setFrameShape(QFrame::NoFrame);
    m_pane = new QStackedWidget(m_paneScroll);
    m_pane->setObjectName(QStringLiteral("Pane"));
    m_paneScroll->setWidget(m_pane);
    setCentralWidget(m_paneScroll);
    m_view = new CNfcProgView(m_doc, m_pane);
    m_pane->addWidget(m_view);
    m_view->OnInitialUpdate();
    m_view->Activate(true);

    for (QTimer* timer : {&m_readTimer, &m_writeTimer, &m_lockTimer})
        timer->setTimerType(Qt::PreciseTimer);
    connect(&m_readTimer, &QTimer::timeout, this, [this] { OnTimer(TimerCyclicRead); });
    connect(&m_writeTimer, &QTimer::timeout, this, [this] { OnTimer(TimerCyclicWrite); });
    connect(&m_lockTimer, &QTimer::timeout, this, [this] { OnTimer(TimerCyclicLock); });
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this] { UpdateCommandUi(); });
    UpdateCommandUi();

    // The frame takes the size of its largest form, as a form view's frame fits itself
    // to its form.
    for (int id : m_views.Ids()) {
        std::unique_ptr<CFormView> form(m_views.Create(id, m_doc, nullptr));
        form->Activate(true);   // active forms set their heading's font
        form->ensurePolished(); // the style's fonts and margins, as when shown
        m_formSize = m_formSize.expandedTo(form->sizeHint());
    }
    m_paneScroll->SetFormSize(m_formSize);
    FitToScreen();
}

void CMainFrame::GrowToForm(const QWidget* form) {
    const QSize wanted = m_formSize.expandedTo(form->sizeHint());
    if (wanted == m_formSize) return;
    m_formSize = wanted;
    m_paneScroll->SetFormSize(m_formSize);
    if (isVisible()) m_storedPos = pos();
    FitToScreen();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LayoutRequest && watched == m_view) GrowToForm(m_view);
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::FitToScreen() {
    // A fixed size: the forms do not grow with the window.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize wanted = sizeHint();
    // The window manager's frame, known once the window is shown.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    QList<QRect> areas;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens)
        areas << screen->availableGeometry();
    const int primary = static_cast<int>(screens.indexOf(QGuiApplication::primaryScreen()));
    m_fittedFrame = frame;
    const QRect placed = PlaceWindow(QRect(m_storedPos, wanted + frame), areas, primary);
    setFixedSize(placed.size() - frame);
    move(placed.topLeft());
}

CMainFrame::~CMainFrame() {
    // Hiding the window, which the base class does after this frame's members are
    // gone, changes the focus once more.
    disconnect(m_focusWatch);
    if (g_mainFrame == this) g_mainFrame = nullptr;
}

// ---- Commands ------------------------------------------------------------------------

QAction* CMainFrame::AddAction(int commandId, const QString& text, const QString& statusTip) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::number(commandId));
    if (!statusTip.isEmpty()) action->setStatusTip(statusTip);
    m_actions.insert(commandId, action);
    return action;
}

void CMainFrame::CreateActions() {
    const std::pair<int, QString> recordKinds[] = {
        {IdBookmark, tr("Webadresse")},    {IdText, tr("Text")},
        {IdContact, tr("Kontakt")},        {IdSms, tr("SMS")},
        {IdTelephon, tr("Telefonnummer")}, {IdMail, tr("E-Mail")},
    };
    const KqIconId recordIcons[] = {KqIconId::Bookmark, KqIconId::Text,     KqIconId::Contact,
                                    KqIconId::Sms,      KqIconId::Telephon, KqIconId::Mail};
    for (int i = 0; i < 6; ++i) {
        const int id = recordKinds[i].first;
        QAction* action = AddAction(id, recordKinds[i].second, recordKinds[i].second);
        action->setIcon(KqIcon(recordIcons[i]));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, id] { OnRecordTypeCommand(id); });
    }
    QAction* format = AddAction(IdFormat, tr("Formatieren"), tr("Formatieren"));
    format->setIcon(KqIcon(KqIconId::Format));
    format->setCheckable(true);
    connect(format, &QAction::triggered, this, [this] { OnFormOnlyCommand(kViewFormat); });
    QAction* lock = AddAction(IdLock, tr("Sperren"), tr("Sperren"));
    lock->setIcon(KqIcon(KqIconId::Lock));
    lock->setCheckable(true);
    connect(lock, &QAction::triggered, this, [this] { OnFormOnlyCommand(kViewLock); });

    QAction* readButton = AddAction(IdReadTagButton, tr("Lesen"), tr("Transponder lesen"));
    readButton->setIcon(KqIcon(KqIconId::ReadTag));
    readButton->setCheckable(true);
    connect(readButton, &QAction::triggered, this, &CMainFrame::OnReadTagButton);
    connect(AddAction(IdReadTag, tr("Transponder lesen")), &QAction::triggered, this, &CMainFrame::OnReadTag);
    QAction* cyclicRead = AddAction(IdCyclicRead, tr("Transponder zyklisch lesen"));
    cyclicRead->setCheckable(true);
    connect(cyclicRead, &QAction::triggered, this, &CMainFrame::OnCyclicRead);
    connect(AddAction(IdStopCyclicWrite, tr("Zyklisch schreiben beenden")), &QAction::triggered, this,
            &CMainFrame::OnStopCyclicWrite);

    connect(AddAction(IdEditCopy, tr("Text kopieren\tStrg+C")), &QAction::triggered, this,
            &CMainFrame::OnEditCopy);
    connect(AddAction(IdEditPaste, tr("Text einfügen\tStrg+V")), &QAction::triggered, this,
            &CMainFrame::OnEditPaste);
    connect(AddAction(IdLoadTemplate, tr("Vorlage laden")), &QAction::triggered, this,
            &CMainFrame::OnLoadTemplate);
    connect(AddAction(IdSaveTemplate, tr("Vorlage speichern")), &QAction::triggered, this,
            &CMainFrame::OnSaveTemplate);
    connect(AddAction(IdLoadDataList, tr("Datenliste laden")), &QAction::triggered, this,
            &CMainFrame::OnLoadDataList);

    QAction* chooseInterface = AddAction(IdChooseInterface, tr("Schnittstelle wählen"));
    connect(chooseInterface, &QAction::triggered, this, [this] {
        if (m_doc) m_doc->OnChooseInterface();
    });
    connect(AddAction(IdSettings, tr("Einstellungen")), &QAction::triggered, this, [this] {
        if (m_doc) m_doc->OnSettings();
    });

    // The application object answers these.
    AddAction(IdAppAbout, tr("Inf&o über KQ-NFC Programmer..."));
    AddAction(IdHelp, tr("&Hilfe"))->setShortcut(QKeySequence::HelpContents);
    QAction* german = AddAction(IdLanguageGerman, QStringLiteral("D"), tr("Umschaltung auf Deutsch"));
    german->setToolTip(tr("Deutsch"));
    german->setIcon(KqIcon(KqIconId::German));
    german->setCheckable(true);
    QAction* english = AddAction(IdLanguageEnglish, QStringLiteral("E"), tr("Umschaltung auf Englisch"));
    english->setToolTip(tr("Englisch"));
    english->setIcon(KqIcon(KqIconId::English));
    english->setCheckable(true);
    QAction* exit = AddAction(IdAppExit, tr("Exit"), tr("Programm beenden"));
    exit->setIcon(KqIcon(KqIconId::Exit));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    // A click on a checkable command toggles it; the rules decide again.
    for (QAction* action : std::as_const(m_actions))
        connect(action, &QAction::triggered, this, &CMainFrame::UpdateCommandUi, Qt::QueuedConnection);
}

void CMainFrame::CreateMenus() {
    const auto addMenu = [this](const QString& title, std::initializer_list<int> ids) {
        QMenu* menu = menuBar()->addMenu(title);
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(Action(id));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
        // The hover text of its commands goes with the menu.
        connect(menu, &QMenu::aboutToHide, statusBar(), &QStatusBar::clearMessage);
        return menu;
    };
    addMenu(tr("&Datei"), {IdChooseInterface, IdSettings});
    addMenu(tr("&Bearbeiten"),
            {IdEditCopy, IdEditPaste, 0, IdLoadTemplate, IdSaveTemplate, 0, IdLoadDataList});
    addMenu(tr("&Transponder"), {IdReadTag, IdCyclicRead, IdStopCyclicWrite, 0, IdFormat, IdLock});
    addMenu(tr("&NFC-Daten"), {IdBookmark, IdText, IdContact, IdSms, IdTelephon, IdMail});
    addMenu(tr("&Hilfe"), {IdHelp, 0, IdAppAbout});
}

void CMainFrame::CreateBars() {
    m_upperBar = new QToolBar(tr("Sprache"), this);
    m_upperBar->setObjectName(QStringLiteral("UpperBar"));
    m_upperBar->setMovable(false);
    m_upperBar->setIconSize(QSize(24, 24));
    m_upperBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_upperBar->addActions({Action(IdLanguageGerman), Action(IdLanguageEnglish), Action(IdAppExit)});
    addToolBar(Qt::TopToolBarArea, m_upperBar);
    addToolBarBreak(Qt::TopToolBarArea);

    m_toolBar = new QToolBar(tr("Symbolleiste"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(kToolbarIconSize, kToolbarIconSize));
    m_toolBar->addAction(Action(IdReadTagButton));
    m_toolBar->addSeparator();
    for (int id : {IdBookmark, IdText, IdContact, IdSms, IdTelephon, IdMail})
        m_toolBar->addAction(Action(id));
    m_toolBar->addSeparator();
    m_toolBar->addAction(Action(IdFormat));
    m_toolBar->addAction(Action(IdLock));
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    m_resultBar = new QToolBar(tr("Ergebnis"), this);
    m_resultBar->setObjectName(QStringLiteral("ResultBar"));
    m_resultBar->setMovable(false);
    m_resultBar->setFloatable(false);
    m_resultBar->toggleViewAction()->setVisible(false);
    auto* result = new QWidget(m_resultBar);
    auto* layout = new QHBoxLayout(result);
    layout->setContentsMargins(8, 6, 8, 6);
    m_resultIcon = new QLabel(result);
    m_resultIcon->setObjectName(QStringLiteral("1012"));
    m_resultIcon->setFixedSize(kResultIconSize, kResultIconSize);
    m_resultText = new QLabel(result);
    m_resultText->setObjectName(QStringLiteral("1011"));
    m_resultText->setTextFormat(Qt::PlainText);
    QFont font = m_resultText->font();
    font.setPointSize(font.pointSize() + 4);
    font.setBold(true);
    m_resultText->setFont(font);
    layout->addWidget(m_resultIcon);
    layout->addWidget(m_resultText, 1);
    m_resultBar->addWidget(result);
    addToolBar(Qt::BottomToolBarArea, m_resultBar);
    SetStatusIcon(IconNeutral);

    statusBar()->setSizeGripEnabled(false); // the window has a fixed size
    const char* const lockNames[] = {"IndicatorCaps", "IndicatorNum", "IndicatorScrl"};
    for (int i = 0; i < 3; ++i) {
        m_lockPanes[i] = new QLabel(statusBar());
        m_lockPanes[i]->setObjectName(QLatin1String(lockNames[i]));
        m_lockPanes[i]->setAlignment(Qt::AlignCenter);
        m_lockPanes[i]->setMinimumWidth(
            m_lockPanes[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        statusBar()->addPermanentWidget(m_lockPanes[i]);
    }
    // The indicators change in any window of the desktop; no event tells this one.
    m_indicatorTimer.setInterval(kLockPollMs);
    connect(&m_indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateLockPanes);
    m_indicatorTimer.start();
    UpdateLockPanes();
}

void CMainFrame::UpdateCommandUi() {
    const bool anyJob = IsCyclicJobRunning();
    const bool writeOrLock = IsCyclicWriteRunning() || IsCyclicLockRunning();
    for (int id : {IdBookmark, IdText, IdContact, IdSms, IdTelephon, IdMail, IdFormat, IdLock}) {
        Action(id)->setEnabled(!anyJob);
        Action(id)->setChecked(m_currentViewId == id);
    }
    for (int id : {IdReadTagButton, IdReadTag, IdCyclicRead})
        Action(id)->setEnabled(!writeOrLock);
    Action(IdReadTagButton)->setChecked(IsCyclicReadRunning());
    Action(IdCyclicRead)->setChecked(IsCyclicReadRunning());
    Action(IdStopCyclicWrite)->setEnabled(writeOrLock);
    QWidget* edit = FocusEdit();
    Action(IdEditCopy)->setEnabled(!anyJob && edit && EditHasSelection(edit));
    Action(IdEditPaste)->setEnabled(!anyJob && edit);
    Action(IdLoadTemplate)->setEnabled(!anyJob);
    Action(IdLoadDataList)->setEnabled(!anyJob);
    Action(IdSaveTemplate)->setEnabled(!anyJob && RecordForm());
    for (int id : {IdChooseInterface, IdSettings, IdAppAbout, IdAppExit, IdLanguageGerman, IdLanguageEnglish})
        Action(id)->setEnabled(!anyJob);
    Action(IdLanguageGerman)->setChecked(!m_english);
    Action(IdLanguageEnglish)->setChecked(m_english);
}

void CMainFrame::UpdateLockPanes() {
    const KeyboardLocks locks = ReadKeyboardLocks().value_or(KeyboardLocks{});
    const bool on[] = {locks.capsLock, locks.numLock, locks.scrollLock};
    const char* const texts[] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        const QString text = on[i] ? QLatin1String(texts[i]) : QString();
        if (m_lockPanes[i]->text() != text) m_lockPanes[i]->setText(text);
    }
}

QStringList CMainFrame::LockPaneTexts() const {
    return {m_lockPanes[0]->text(), m_lockPanes[1]->text(), m_lockPanes[2]->text()};
}

void CMainFrame::SetLanguageState(bool english) {
    m_english = english;
    UpdateCommandUi();
}

void CMainFrame::OnRecordTypeCommand(int viewId) {
    StopCyclicRead();
    SwitchView(viewId);
    if (m_view) m_view->ClearRecord();
    ClearStatus();
}

void CMainFrame::OnFormOnlyCommand(int viewId) {
    StopCyclicRead();
    SwitchView(viewId);
    ClearStatus();
}

void CMainFrame::OnReadTagButton() {
    if (IsCyclicReadRunning())
        StopCyclicRead();
    else
        ReadAndShowTag(false);
}

void CMainFrame::OnReadTag() {
    StopCyclicRead();
    ReadAndShowTag(false);
}

void CMainFrame::OnCyclicRead() {
    if (IsCyclicReadRunning())
        StopCyclicRead();
    else
        SetCyclicRead(true);
}

void CMainFrame::OnEditCopy() {
    QWidget* edit = FocusEdit();
    if (auto* line = qobject_cast<QLineEdit*>(edit)) line->copy();
    if (auto* text = qobject_cast<QTextEdit*>(edit)) text->copy();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(edit)) plain->copy();
}

void CMainFrame::OnEditPaste() {
    ClearStatus();
    QWidget* edit = FocusEdit();
    if (auto* line = qobject_cast<QLineEdit*>(edit)) line->paste();
    if (auto* text = qobject_cast<QTextEdit*>(edit)) text->paste();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(edit)) plain->paste();
}

// ---- Window --------------------------------------------------------------------------

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_startTestDone) return;
    // The window manager's frame counts now; the connection test runs once, once the
    // window is on the screen.
    m_storedPos = pos();
    FitToScreen();
    m_startTestDone = true;
    QTimer::singleShot(0, this, &CMainFrame::OnFirstShown);
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // A window manager may add its frame only after the window was shown: the window
    // fits into the screen again with it, its bottom bars in sight.
    if (!m_startTestDone || frameGeometry().size() - size() == m_fittedFrame) return;
    m_storedPos = pos();
    FitToScreen();
}

void CMainFrame::OnFirstShown() {
    if (!m_doc) return;
    m_doc->OpenOnStart();
    if (m_doc->IsQuitting()) return;
    if (!m_doc->Engine().PreparePort()) m_doc->ReportResult(false);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (IsCyclicJobRunning()) {
        event->ignore();
        return;
    }
    ProfileSettings::WriteInt(kSettingsSection, QStringLiteral("MainWindowPosX"), pos().x());
    ProfileSettings::WriteInt(kSettingsSection, QStringLiteral("MainWindowPosY"), pos().y());
    event->accept();
}

// ---- Pane ----------------------------------------------------------------------------

void CMainFrame::SwitchView(int viewId) {
    if (viewId == m_currentViewId) return;
    QPointer<CFormView> old = m_view;
    CFormView* view = m_views.Create(viewId, m_doc, m_pane);
    m_pane->addWidget(view);
    m_pane->setCurrentWidget(view);
    view->OnInitialUpdate();
    if (old) old->Activate(false);
    view->Activate(true);
    m_view = view;
    m_currentViewId = viewId;
    view->installEventFilter(this);
    GrowToForm(view);
    // A form starts at its top, whatever the last one was scrolled to.
    m_paneScroll->verticalScrollBar()->setValue(0);
    m_paneScroll->horizontalScrollBar()->setValue(0);
    if (old) {
        m_pane->removeWidget(old);
        old->hide();
        // The old form may be somewhere up the call stack.
        old->deleteLater();
    }
    UpdateCommandUi();
}

CDefaultView* CMainFrame::DefaultView() const {
    return qobject_cast<CDefaultView*>(m_view.data());
}

void CMainFrame::ClearDefaultView() {
    if (m_currentViewId != kViewDefault) return;
    if (CDefaultView* view = DefaultView()) view->Clear();
}

void CMainFrame::ShowDefaultResult() {
    if (CDefaultView* view = DefaultView()) view->ShowResult();
}

void CMainFrame::SendToView(FrameMessage message) {
    if (!m_view) return;
    FrameMessageEvent event(message);
    QCoreApplication::sendEvent(m_view, &event);
}

// ---- Result display ------------------------------------------------------------------

void CMainFrame::ClearStatus() {
    m_resultText->clear();
    SetStatusIcon(IconNeutral);
    if (m_doc) m_doc->Engine().ResetResult();
}

void CMainFrame::SetStatusIcon(int kind) {
    m_statusIcon = kind;
    m_resultIcon->setPixmap(KqPixmap(ResultIconId(kind), kResultIconSize));
}

QString CMainFrame::GetResultText(int state, int index, int extraNumber, const QString& extraText) const {
    return ResultMessageText(state, index, extraNumber, extraText, m_doc ? m_doc->GetReaderName() : QString(),
                             IsCyclicJobRunning());
}

QString CMainFrame::StatusText() const {
    return m_resultText->text();
}

void CMainFrame::ShowResult(int state, int index, int extraNumber, const QString& extraText) {
    FollowReaderInTitle(state, index);
    // "No tag" is the cyclic job's wait for the next tag, unless the tag left in the
    // middle of a step: then it is that step's failure.
    const bool waiting = IsCyclicJobRunning() && !m_tagLeftMidStep;
    m_resultText->setText(ResultMessageText(state, index, extraNumber, extraText,
                                            m_doc ? m_doc->GetReaderName() : QString(), waiting));
    if (state == -1)
        SetStatusIcon(IconNeutral);
    else if (state == 0)
        SetStatusIcon(IconSuccess);
    else if (waiting && index == OperationResult::kNoTag)
        SetStatusIcon(IconWaiting);
    else
        SetStatusIcon(IconError);
}

void CMainFrame::FollowReaderInTitle(int state, int index) {
    // A reader whose line has gone is named no more; once its port is open again,
    // it is (unless a new connection has named its own reader meanwhile).
    const QString plain = KqString(IdsAppTitle);
    if (state > 0 && index == OperationResult::kNoConnection) {
        if (windowTitle() == plain) return;
        m_readerTitle = windowTitle();
        setWindowTitle(plain);
    } else if (!m_readerTitle.isEmpty() && m_doc && m_doc->Engine().IsPortOpen()) {
        if (windowTitle() == plain) setWindowTitle(m_readerTitle);
        m_readerTitle.clear();
    }
}

void CMainFrame::ShowReading() {
    SwitchView(kViewDefault);
    if (CDefaultView* view = DefaultView()) view->Clear();
    m_resultText->setText(KqString(IdsReading));
    SetStatusIcon(IconWaiting);
}

void CMainFrame::ShowWriting() {
    m_resultText->setText(KqString(IdsWriting));
    SetStatusIcon(IconWaiting);
}

// ---- Cyclic jobs ---------------------------------------------------------------------

void CMainFrame::StartJobTimer(QTimer& timer) {
    timer.start(ProfileSettings::ZyklusZeit());
    m_poll.Reset();
    m_keepResult = false;
}

void CMainFrame::EndWriteOrLockJob(QTimer& timer) {
    timer.stop();
    if (&timer == &m_writeTimer) TakeWrittenRow();
    // The last step's result stays on show; only the waiting goes.
    if (m_statusIcon == IconWaiting || m_statusIcon == IconNeutral) ClearStatus();
}

void CMainFrame::TakeWrittenRow() {
    // The tag written last still lies on the reader when the job ends: its row is
    // used, and the next start writes the next one, as if the tag had been taken away.
    if (!m_poll.WrittenTagOnReader()) return;
    m_poll.ResetWriteResult();
    SendToView(FrameMessage::NextRecord);
}

void CMainFrame::ForgetWrittenTags() {
    m_poll.ForgetWrittenTags();
}

void CMainFrame::ReportStepResult() {
    int state = -1;
    int index = 0;
    m_doc->Engine().GetResult(state, index);
    // A failed step stays on show while the job waits for the next tag, so that the
    // operator learns that the last tag is blank or half written; a tag that left in
    // the middle of the step (it was found by the poll before) is such a failure too.
    m_keepResult = state > 0;
    m_tagLeftMidStep = state > 0 && index == OperationResult::kNoTag;
    m_doc->ReportResult(!m_tagLeftMidStep);
    m_tagLeftMidStep = false;
}

void CMainFrame::SetCyclicRead(bool on) {
    if (on && !IsCyclicReadRunning()) {
        if (m_doc && m_doc->Engine().PreparePort()) {
            StartJobTimer(m_readTimer);
            SendToView(FrameMessage::CyclicReadStarted);
        } else {
            SwitchView(kViewDefault);
            ShowDefaultResult();
            if (m_doc) m_doc->ReportResult(false);
        }
    } else if (!on) {
        StopCyclicRead();
    }
    UpdateCommandUi();
}

void CMainFrame::StopCyclicRead() {
    if (!IsCyclicReadRunning()) return;
    m_readTimer.stop();
    SendToView(FrameMessage::CyclicReadStopped);
    ClearStatus();
    UpdateCommandUi();
}

void CMainFrame::SetCyclicWrite(bool on) {
    if (on && !IsCyclicWriteRunning()) {
        // Without a data list every job writes its record anew; the tags written
        // from a list are remembered until the list goes.
        const CRecordFormView* form = RecordForm();
        if (!form || form->RowCount() == 0) ForgetWrittenTags();
        StartJobTimer(m_writeTimer);
        m_poll.ResetWriteResult();
    } else if (!on && IsCyclicWriteRunning()) {
        EndWriteOrLockJob(m_writeTimer);
    }
    UpdateCommandUi();
}

void CMainFrame::SetCyclicLock(bool on) {
    if (on && !IsCyclicLockRunning()) {
        StartJobTimer(m_lockTimer);
    } else if (!on && IsCyclicLockRunning()) {
        EndWriteOrLockJob(m_lockTimer);
    }
    UpdateCommandUi();
}

void CMainFrame::OnStopCyclicWrite() {
    for (QTimer* timer : {&m_writeTimer, &m_lockTimer}) {
        if (!timer->isActive()) continue;
        EndWriteOrLockJob(*timer);
        SendToView(FrameMessage::CyclicJobEnded);
    }
    UpdateCommandUi();
}

// The engine has let the line of a reader that is gone go (unplugged, error 3): a
// job would only report the same at every tick. It ends as the user would end it, and
// the message stays; the next command (or job) opens the stored port again.
void CMainFrame::EndJobsWithoutReader() {
    if (!m_doc || !IsCyclicJobRunning()) return;
    const OperationResult result = m_doc->Engine().Result();
    if (result.state <= 0 || result.index != OperationResult::kNoConnection) return;
    StopCyclicRead();
    OnStopCyclicWrite();
    ShowResult(result.state, result.index, result.extraNumber, result.extraText);
}

void CMainFrame::OnTimer(int timerId) {
    switch (timerId) {
    case TimerCyclicRead:
        if (m_inReadTick) return;
        m_inReadTick = true;
        ReadAndShowTag(true);
        m_inReadTick = false;
        break;
    case TimerCyclicWrite:
        if (m_inWriteTick || !m_doc) return;
        m_inWriteTick = true;
        if (!PollTag(true, false, true)) {
            ShowWriting();
            m_doc->Engine().WritePending();
            int state = -1;
            int index = 0;
            m_doc->Engine().GetResult(state, index);
            const CRecordFormView* form = RecordForm();
            m_poll.SetLastWriteOk(state == 0 && index == OperationResult::kWritten,
                                  form ? form->CurrentRow() : -1);
            ReportStepResult();
            // Stopped while the write was under way (the reader's wait lets events in).
            if (!IsCyclicWriteRunning()) TakeWrittenRow();
        }
        m_inWriteTick = false;
        break;
    case TimerCyclicLock:
        if (m_inLockTick || !m_doc) return;
        m_inLockTick = true;
        if (!PollTag(true, false, false)) {
            ShowWriting();
            m_doc->Engine().Lock();
            ReportStepResult();
        }
        m_inLockTick = false;
        break;
    default:
        break;
    }
    EndJobsWithoutReader();
}

bool CMainFrame::PollTag(bool report, bool showDefault, bool cyclicWrite) {
    TagPollReading reading;
    m_doc->Engine().ReadUid(reading.uid);
    m_doc->Engine().GetResult(reading.state, reading.index, &reading.extraNumber);
    const CTagPoll::Decision decision = m_poll.Evaluate(reading, cyclicWrite);
    if (decision.tagTakenAway && m_view)
        QCoreApplication::postEvent(m_view, new FrameMessageEvent(FrameMessage::NextRecord));
    if (decision.writtenBefore) {
        m_keepResult = false;
        m_resultText->setText(decision.writtenRow < 0 ? KqString(IdsTagWrittenBefore)
                                                      : KqFormat(IdsTagHoldsRow, {decision.writtenRow + 1}));
        SetStatusIcon(IconWaiting);
    }
    if (reading.state == 0) return !decision.newTag;
    if (decision.resultChanged) {
        const bool keep = m_keepResult && reading.index == OperationResult::kNoTag;
        if (report && !keep) m_doc->ReportResult(true);
        if (showDefault) {
            SwitchView(kViewDefault);
            ShowDefaultResult();
        }
    }
    return true;
}

void CMainFrame::ReadAndShowTag(bool cyclic) {
    if (!m_doc) return;
    if (cyclic && PollTag(true, true, false)) return;
    ShowReading();
    std::unique_ptr<CNfcTagData> data;
    m_doc->Engine().ReadTag(data);
    m_doc->ReportResult(cyclic);
    if (!data) {
        SwitchView(kViewDefault);
        ShowDefaultResult();
        return;
    }
    const int viewId = ViewIdForTagData(*data);
    SwitchView(viewId);
    if (viewId != kViewDefault && m_view) m_view->ShowTagRecord(*data);
}

// ---- Templates and data lists ----------------------------------------------------------

CRecordFormView* CMainFrame::RecordForm() const {
    return qobject_cast<CRecordFormView*>(m_view.data());
}

CRecordFormView* CMainFrame::SwitchToRecordForm(int viewId) {
    if (viewId != 0) SwitchView(viewId);
    CRecordFormView* form = viewId != 0 ? RecordForm() : nullptr;
    if (!form) ShowWarningBox(this, KqString(IdsInvalidTemplate));
    return form;
}

QString CMainFrame::AskForFile(const FileDialogRequest& request) {
    return m_fileDialog ? m_fileDialog(this, request) : QString();
}

void CMainFrame::OnSaveTemplate() {
    ClearStatus();
    FileDialogRequest request;
    request.mode = FileDialogRequest::Save;
    request.proposedPath = m_lastTemplatePath.isEmpty()
                               ? RememberedFolder(kTemplateSection) + QStringLiteral("*.tdp")
                               : m_lastTemplatePath;
    request.filters = NameFilters(KqString(IdsTemplateFileType) + QStringLiteral(" (*.TDP)|*.tdp||"));
    request.defaultSuffix = QStringLiteral("tdp");
    const QString path = AskForFile(request);
    CRecordFormView* form = RecordForm();
    if (path.isEmpty() || !form) return;

    QStringList lines;
    form->GetTemplateLines(lines);
    if (!WriteTemplateFile(path, lines)) {
        ShowWarningBox(this, KqString(IdsCannotOpenFile));
        return;
    }
    m_lastTemplatePath = path;
    if (m_doc) {
        m_doc->Engine().SetResult(OperationResult::kSuccess, OperationResult::kTemplateSaved);
        m_doc->Engine().SetExtraText(QFileInfo(path).fileName());
        m_doc->ReportResult(false);
    }
    ProfileSettings::WriteString(kTemplateSection, kDirectoryKey, FolderOf(path));
}

void CMainFrame::OnLoadTemplate() {
    ClearStatus();
    FileDialogRequest request;
    request.proposedPath = RememberedFolder(kTemplateSection) + QStringLiteral("*.tdp");
    request.filters = NameFilters(KqString(IdsTemplateFileType) + QStringLiteral(" (*.TDP)|*.tdp||"));
    request.defaultSuffix = QStringLiteral("tdp");
    const QString path = AskForFile(request);
    if (path.isEmpty()) return;

    const RecordFileText file = ReadRecordFile(path);
    if (!file.ok()) {
        ShowWarningBox(this, file.error);
        return;
    }
    m_lastTemplatePath = path;
    if (ApplyTemplateLines(SplitTemplateLines(file.text), QFileInfo(path).fileName()) && m_doc)
        m_doc->ReportResult(false);
    ProfileSettings::WriteString(kTemplateSection, kDirectoryKey, FolderOf(path));
}

bool CMainFrame::ApplyTemplateLines(const QStringList& lines, const QString& fileName) {
    CRecordFormView* form = SwitchToRecordForm(lines.isEmpty() ? 0 : TemplateViewId(lines.first()));
    return form && form->SetFromTemplateLines(lines, fileName);
}

QStringList CMainFrame::RecordLines() const {
    QStringList lines;
    if (const CRecordFormView* form = RecordForm()) form->GetTemplateLines(lines);
    return lines;
}

void CMainFrame::ShowRecordLines(const QStringList& lines) {
    const int viewId = lines.isEmpty() ? 0 : TemplateViewId(lines.first());
    if (viewId == 0) return;
    SwitchView(viewId);
    if (CRecordFormView* form = RecordForm()) form->SetFromTemplateLines(lines, {});
    ClearStatus();
}

void CMainFrame::OnLoadDataList() {
    ClearStatus();
    const bool wasCsv = ProfileSettings::ReadInt(kDataListSection, kCsvFileKey, 0) == 1;
    FileDialogRequest request;
    request.proposedPath = RememberedFolder(kDataListSection) + (wasCsv ? "*.csv" : "*.txt");
    request.filters = NameFilters(KqString(IdsDataListFileTypes));
    request.selectedFilter = wasCsv ? 1 : 0;
    request.defaultSuffix = wasCsv ? QStringLiteral("csv") : QStringLiteral("txt");
    const QString path = AskForFile(request);
    if (path.isEmpty()) return;

    const bool csv = QFileInfo(path).suffix().toUpper() == QLatin1String("CSV");
    const RecordFileText file = ReadRecordFile(path);
    if (!file.ok()) {
        ShowWarningBox(this, file.error);
    } else {
        if (csv)
            ParseCsvDataList(file.text, QFileInfo(path).fileName());
        else
            ParseTxtDataList(file.text, QFileInfo(path).fileName());
        if (m_doc) m_doc->ReportResult(false);
    }
    ProfileSettings::WriteString(kDataListSection, kDirectoryKey, FolderOf(path));
    ProfileSettings::WriteInt(kDataListSection, kCsvFileKey, csv ? 1 : 0);
}

void CMainFrame::ParseCsvDataList(const QString& content, const QString& fileName) {
    if (!m_doc) return;
    const QStringList lines = SplitCsvLines(content);
    // The header names the kind, and its last character (blanks aside) is the
    // separator of the fields.
    QString header = lines.value(0);
    while (!header.isEmpty() && header.back().isSpace())
        header.chop(1);
    if (CRecordFormView* form = SwitchToRecordForm(header.isEmpty() ? 0 : DataListViewId(header)))
        form->LoadCsvDataList(lines.mid(1), header.back(), fileName);
}

void CMainFrame::ParseTxtDataList(const QString& content, const QString& fileName) {
    if (!m_doc) return;
    // The header runs to the first line end; a text without one has no header.
    const qsizetype cr = content.indexOf(QLatin1Char('\r'));
    const qsizetype lf = content.indexOf(QLatin1Char('\n'));
    const qsizetype end = cr < 0 ? lf : (lf < 0 ? cr : std::min(cr, lf));
    if (CRecordFormView* form = SwitchToRecordForm(end < 0 ? 0 : DataListViewId(content.left(end))))
        form->LoadTxtDataList(content, end + 1, fileName);
}
