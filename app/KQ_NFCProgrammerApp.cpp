#include "app/KQ_NFCProgrammerApp.h"

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/NfcProgDoc.h"
#include "app/ProductVersion.h"
#include "app/ProfileSettings.h"
#include "app/QtUiHooks.h"
#include "app/WarningBox.h"
#include "forms/AboutDlg.h"
#include "res/Icons.h"
#include "res/StringTable.h"
#include "res/Translation.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QUrl>

namespace {

const QString kSettingsSection = QStringLiteral("Settings");
const QString kSpracheKey = QStringLiteral("Sprache");
// The record of the form shown when the language was switched, as template lines,
// kept only until the program has started again.
const QString kRestartSection = QStringLiteral("Restart");
const QString kRecordKey = QStringLiteral("Record");

} // namespace

CKQ_NFCProgrammerApp::CKQ_NFCProgrammerApp(int& argc, char** argv)
    : QApplication(argc, argv),
      m_updateCheck(QStringLiteral("DAZEZaruvoriZI.txt"), QStringLiteral("KQ_NFC Programmer")),
      m_restarter([](const QString& program) { return QProcess::startDetached(program, {}); }) {
    setOrganizationName(QString::fromLatin1(ProfileSettings::kOrganization));
    setApplicationName(QString::fromLatin1(ProfileSettings::kApplication));
    setApplicationVersion(GetProductVersion());
}

CKQ_NFCProgrammerApp::~CKQ_NFCProgrammerApp() {
    m_mainFrame.reset();
    m_document.reset();
    RemoveQtUiHooks();
}

int CKQ_NFCProgrammerApp::Run() {
    if (!InitInstance()) return ExitInstance();
    m_inEventLoop = true;
    exec();
    m_inEventLoop = false;
    return ExitInstance();
}

bool CKQ_NFCProgrammerApp::InitInstance() {
    m_mainFrame.reset();
    m_document.reset();
    if (ProfileSettings::ReadInt(kSettingsSection, kSpracheKey, 0) > 0) {
        m_english = LoadEnglishTranslation(applicationFilePath());
        if (m_english) installTranslator(m_english.get());
    }
    if (!m_english) {
        m_qtGerman = LoadQtGermanTranslation();
        if (m_qtGerman) installTranslator(m_qtGerman.get());
    }
    InstallQtUiHooks();
    CUpdateCheck::RemoveLeftoverDownloads();
    setWindowIcon(KqIcon(KqIconId::ReadTag));

    m_document = std::make_unique<CNfcProgDoc>();
    connect(m_document.get(), &CNfcProgDoc::quitRequested, this, &CKQ_NFCProgrammerApp::OnQuitRequested);
    m_mainFrame = std::make_unique<CMainFrame>(m_document.get());
    m_mainFrame->SetLanguageState(IsEnglishLoaded());
    const QString record = ProfileSettings::ReadString(kRestartSection, kRecordKey);
    if (!record.isEmpty()) {
        ProfileSettings::RemoveSection(kRestartSection);
        QStringList lines;
        for (const QJsonValue& line : QJsonDocument::fromJson(record.toUtf8()).array())
            lines << line.toString();
        m_mainFrame->ShowRecordLines(lines);
    }
    connect(m_mainFrame->Action(IdAppAbout), &QAction::triggered, this, &CKQ_NFCProgrammerApp::OnAppAbout);
    connect(m_mainFrame->Action(IdHelp), &QAction::triggered, this, &CKQ_NFCProgrammerApp::OnHelp);
    connect(m_mainFrame->Action(IdLanguageGerman), &QAction::triggered, this,
            &CKQ_NFCProgrammerApp::OnLanguageGerman);
    connect(m_mainFrame->Action(IdLanguageEnglish), &QAction::triggered, this,
            &CKQ_NFCProgrammerApp::OnLanguageEnglish);

    // Showing the window starts the connection test.
    m_mainFrame->show();
    if (ProfileSettings::ReadInt(QStringLiteral("Version"), QStringLiteral("Update"), 1) != 0)
        m_updateCheck.Start(this, IdUpdateCheckDone);
    return true;
}

int CKQ_NFCProgrammerApp::ExitInstance() {
    // The window and the document go first: the document closes the reader port.
    m_mainFrame.reset();
    m_document.reset();
    RemoveQtUiHooks();
    for (auto* translator : {&m_english, &m_qtGerman}) {
        if (!*translator) continue;
        removeTranslator(translator->get());
        translator->reset();
    }
    if (m_restart) {
        m_restart = false;
        m_restarter(applicationFilePath());
    }
    return 0;
}

void CKQ_NFCProgrammerApp::OnQuitRequested() {
    // As a quit message would: the event loop ends after the current event.
    if (m_inEventLoop) QCoreApplication::exit(0);
}

void CKQ_NFCProgrammerApp::customEvent(QEvent* event) {
    if (event->type() != UpdateCheckEvent::EventType()) {
        QApplication::customEvent(event);
        return;
    }
    const auto* update = static_cast<UpdateCheckEvent*>(event);
    if (update->kind() == UpdateCheckEvent::Kind::Command && update->id() == IdUpdateCheckDone)
        OnUpdateCheckDone();
}

void CKQ_NFCProgrammerApp::OnUpdateCheckDone() {
    if (m_updateCheck.IsNewer(CUpdateCheck::GetLocalVersion(), CUpdateCheck::GetExeFileDate())) OnAppAbout();
}

void CKQ_NFCProgrammerApp::OnAppAbout() {
    CAboutDlg about(m_updateCheck, m_mainFrame.get());
    about.exec();
}

void CKQ_NFCProgrammerApp::OnHelp() {
    const QString file = FindHelpFile(GetProgramDirectory());
    if (file.isEmpty()) return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        ShowWarningBox(m_mainFrame.get(), KqString(IdsHelpViewerMissing));
}

void CKQ_NFCProgrammerApp::OnLanguageGerman() {
    if (IsEnglishLoaded()) SwitchLanguage(0);
}

void CKQ_NFCProgrammerApp::OnLanguageEnglish() {
    if (!IsEnglishLoaded()) SwitchLanguage(1);
}

void CKQ_NFCProgrammerApp::SwitchLanguage(int sprache) {
    // The program starts again in the other language once its window has closed.
    ProfileSettings::WriteInt(kSettingsSection, kSpracheKey, sprache);
    // What was typed comes up again in the other language.
    const QStringList lines = m_mainFrame ? m_mainFrame->RecordLines() : QStringList();
    if (!lines.isEmpty())
        ProfileSettings::WriteString(
            kRestartSection, kRecordKey,
            QString::fromUtf8(
                QJsonDocument(QJsonArray::fromStringList(lines)).toJson(QJsonDocument::Compact)));
    m_restart = true;
    if (m_mainFrame) m_mainFrame->close();
}

QString CKQ_NFCProgrammerApp::GetProductVersion() {
    return ProductVersionText();
}

QString CKQ_NFCProgrammerApp::GetProgramDirectory() {
    return applicationDirPath();
}

QString CKQ_NFCProgrammerApp::FindHelpFile(const QString& folder) {
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Readable, QDir::Name);
    return files.isEmpty() ? QString() : QDir(folder).filePath(files.first());
}
