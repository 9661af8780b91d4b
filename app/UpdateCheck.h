#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QProgressDialog;

// What a finished update check posts to the object given to CUpdateCheck::Start,
// in this order: a Command event (the main window answers the command by opening
// the About box when the server's version is newer) and a Notify event (the About
// box answers it by showing the status). Both carry the id given to Start (1034).
// A receiver handles only the kind meant for it.
class UpdateCheckEvent : public QEvent {
public:
    enum class Kind { Command, Notify };

    UpdateCheckEvent(Kind kind, quint32 id) : QEvent(EventType()), m_kind(kind), m_id(id) {}
    static QEvent::Type EventType();

    Kind kind() const { return m_kind; }
    quint32 id() const { return m_id; }

private:
    Kind m_kind;
    quint32 m_id;
};

// The outcome of starting a downloaded installer: started, the results of the
// direct start (1 = started) and of the desktop's opener (1 = started), and the
// system error of the direct start. The numbers go into the failure message.
struct InstallerLaunch {
    bool started = false;
    int directResult = 0;
    int openResult = 0;
    int systemError = 0;
};
using InstallerLauncher = std::function<InstallerLaunch(const QString& path)>;

// The check for a newer version of the program. It fetches the version file (INI
// text) at the update server's base address + "/rfid/software/" + the file name,
// once per run, asynchronously on the user-interface thread, and tells the object
// given to Start with two posted UpdateCheckEvents. The About box then asks whether
// the server's version is newer and, on the user's request, downloads the
// installer the file names and starts it.
//
// The base address is the build setting KQ_UPDATE_BASE_URL, overridden by the
// environment variable of the same name (set but empty: no server). Only HTTPS
// addresses are fetched, plain HTTP only from a loopback host (tests).
class CUpdateCheck : public QObject {
    Q_OBJECT
public:
    static constexpr char kVersionFolder[] = "/rfid/software/";
    static constexpr qsizetype kMaxVersionTextBytes = 64 * 1024;
    static constexpr qint64 kMaxInstallerBytes = 1024LL * 1024 * 1024;
    static constexpr int kDefaultTimeoutMs = 20000;
    static constexpr int kDefaultInstallerDeadlineMs = 15 * 60 * 1000;
    static constexpr char kDownloadFolderPrefix[] = "kq-nfc-programmer-";

    // versionFileName "DAZEZaruvoriZI.txt", sectionName "KQ_NFC Programmer".
    CUpdateCheck(const QString& versionFileName, const QString& sectionName, QObject* parent = nullptr);
    // Aborts a running transfer; nothing is posted afterwards.
    ~CUpdateCheck() override;

    // Makes window and id the target of the notifications. The first call starts
    // the download; a call after the download has ended posts both notifications
    // at once (when window and id are given); a call while it runs only changes
    // the target. Answers true.
    bool Start(QObject* window, quint32 id);

    // Version and build of the server's file (empty when missing); false, with both
    // empty, when no version file was received.
    bool ReadRemoteVersion(QString& version, QString& build) const;
    // Whether the server offers a newer program than the one with this version and
    // build date (GetLocalVersion, GetExeFileDate).
    bool IsNewer(const QString& localVersion, const QString& localBuild) const;
    // "Installer" of the section; empty without a version file or key.
    QString GetInstallerUrl() const;

    // Downloads the installer into folder (none: a new private temporary folder)
    // under the file name of its address. Answers the file's path, or empty when
    // there is no address, the address is not allowed or names no file, the server
    // did not deliver the whole file (a 2xx answer of the length it announced), a
    // write failed (a full disk), the download took longer than its overall limit or
    // was cancelled (nothing is left behind). With `progress` the dialog shows the
    // bytes received and its cancel button ends the download; without one the wait
    // takes no user input. On an empty answer `failure`, when given, gets the reason
    // in words for the user (empty when the user cancelled).
    QString DownloadInstaller(const QString& folder = {}, QString* failure = nullptr,
                              QProgressDialog* progress = nullptr);

    // Starts the installer through the launcher. A missing file or a failed start is
    // shown in a message box and answers false, and the private folder it was
    // downloaded into is removed; true only when it really started.
    bool StartInstaller(const QString& path);
    // Removes the private download folders that earlier runs left behind (the
    // installer started from them has run by the next start of the program).
    static void RemoveLeftoverDownloads();

    // The program's product version ("-.--" when unusable; one blank appended when
    // shorter than 4 characters) and its file's modification date ("%Y-%m-%d").
    static QString GetLocalVersion();
    static QString GetExeFileDate();

    // "major.minor" as major * 1000 + minor, each read like a C integer (blanks,
    // sign, digits); the exact value reduced modulo 2^32, so no text overflows.
    static quint32 VersionToNumber(const QString& text);
    // Newer when the local number is smaller, or else when the remote build is not
    // empty and the local build sorts before it byte by byte.
    static bool IsNewerVersion(const QString& localVersion, const QString& localBuild,
                               const QString& remoteVersion, const QString& remoteBuild);
    // HTTPS with a host, or HTTP to a loopback host.
    static bool IsAllowedAddress(const QUrl& url);
    // The server's base address in use (environment, else build setting), without a
    // trailing '/'.
    static QString BaseUrl();

    QString VersionFileUrl() const { return m_versionFileUrl; }
    bool IsBusy() const { return m_state == State::Busy; }
    bool IsDone() const { return m_state == State::Done; }

    // Time-out of a transfer in ms: the whole version file, and each pause of the
    // installer download.
    void SetTimeout(int ms) { m_timeoutMs = ms; }
    // The installer download's overall limit in ms, however steadily bytes arrive.
    void SetInstallerDeadline(int ms) { m_installerDeadlineMs = ms; }
    // How StartInstaller starts the file (default: QProcess::startDetached, else the
    // desktop's opener).
    void SetInstallerLauncher(InstallerLauncher launcher) { m_launcher = std::move(launcher); }
    // Where StartInstaller's failure messages go (default: a message box).
    void SetMessageHandler(std::function<void(const QString&)> handler) {
        m_showMessage = std::move(handler);
    }
    // Shows a message the way StartInstaller shows its failures.
    void ShowMessage(const QString& text) const;

private:
    enum class State { None, Busy, Done };

    QNetworkReply* Get(const QUrl& url);
    void OnVersionData();
    void OnVersionFinished();
    void FinishVersionDownload(const QString& text);
    void PostNotifications();
    enum class DownloadEnd { Done, Failed, NoRoom, TimedOut, Cancelled };
    DownloadEnd DownloadToFile(const QUrl& url, const QString& path, QProgressDialog* progress);

    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_versionFileUrl;
    QString m_sectionName;
    QString m_versionText;
    QPointer<QObject> m_notifyWindow;
    quint32 m_notifyId = 0;
    State m_state = State::None;

    QNetworkReply* m_versionReply = nullptr;
    QByteArray m_versionBody;
    bool m_versionTooLarge = false;
    QTimer m_versionDeadline;

    int m_timeoutMs = kDefaultTimeoutMs;
    int m_installerDeadlineMs = kDefaultInstallerDeadlineMs;
    QString m_downloadFolder; // the private folder of the last installer downloaded
    InstallerLauncher m_launcher;
    std::function<void(const QString&)> m_showMessage;
};
