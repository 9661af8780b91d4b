#pragma once

#include "app/UpdateCheck.h"

#include <QApplication>
#include <QString>
#include <QTranslator>

#include <functional>
#include <memory>

class CMainFrame;
class CNfcProgDoc;

// The application object. InitInstance loads the English translation when
// "Settings"/"Sprache" > 0, installs the Qt side of the reader library's answer wait,
// makes the document and the main window, shows it (which starts the connection
// test) and starts the update check when "Version"/"Update" is not 0. ExitInstance
// takes the window and document down (closing the reader port) and, after a language
// switch, starts the program again, which shows the record of the form shown at the
// switch. It also answers the About, help and language
// commands.
//
// main() builds it and calls Run().
class CKQ_NFCProgrammerApp : public QApplication {
    Q_OBJECT
public:
    // Starts a program file again; false when it could not be started.
    using Restarter = std::function<bool(const QString& programFile)>;

    CKQ_NFCProgrammerApp(int& argc, char** argv);
    ~CKQ_NFCProgrammerApp() override;

    // InitInstance, the event loop, ExitInstance; answers ExitInstance's code.
    int Run();
    bool InitInstance();
    int ExitInstance();

    // Commands: About box (57664), help (57670), "D" (1014), "E" (1015).
    void OnAppAbout();
    void OnHelp();
    void OnLanguageGerman();
    void OnLanguageEnglish();

    CMainFrame* MainWnd() const { return m_mainFrame.get(); }
    CNfcProgDoc* Document() const { return m_document.get(); }
    bool IsEnglishLoaded() const { return m_english != nullptr; }
    bool IsRestartPending() const { return m_restart; }
    // How ExitInstance starts the program again (default: QProcess::startDetached).
    void SetRestarter(Restarter restarter) { m_restarter = std::move(restarter); }

    // The product version ("1.05"), the folder of the program file.
    static QString GetProductVersion();
    static QString GetProgramDirectory();
    // The first PDF file of folder in name order (the help), empty when none.
    static QString FindHelpFile(const QString& folder);

protected:
    void customEvent(QEvent* event) override;

private:
    void OnUpdateCheckDone();
    void SwitchLanguage(int sprache);
    void OnQuitRequested();

    CUpdateCheck m_updateCheck;
    std::unique_ptr<QTranslator> m_english;
    std::unique_ptr<QTranslator> m_qtGerman;
    std::unique_ptr<CNfcProgDoc> m_document;
    std::unique_ptr<CMainFrame> m_mainFrame;
    Restarter m_restarter;
    bool m_restart = false;
    bool m_inEventLoop = false;
};
