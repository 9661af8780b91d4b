// The About box: its update status line from the update check against a loopback
// server, the check box "Version"/"Update", and the update started from the line.
#include "forms/AboutDlg.h"
#include "LoopbackHttpServer.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/ProfileSettings.h"
#include "app/UpdateCheck.h"
#include "forms/Label.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kVersionPath = "/rfid/software/DAZEZaruvoriZI.txt";

std::unique_ptr<CUpdateCheck> NewCheck(const QString& base) {
    qputenv("KQ_UPDATE_BASE_URL", base.toUtf8());
    auto check = std::make_unique<CUpdateCheck>("DAZEZaruvoriZI.txt", "KQ_NFC Programmer");
    check->SetTimeout(3000);
    return check;
}

} // namespace

class AboutDlgTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp; // downloads land in a private folder under it
    std::unique_ptr<LoopbackHttpServer> m_server;

    // A server that offers version 9.99 and an installer.
    std::unique_ptr<CUpdateCheck> NewerVersionOffered() {
        m_server->SetRoute("/files/setup.run", {200, "#!/bin/sh\nexit 0\n"});
        m_server->SetRoute(kVersionPath,
                           {200, "[KQ_NFC Programmer]\r\nVersion=9.99\r\nBuild=2099-01-01\r\nInstaller=" +
                                     (m_server->BaseUrl() + "/files/setup.run").toUtf8() + "\r\n"});
        return NewCheck(m_server->BaseUrl());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", m_tmp.path().toUtf8());
        qApp->setQuitOnLastWindowClosed(false);
    }
    void init() {
        QFile::remove(ProfileSettings::FilePath());
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->Listen());
    }

    // Without a server the line says there is no connection (red, no link); OK and
    // Cancel both store the check box.
    void withoutServerTheLineSaysSoAndTheCheckBoxIsStored() {
        auto check = NewCheck(QString());
        ProfileSettings::WriteInt("Version", "Update", 0);
        for (const bool ok : {true, false}) { // OK stores 1, then Cancel 0
            CAboutDlg about(*check);
            QCOMPARE(about.UpdateCheckBox()->isChecked(),
                     ProfileSettings::ReadInt("Version", "Update", 1) != 0);
            about.show();
            QTRY_COMPARE(about.StatusLabel()->LabelText(),
                         QString::fromUtf8("Keine Internet Verbindung: Update Prüfung nicht möglich!"));
            QCOMPARE(about.StatusLabel()->TextColor(), QColor(255, 0, 0));
            QVERIFY(!about.StatusLabel()->IsLink());
            about.UpdateCheckBox()->setChecked(ok);
            ok ? about.accept() : about.reject();
            QCOMPARE(ProfileSettings::ReadInt("Version", "Update", -1), ok ? 1 : 0);
        }
    }

    // A newer version: the line is a dark red link; a click downloads and starts the
    // installer, and the program ends because it started.
    void clickingTheNewVersionStartsTheInstallerAndEndsTheProgram() {
        auto check = NewerVersionOffered();
        QStringList started;
        check->SetInstallerLauncher([&](const QString& path) {
            started << path;
            return InstallerLaunch{true, 1, 0, 0};
        });
        CMainFrame frame(nullptr);
        frame.show();
        CAboutDlg about(*check, &frame);
        about.show();
        QTRY_COMPARE_WITH_TIMEOUT(about.StatusLabel()->LabelText(),
                                  QStringLiteral("Neue Version:KQ-NFC Programmer V 9.99 (2099-01-01)"),
                                  10000);
        QCOMPARE(about.StatusLabel()->TextColor(), QColor(192, 0, 0));
        QVERIFY(about.StatusLabel()->IsLink());

        QTest::mouseClick(about.StatusLabel(), Qt::LeftButton);
        QCOMPARE(started.size(), 1);
        QVERIFY(started[0].endsWith("/setup.run"));
        QVERIFY(!about.isVisible());
        QTRY_VERIFY(!frame.isVisible());
    }

    // An installer that does not start: the message says so, the program stays, the
    // line shows the offer again.
    void anInstallerThatDoesNotStartLeavesTheProgramRunning() {
        auto check = NewerVersionOffered();
        check->SetInstallerLauncher([](const QString&) { return InstallerLaunch{false, 0, 0, 2}; });
        QStringList messages;
        check->SetMessageHandler([&messages](const QString& text) { messages << text; });
        CMainFrame frame(nullptr);
        frame.show();
        CAboutDlg about(*check, &frame);
        about.show();
        QTRY_VERIFY_WITH_TIMEOUT(about.StatusLabel()->IsLink(), 10000);
        const QString offer = about.StatusLabel()->LabelText();

        QTest::mouseClick(about.StatusLabel(), Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY(about.isVisible());
        QCOMPARE(about.StatusLabel()->LabelText(), offer);
        QTest::qWait(100);
        QVERIFY(frame.isVisible());
    }
};

QTEST_MAIN(AboutDlgTest)
#include "AboutDlgTest.moc"
