// The update check against a loopback HTTP server started by the test: the
// version file, the notifications, failures, the installer download and start,
// and the status texts the About box shows.
#include "LoopbackHttpServer.h"
#include "PrivateTmpfs.h"

#include "app/UpdateCheck.h"
#include "app/UpdateStatus.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Behavior = LoopbackHttpServer::Behavior;

namespace {

const QByteArray& kVersionPath = kVersionFilePath;

// Records the notifications posted to it.
class Receiver : public QObject {
public:
    QList<std::pair<UpdateCheckEvent::Kind, quint32>> events;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() == UpdateCheckEvent::EventType()) {
            auto* e = static_cast<UpdateCheckEvent*>(event);
            events << std::make_pair(e->kind(), e->id());
        }
    }
};

using Events = QList<std::pair<UpdateCheckEvent::Kind, quint32>>;
Events Both(quint32 id) {
    return {{UpdateCheckEvent::Kind::Command, id}, {UpdateCheckEvent::Kind::Notify, id}};
}

QByteArray VersionFile(const QByteArray& version, const QByteArray& build, const QByteArray& installer = {}) {
    QByteArray text = "; update server\r\n[Other Program]\r\nVersion=7.0\r\n[KQ_NFC Programmer]\r\n";
    text += "Version=" + version + "\r\nBuild=" + build + "\r\n";
    if (!installer.isEmpty()) text += "Installer=" + installer + "\r\n";
    return text;
}

int Mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QStringList PrivateFolders() {
    return QDir(QDir::tempPath()).entryList({"kq-nfc-programmer-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp; // private TMPDIR: the download folders can be counted
    std::unique_ptr<LoopbackHttpServer> m_server;

    static std::unique_ptr<CUpdateCheck> NewCheck(const QString& base) { return NewUpdateCheck(base, 2000); }
    std::unique_ptr<CUpdateCheck> CheckedAgainst(const LoopbackHttpServer::Route& versionRoute,
                                                 Receiver& rx) {
        m_server->SetRoute(kVersionPath, versionRoute);
        auto check = NewCheck(m_server->BaseUrl());
        check->Start(&rx, 1034);
        [&] { QTRY_COMPARE_WITH_TIMEOUT(rx.events, Both(1034), 10000); }();
        return check;
    }
    UpdateStatus::Kind StatusOf(const CUpdateCheck& check) {
        return DescribeUpdateStatus(check, "1.05", "2024-06-01").kind;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", m_tmp.path().toUtf8());
        QCOMPARE(QDir::tempPath(), QDir(m_tmp.path()).canonicalPath());
    }
    void init() {
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->Listen());
    }

    // The version file read against the local version 1.05 of 2024-06-01: the status
    // line's kind, text, colour and link.
    void versionFileGivesTheStatus_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("build");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");
        const int newer = int(UpdateStatus::Kind::Newer);
        const QColor darkRed(192, 0, 0);
        QTest::newRow("newer version")
            << VersionFile("9.99", "2030-01-01") << u"9.99"_s << u"2030-01-01"_s << newer
            << u"Neue Version:KQ-NFC Programmer V 9.99 (2030-01-01)"_s << darkRed;
        QTest::newRow("same version, later build")
            << VersionFile("1.05", "2024-07-15") << u"1.05"_s << u"2024-07-15"_s << newer
            << u"Neue Version:KQ-NFC Programmer V 1.05 (2024-07-15)"_s << darkRed;
        QTest::newRow("same version and build")
            << VersionFile("1.05", "2024-06-01") << u"1.05"_s << u"2024-06-01"_s
            << int(UpdateStatus::Kind::Current) << u"KQ-NFC Programmer ist aktuell"_s
            << QColor(128, 128, 128);
        // The section is "KQ_NFC Programmer", with an underscore.
        QTest::newRow("no section") << QByteArray(
                                           "[KQ-NFC Programmer]\r\nVersion=9.0\r\nBuild=2030-01-01\r\n")
                                    << QString() << QString() << int(UpdateStatus::Kind::NoFile)
                                    << u"Keine Datei gefunden: Update Prüfung nicht möglich!"_s
                                    << QColor(255, 0, 0);
        QTest::newRow("a NUL byte ends the text")
            << QByteArray("[KQ_NFC Programmer]\r\nVersion=9.0\r\nBuild=2030") + '\0' +
                   "-01-01\r\nInstaller=https://evil/x\r\n"
            << u"9.0"_s << u"2030"_s << newer << u"Neue Version:KQ-NFC Programmer V 9.0 (2030)"_s << darkRed;
    }
    void versionFileGivesTheStatus() {
        QFETCH(QByteArray, body);
        QFETCH(QString, version);
        QFETCH(QString, build);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QColor, color);
        Receiver rx;
        auto check = CheckedAgainst({200, body}, rx);
        QCOMPARE(m_server->Requests(), QList<QByteArray>{kVersionPath});
        QCOMPARE(check->VersionFileUrl(), m_server->BaseUrl() + QString::fromLatin1(kVersionPath));
        QVERIFY(check->IsDone());
        QString readVersion = "x", readBuild = "y";
        QVERIFY(check->ReadRemoteVersion(readVersion, readBuild));
        QCOMPARE(readVersion, version);
        QCOMPARE(readBuild, build);
        QCOMPARE(check->IsNewer("1.05", "2024-06-01"), kind == int(UpdateStatus::Kind::Newer));
        QVERIFY(check->GetInstallerUrl().isEmpty());
        const UpdateStatus status = DescribeUpdateStatus(*check, "1.05", "2024-06-01");
        QCOMPARE(int(status.kind), kind);
        QCOMPARE(status.text, text);
        QCOMPARE(status.color, color);
        QCOMPARE(status.clickable, kind == int(UpdateStatus::Kind::Newer));
    }

    // Every check that fails is "no connection" (with no server configured the line
    // stays empty instead): the text received, if any, is not
    // used, the notifications still come, a server that never answers is given up
    // after the time-out.
    void failedChecksEndAsNoConnection_data() {
        QTest::addColumn<QString>("server"); // "loopback", "refused port" or "none"
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Behavior>("behavior");
        const QByteArray good = VersionFile("9.0", "2030-01-01");
        const QString loopback = u"loopback"_s;
        QTest::newRow("404 with a version file as error page") << loopback << 404 << good << Behavior::Normal;
        QTest::newRow("500") << loopback << 500 << good << Behavior::Normal;
        QTest::newRow("body cut short") << loopback << 200 << good << Behavior::CutShort;
        QTest::newRow("oversized") << loopback << 200 << good + QByteArray(70 * 1024, ';')
                                   << Behavior::Normal;
        QTest::newRow("redirect to a refused scheme") << loopback << 302 << good << Behavior::Normal;
        QTest::newRow("silent server") << loopback << 200 << good << Behavior::NeverAnswer;
        QTest::newRow("refused port") << u"refused port"_s << 0 << QByteArray() << Behavior::Normal;
        QTest::newRow("no server configured") << u"none"_s << 0 << QByteArray() << Behavior::Normal;
    }
    void failedChecksEndAsNoConnection() {
        QFETCH(QString, server);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(Behavior, behavior);
        LoopbackHttpServer::Route route{status, body, behavior};
        if (status == 302) route.location = "ftp://127.0.0.1/rfid/software/DAZEZaruvoriZI.txt";
        m_server->SetRoute(kVersionPath, route);
        const QString base = server == "loopback" ? m_server->BaseUrl()
                             : server == "refused port"
                                 ? u"http://127.0.0.1:%1"_s.arg(LoopbackHttpServer::RefusedPort())
                                 : QString();
        auto check = NewUpdateCheck(base, behavior == Behavior::NeverAnswer ? 300 : 2000);
        QCOMPARE(check->VersionFileUrl().isEmpty(), base.isEmpty());
        Receiver rx;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(check->Start(&rx, 1034));
        if (behavior == Behavior::NeverAnswer) QVERIFY(check->IsBusy());
        QTRY_COMPARE_WITH_TIMEOUT(rx.events, Both(1034), 10000);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QString version, build;
        QVERIFY(!check->ReadRemoteVersion(version, build));
        QVERIFY(!check->IsNewer("1.05", "2024-06-01"));
        QVERIFY(check->GetInstallerUrl().isEmpty());
        const UpdateStatus shown = DescribeUpdateStatus(*check, "1.05", "2024-06-01");
        // Without a server nothing was looked for: the line stays empty.
        QCOMPARE(shown.kind,
                 base.isEmpty() ? UpdateStatus::Kind::NoServer : UpdateStatus::Kind::NoConnection);
        QCOMPARE(shown.text,
                 base.isEmpty() ? QString() : u"Keine Internet Verbindung: Update Prüfung nicht möglich!"_s);
    }

    void redirectWithinLoopbackIsFollowed() {
        m_server->SetRoute("/moved.txt", {200, VersionFile("9.1", "2030-01-01")});
        LoopbackHttpServer::Route moved{302, {}};
        moved.location = (m_server->BaseUrl() + "/moved.txt").toUtf8();
        Receiver rx;
        auto check = CheckedAgainst(moved, rx);
        QCOMPARE(StatusOf(*check), UpdateStatus::Kind::Newer);
    }

    void laterStartPostsAtOnceWithoutDownloadingAgain() {
        Receiver first;
        auto check = CheckedAgainst({200, VersionFile("1.05", "2024-06-01")}, first);
        Receiver second;
        QVERIFY(check->Start(&second, 7));
        QTRY_COMPARE_WITH_TIMEOUT(second.events, Both(7), 20000);
        QCOMPARE(m_server->Requests().size(), 1);
        QCOMPARE(first.events, Both(1034));
        // Without a window or id nothing is posted.
        QVERIFY(check->Start(nullptr, 7));
        QVERIFY(check->Start(&second, 0));
        QTest::qWait(50);
        QCOMPARE(second.events, Both(7));
    }

    void startWhileRunningOnlyChangesTheTarget() {
        m_server->SetRoute(kVersionPath, {200, VersionFile("2.0", "2030-01-01"), Behavior::Delayed, 200});
        Receiver first, second;
        auto check = NewCheck(m_server->BaseUrl());
        QVERIFY(check->Start(&first, 1));
        QVERIFY(check->Start(&second, 2));
        QTRY_COMPARE_WITH_TIMEOUT(second.events, Both(2), 10000);
        QVERIFY(first.events.isEmpty());
        QCOMPARE(m_server->Requests().size(), 1);
    }

    void receiverGoneBeforeTheEndIsNotTouched() {
        m_server->SetRoute(kVersionPath, {200, VersionFile("2.0", "2030-01-01"), Behavior::Delayed, 100});
        auto check = NewCheck(m_server->BaseUrl());
        {
            Receiver gone;
            check->Start(&gone, 1034);
        }
        QTRY_VERIFY_WITH_TIMEOUT(check->IsDone(), 10000);
        QCOMPARE(StatusOf(*check), UpdateStatus::Kind::Newer);
    }

    void destructorAbortsARunningTransfer() {
        m_server->SetRoute(kVersionPath, {200, {}, Behavior::NeverAnswer});
        Receiver rx;
        auto check = NewUpdateCheck(m_server->BaseUrl(), 60000);
        check->Start(&rx, 1034);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->Requests().size(), 1, 5000);
        QElapsedTimer clock;
        clock.start();
        check.reset();
        QVERIFY(clock.elapsed() < 1000);
        QTest::qWait(100);
        QVERIFY(rx.events.isEmpty());
    }

    void installerIsDownloadedIntoAPrivateFolderAndStarted() {
        const QByteArray installer = QByteArray("#!/bin/sh\nexit 0\n") + QByteArray(300000, 'x');
        m_server->SetRoute("/files/setup.run", {200, installer});
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01", (m_server->BaseUrl() + "/files/setup.run").toUtf8())}, rx);
        const QString path = check->DownloadInstaller();
        QVERIFY(!path.isEmpty());
        QCOMPARE(QFileInfo(path).fileName(), QString("setup.run"));
        const QString folder = QFileInfo(path).absolutePath();
        QVERIFY(QFileInfo(folder).fileName().startsWith("kq-nfc-programmer-"));
        QCOMPARE(Mode(folder), 0700);
        QCOMPARE(Mode(path) & 0077, 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), installer);

        QStringList started, messages;
        check->SetInstallerLauncher([&](const QString& p) {
            started << p;
            return InstallerLaunch{true, 1, 0, 0};
        });
        check->SetMessageHandler([&](const QString& m) { messages << m; });
        QVERIFY(check->StartInstaller(path));
        QCOMPARE(started, QStringList{path});
        QVERIFY(messages.isEmpty());

        // A started installer's folder is left to it until the next start of the
        // program, which removes this user's download folders and nothing else.
        QVERIFY(QDir(m_tmp.path()).mkdir("kq-nfc-programmer-other"));
        QVERIFY(QFile::link(m_tmp.path() + "/kq-nfc-programmer-other",
                            m_tmp.path() + "/kq-nfc-programmer-linked"));
        CUpdateCheck::RemoveLeftoverDownloads();
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(PrivateFolders(), QStringList({"kq-nfc-programmer-linked", "kq-nfc-programmer-other"}));
        QFile::remove(m_tmp.path() + "/kq-nfc-programmer-linked");
        QDir(m_tmp.path() + "/kq-nfc-programmer-other").removeRecursively();

        // An installer that does not start goes with its folder.
        const QString again = check->DownloadInstaller();
        check->SetInstallerLauncher([](const QString&) { return InstallerLaunch{false, 0, 0, 8}; });
        QVERIFY(!check->StartInstaller(again));
        QCOMPARE(messages,
                 QStringList{QString("The File\n\"%1\"\ncan not be started!\nError 0 0 8").arg(again)});
        QVERIFY(PrivateFolders().isEmpty());
    }

    // An installer larger than the room left on the disk (a small private tmpfs) is
    // not kept, in a private folder or a given one: no cut file is ever started.
    void installerWithoutRoomIsNotKept() {
        if (!InPrivateTmpfs())
            return RunInPrivateTmpfs("installerWithoutRoomIsNotKept", QDir::tempPath(), 64);
        m_server->SetRoute("/files/setup.run", {200, QByteArray(200000, 'i')});
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01", (m_server->BaseUrl() + "/files/setup.run").toUtf8())}, rx);
        QTemporaryDir given;
        for (const QString& folder : {QString(), given.path()}) {
            QString failure;
            QVERIFY(check->DownloadInstaller(folder, &failure).isEmpty());
            QVERIFY2(failure.contains("zu wenig Platz"), qPrintable(failure));
        }
        QVERIFY(PrivateFolders().isEmpty());
        QVERIFY(QDir(given.path()).isEmpty());
    }

    // A download that trickles on for ever ends when the user cancels it in the
    // progress dialog, which shows the bytes received, or at its overall limit.
    void tricklingInstallerDownloadEnds_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("overall limit") << false;
    }
    void tricklingInstallerDownloadEnds() {
        QFETCH(bool, cancel);
        m_server->SetRoute("/files/setup.run", {200, QByteArray(5000, 'i'), Behavior::Trickles});
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01", (m_server->BaseUrl() + "/files/setup.run").toUtf8())}, rx);
        check->SetTimeout(30000);
        check->SetInstallerDeadline(cancel ? 60000 : 1500);
        QProgressDialog progress;
        auto* cancelButton = progress.findChild<QPushButton*>();
        QVERIFY(cancelButton);
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, &progress, [&] {
            if (cancel && progress.value() > 0) cancelButton->click();
        });
        canceller.start(50);
        QElapsedTimer clock;
        clock.start();
        QString failure;
        QVERIFY(check->DownloadInstaller({}, &failure, &progress).isEmpty());
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(failure.contains("zu lange"), !cancel);
        QCOMPARE(failure.isEmpty(), cancel);
        QVERIFY(progress.maximum() > 900); // the announced length, in KiB
        QVERIFY(PrivateFolders().isEmpty());
    }

    // Into a folder given, under the last segment of the address's decoded path; no
    // private folder then.
    void installerIntoAGivenFolder_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("encoded blank, query") << QByteArray("/files/KQ%20Setup.run") << u"KQ Setup.run"_s;
        QTest::newRow("encoded slashes") << QByteArray("/files/..%2F..%2Fevil.run") << u"evil.run"_s;
    }
    void installerIntoAGivenFolder() {
        QFETCH(QByteArray, path);
        QFETCH(QString, name);
        m_server->SetRoute(path, {200, "payload"});
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01", m_server->BaseUrl().toUtf8() + path + "?v=2")}, rx);
        QTemporaryDir folder;
        QCOMPARE(check->DownloadInstaller(folder.path()), QDir(folder.path()).filePath(name));
        QVERIFY(PrivateFolders().isEmpty());
    }

    // Nothing but a whole 2xx answer is saved, and nothing stays behind.
    void failedInstallerDownloadsLeaveNothing_data() {
        QTest::addColumn<QByteArray>("installerPath"); // as written in the version file
        QTest::addColumn<int>("status");
        QTest::addColumn<Behavior>("behavior");
        QTest::newRow("404") << QByteArray("/files/setup.run") << 404 << Behavior::Normal;
        QTest::newRow("cut short") << QByteArray("/files/setup.run") << 200 << Behavior::CutShort;
        QTest::newRow("silent") << QByteArray("/files/setup.run") << 200 << Behavior::NeverAnswer;
        QTest::newRow("no file name") << QByteArray("/files/") << 200 << Behavior::Normal;
        QTest::newRow("dot dot") << QByteArray("/files/..") << 200 << Behavior::Normal;
    }
    void failedInstallerDownloadsLeaveNothing() {
        QFETCH(QByteArray, installerPath);
        QFETCH(int, status);
        QFETCH(Behavior, behavior);
        m_server->SetRoute(installerPath, {status, QByteArray(5000, 'i'), behavior});
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01", m_server->BaseUrl().toUtf8() + installerPath)}, rx);
        check->SetTimeout(300);
        QTemporaryDir given;
        QVERIFY(check->DownloadInstaller().isEmpty());
        QVERIFY(check->DownloadInstaller(given.path()).isEmpty());
        QVERIFY(PrivateFolders().isEmpty());
        QVERIFY(QDir(given.path()).isEmpty());
    }

    // An error answer ends the download at once; its body is not waited for (it may
    // never end).
    void installerErrorAnswerEndsTheDownloadAtOnce() {
        m_server->SetRoute("/files/setup.run",
                           {404, QByteArray(5000, 'e'), LoopbackHttpServer::Behavior::Stalls});
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01", (m_server->BaseUrl() + "/files/setup.run").toUtf8())}, rx);
        check->SetTimeout(5000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(check->DownloadInstaller().isEmpty());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(PrivateFolders().isEmpty());
    }

    void installerAddressMustBeAllowed() {
        Receiver rx;
        auto check = CheckedAgainst(
            {200, VersionFile("9.0", "2030-01-01",
                              QStringLiteral("ftp://127.0.0.1:%1/setup.run").arg(m_server->Port()).toUtf8())},
            rx);
        QVERIFY(check->DownloadInstaller().isEmpty());
        QCOMPARE(m_server->Requests().size(), 1); // only the version file was asked for
    }

    void missingInstallerIsReported() {
        auto check = NewCheck(QString());
        QStringList messages;
        bool launched = false;
        check->SetMessageHandler([&](const QString& m) { messages << m; });
        check->SetInstallerLauncher([&](const QString&) {
            launched = true;
            return InstallerLaunch{true, 1, 0, 0};
        });
        QVERIFY(!check->StartInstaller("/nonexistent/setup.run"));
        QVERIFY(!launched);
        QCOMPARE(messages, QStringList{"The File\n\"/nonexistent/setup.run\"\ndoes not exist!"});
    }

    void localVersionIsComparable() {
        // The build's version must read as major.minor, as the version file writes it.
        const QString version = CUpdateCheck::GetLocalVersion();
        QVERIFY2(QRegularExpression("^\\d+\\.\\d+$").match(version).hasMatch(), qPrintable(version));
        QVERIFY(CUpdateCheck::VersionToNumber(version) >= 1000);
    }
};

QTEST_MAIN(UpdateCheckTest)
#include "UpdateCheckTest.moc"
