#include "app/UpdateCheck.h"

#include "app/IniEx.h"
#include "app/ProductVersion.h"
#include "app/QtUiHooks.h"
#include "app/WarningBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>

#include <unistd.h>

#ifndef KQ_DEFAULT_UPDATE_BASE_URL
#error "KQ_DEFAULT_UPDATE_BASE_URL is set by app/CMakeLists.txt"
#endif

namespace {

bool IsSuccess(const QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status <= 299;
}

// An integer read from the start of text as C reads one: leading blanks, an
// optional sign, digits up to the first other character (none: 0). Unsigned
// arithmetic gives the exact value modulo 2^32 for any number of digits.
quint32 LeadingInteger(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    quint32 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = value * 10u + quint32(text[i].unicode() - u'0');
    return negative ? 0u - value : value;
}

// The last segment of the address's path, refused when it could name anything but
// a plain file in the download folder.
QString InstallerFileName(const QUrl& url) {
    const QString name = url.fileName(QUrl::FullyDecoded);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return {};
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20) return {};
    }
    return name;
}

InstallerLaunch LaunchInstaller(const QString& path) {
    InstallerLaunch launch;
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    QProcess process;
    process.setProgram(path);
    process.setWorkingDirectory(QFileInfo(path).absolutePath());
    errno = 0;
    if (process.startDetached()) {
        launch.started = true;
        launch.directResult = 1;
        return launch;
    }
    launch.systemError = errno;
    launch.openResult = QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? 1 : 0;
    launch.started = launch.openResult == 1;
    return launch;
}

class OverrideCursor {
public:
    OverrideCursor() : m_active(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        if (m_active) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~OverrideCursor() { Restore(); }
    void Restore() {
        if (m_active) QApplication::restoreOverrideCursor();
        m_active = false;
    }

private:
    bool m_active;
};

} // namespace

QEvent::Type UpdateCheckEvent::EventType() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

CUpdateCheck::CUpdateCheck(const QString& versionFileName, const QString& sectionName, QObject* parent)
    : QObject(parent), m_sectionName(sectionName) {
    const QString base = BaseUrl();
    if (!base.isEmpty()) m_versionFileUrl = base + QLatin1String(kVersionFolder) + versionFileName;
    m_versionDeadline.setSingleShot(true);
    connect(&m_versionDeadline, &QTimer::timeout, this, [this] {
        if (m_versionReply) m_versionReply->abort();
    });
}

CUpdateCheck::~CUpdateCheck() {
    if (m_versionReply) {
        m_versionReply->disconnect(this);
        m_versionReply->abort();
    }
}

QString CUpdateCheck::BaseUrl() {
    QString base = qEnvironmentVariableIsSet("KQ_UPDATE_BASE_URL")
                       ? qEnvironmentVariable("KQ_UPDATE_BASE_URL")
                       : QStringLiteral(KQ_DEFAULT_UPDATE_BASE_URL);
    base = base.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

bool CUpdateCheck::IsAllowedAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    if (url.scheme() == QLatin1String("https")) return true;
    if (url.scheme() != QLatin1String("http")) return false;
    const QString host = url.host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

bool CUpdateCheck::Start(QObject* window, quint32 id) {
    m_notifyWindow = window;
    m_notifyId = id;
    if (m_state == State::None) {
        m_state = State::Busy;
        const QUrl url(m_versionFileUrl, QUrl::StrictMode);
        if (m_versionFileUrl.isEmpty() || !IsAllowedAddress(url)) {
            FinishVersionDownload({});
            return true;
        }
        m_versionBody.clear();
        m_versionTooLarge = false;
        m_versionReply = Get(url);
        connect(m_versionReply, &QNetworkReply::readyRead, this, &CUpdateCheck::OnVersionData);
        connect(m_versionReply, &QNetworkReply::finished, this, &CUpdateCheck::OnVersionFinished);
        m_versionDeadline.start(m_timeoutMs);
        return true;
    }
    if (m_state == State::Done && window && id) PostNotifications();
    return true;
}

QNetworkReply* CUpdateCheck::Get(const QUrl& url) {
    if (!m_network) m_network = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply = m_network->get(request);
    // A redirect must obey the same rules as the address itself.
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl& to) {
        if (IsAllowedAddress(to))
            emit reply->redirectAllowed();
        else
            reply->abort();
    });
    return reply;
}

void CUpdateCheck::OnVersionData() {
    if (!m_versionReply || m_versionTooLarge || !m_versionReply->isOpen()) return;
    m_versionBody += m_versionReply->readAll();
    if (m_versionBody.size() > kMaxVersionTextBytes) {
        m_versionTooLarge = true;
        m_versionReply->abort(); // finishes the reply as failed
    }
}

void CUpdateCheck::OnVersionFinished() {
    QNetworkReply* reply = m_versionReply;
    if (!reply) return;
    OnVersionData();
    m_versionReply = nullptr;
    m_versionDeadline.stop();
    // Only a whole 2xx answer is a version file; anything else counts as no answer.
    const bool ok = reply->error() == QNetworkReply::NoError && IsSuccess(reply) && !m_versionTooLarge;
    QByteArray body = ok ? m_versionBody : QByteArray();
    m_versionBody.clear();
    reply->deleteLater();
    // The text ends at a NUL byte, as a C string would.
    if (const qsizetype nul = body.indexOf('\0'); nul >= 0) body.truncate(nul);
    FinishVersionDownload(QString::fromUtf8(body));
}

void CUpdateCheck::FinishVersionDownload(const QString& text) {
    m_versionText = text;
    m_state = State::Done;
    if (m_notifyWindow) PostNotifications();
}

void CUpdateCheck::PostNotifications() {
    if (!m_notifyWindow) return;
    QCoreApplication::postEvent(m_notifyWindow,
                                new UpdateCheckEvent(UpdateCheckEvent::Kind::Command, m_notifyId));
    QCoreApplication::postEvent(m_notifyWindow,
                                new UpdateCheckEvent(UpdateCheckEvent::Kind::Notify, m_notifyId));
}

bool CUpdateCheck::ReadRemoteVersion(QString& version, QString& build) const {
    version.clear();
    build.clear();
    if (m_versionText.isEmpty()) return false;
    CPrivateProfile profile;
    profile.ParseText(m_versionText);
    version = profile.GetString(m_sectionName, QStringLiteral("Version"), {});
    build = profile.GetString(m_sectionName, QStringLiteral("Build"), {});
    return true;
}

bool CUpdateCheck::IsNewer(const QString& localVersion, const QString& localBuild) const {
    QString version;
    QString build;
    if (!ReadRemoteVersion(version, build)) return false;
    return IsNewerVersion(localVersion, localBuild, version, build);
}

QString CUpdateCheck::GetInstallerUrl() const {
    if (m_versionText.isEmpty()) return {};
    CPrivateProfile profile;
    profile.ParseText(m_versionText);
    return profile.GetString(m_sectionName, QStringLiteral("Installer"), {});
}

quint32 CUpdateCheck::VersionToNumber(const QString& text) {
    // Only a '.' after the first character splits major from minor.
    const qsizetype dot = text.indexOf(u'.');
    if (dot <= 0) return LeadingInteger(text) * 1000u;
    return LeadingInteger(QStringView(text).left(dot)) * 1000u +
           LeadingInteger(QStringView(text).mid(dot + 1));
}

bool CUpdateCheck::IsNewerVersion(const QString& localVersion, const QString& localBuild,
                                  const QString& remoteVersion, const QString& remoteBuild) {
    if (VersionToNumber(localVersion) < VersionToNumber(remoteVersion)) return true;
    return !remoteBuild.isEmpty() && localBuild.toUtf8() < remoteBuild.toUtf8();
}

QString CUpdateCheck::GetLocalVersion() {
    QString version = ProductVersionText();
    if (version.isEmpty() || version.size() > 19) return QStringLiteral("-.--");
    if (version.size() < 4) version += u' ';
    return version;
}

QString CUpdateCheck::GetExeFileDate() {
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                         : QStringLiteral("/proc/self/exe");
    const QDateTime modified = QFileInfo(program).lastModified();
    return modified.isValid() ? modified.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString CUpdateCheck::DownloadInstaller(const QString& folder, QString* failure, QProgressDialog* progress) {
    const auto fail = [failure](const QString& why) {
        if (failure) *failure = why;
        return QString();
    };
    const QString address = GetInstallerUrl();
    if (address.isEmpty()) return fail(tr("Der Server nennt kein Installationsprogramm."));
    const QUrl url(address, QUrl::StrictMode);
    // An installer over plain HTTP could be swapped on the way; it is not run.
    if (!IsAllowedAddress(url))
        return fail(tr("Das Installationsprogramm wird nicht geladen: die Adresse\n%1\nist keine "
                       "sichere Adresse (https).")
                        .arg(address));
    const QString name = InstallerFileName(url);
    if (name.isEmpty()) return fail(tr("Die Adresse\n%1\nnennt keine Datei.").arg(address));
    const QString notLoaded = tr("Das Installationsprogramm konnte nicht geladen werden:\n%1").arg(address);
    // Without a folder, a new one only this user can enter, so no one can place or
    // swap a file under the installer's name.
    std::unique_ptr<QTemporaryDir> privateFolder;
    QString dir = folder;
    if (dir.isEmpty()) {
        privateFolder = std::make_unique<QTemporaryDir>(
            QDir::tempPath() + u'/' + QLatin1String(kDownloadFolderPrefix) + QStringLiteral("XXXXXX"));
        if (!privateFolder->isValid()) return fail(notLoaded);
        dir = privateFolder->path();
    }
    const QString path = QDir(dir).filePath(name);
    // A private folder goes with its partial content.
    switch (DownloadToFile(url, path, progress)) {
    case DownloadEnd::Done:
        break;
    case DownloadEnd::Failed:
        return fail(notLoaded);
    case DownloadEnd::NoRoom:
        return fail(tr("Das Installationsprogramm konnte nicht gespeichert werden (zu wenig Platz?):\n%1")
                        .arg(QDir::toNativeSeparators(dir)));
    case DownloadEnd::TimedOut:
        return fail(tr("Das Laden des Installationsprogramms hat zu lange gedauert:\n%1").arg(address));
    case DownloadEnd::Cancelled:
        return fail({});
    }
    if (privateFolder) {
        privateFolder->setAutoRemove(false);
        m_downloadFolder = dir;
    }
    return path;
}

CUpdateCheck::DownloadEnd CUpdateCheck::DownloadToFile(const QUrl& url, const QString& path,
                                                       QProgressDialog* progress) {
    // Unbuffered, so that every write's result is the disk's: Qt 6.4's commit does
    // not look at the result of flushing a buffer, and would keep a cut file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return DownloadEnd::NoRoom;
    QNetworkReply* reply = Get(url);
    DownloadEnd end = DownloadEnd::Done;
    qint64 written = 0;
    const auto stop = [&](DownloadEnd why) {
        if (end == DownloadEnd::Done) end = why;
        reply->abort();
    };
    const auto announced = [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        return length.isValid() ? length.toLongLong() : qint64(-1);
    };
    const auto take = [&] {
        if (end != DownloadEnd::Done) return;
        if (reply->error() != QNetworkReply::NoError || !IsSuccess(reply) ||
            announced() > kMaxInstallerBytes) {
            // An error page is no installer. It is ended here, not read to its end:
            // its body may go on for ever.
            stop(DownloadEnd::Failed);
            return;
        }
        const QByteArray chunk = reply->readAll();
        written += chunk.size();
        if (written > kMaxInstallerBytes) return stop(DownloadEnd::Failed);
        if (file.write(chunk) != chunk.size()) return stop(DownloadEnd::NoRoom);
        if (progress) {
            progress->setMaximum(announced() > 0 ? int(announced() / 1024) : 0);
            progress->setValue(int(written / 1024));
        }
    };
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, [&] { stop(DownloadEnd::TimedOut); });
    connect(reply, &QNetworkReply::readyRead, &loop, take);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (progress) connect(progress, &QProgressDialog::canceled, &loop, [&] { stop(DownloadEnd::Cancelled); });
    deadline.start(m_installerDeadlineMs);
    // The progress dialog is modal: the user reaches its cancel button, nothing else.
    if (!reply->isFinished())
        loop.exec(progress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    take();
    if (progress) progress->disconnect(&loop);
    // A body shorter than announced is a cut installer, whatever the link said.
    if (end == DownloadEnd::Done && (reply->error() != QNetworkReply::NoError || !IsSuccess(reply) ||
                                     (announced() >= 0 && written != announced())))
        end = DownloadEnd::Failed;
    reply->disconnect(&loop);
    reply->deleteLater();
    if (end != DownloadEnd::Done) {
        file.cancelWriting();
        return end;
    }
    if (!file.commit()) return DownloadEnd::NoRoom;
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return DownloadEnd::Done;
}

bool CUpdateCheck::StartInstaller(const QString& path) {
    // An installer that is not started is not kept in its private folder either.
    const auto removeFolder = [&] {
        if (!m_downloadFolder.isEmpty() && QFileInfo(path).absolutePath() == m_downloadFolder)
            QDir(m_downloadFolder).removeRecursively();
    };
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        removeFolder();
        ShowMessage(QStringLiteral("The File\n\"%1\"\ndoes not exist!").arg(path));
        return false;
    }
    OverrideCursor waitCursor;
    WaitWithoutUserInput(1000);
    const InstallerLaunch launch = m_launcher ? m_launcher(path) : LaunchInstaller(path);
    waitCursor.Restore();
    if (!launch.started) {
        removeFolder();
        ShowMessage(QStringLiteral("The File\n\"%1\"\ncan not be started!\nError %2 %3 %4")
                        .arg(path)
                        .arg(launch.directResult)
                        .arg(launch.openResult)
                        .arg(launch.systemError));
        return false;
    }
    return true;
}

void CUpdateCheck::RemoveLeftoverDownloads() {
    const QDir temp(QDir::tempPath());
    const QString pattern = QLatin1String(kDownloadFolderPrefix) + QStringLiteral("??????");
    for (const QFileInfo& folder : temp.entryInfoList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        // Only this user's own folders, never a link to somewhere else.
        if (folder.isSymLink() || folder.ownerId() != ::getuid()) continue;
        QDir(folder.absoluteFilePath()).removeRecursively();
    }
}

void CUpdateCheck::ShowMessage(const QString& text) const {
    if (m_showMessage) {
        m_showMessage(text);
        return;
    }
    ShowWarningBox(nullptr, text);
}
