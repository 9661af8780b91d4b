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

class AboutDlgTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp; // downloads land in a private folder under it
    std::unique_ptr<LoopbackHttpServer> m_server;

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

    // With no update server configured (the default build) the line stays empty: no
    // check was possible, but none was asked for either. A server that does not
    // answer: the line says there is no connection (red, no link). OK and Cancel both
    // store the check box.
    void theLineSaysWhatTheCheckFound_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QColor>("color");
        QTest::newRow("no server") << QString() << QString() << QColor(128, 128, 128);
        QTest::newRow("server refuses") << QStringLiteral("http://127.0.0.1:%1").arg(LoopbackHttpServer::RefusedPort())
                                        << QString::fromUtf8("Keine Internet Verbindung: Update Prüfung nicht möglich!")
                                        << QColor(255, 0, 0);
    }
    void theLineSaysWhatTheCheckFound() {
        QFETCH(QString, base);
        QFETCH(QString, line);
        QFETCH(QColor, color);
        auto check = NewUpdateCheck(base, 3000);
        ProfileSettings::WriteInt("Version", "Update", 0);
        for (const bool ok : {true, false}) { // OK stores 1, then Cancel 0
            CAboutDlg about(*check);
            QCOMPARE(about.UpdateCheckBox()->isChecked(),
                     ProfileSettings::ReadInt("Version", "Update", 1) != 0);
            about.StatusLabel()->SetText(QStringLiteral("-"));
            about.show();
            QTRY_COMPARE(about.StatusLabel()->LabelText(), line);
            QCOMPARE(about.StatusLabel()->TextColor(), color);
            QVERIFY(!about.StatusLabel()->IsLink());
            about.UpdateCheckBox()->setChecked(ok);
            ok ? about.accept() : about.reject();
            QCOMPARE(ProfileSettings::ReadInt("Version", "Update", -1), ok ? 1 : 0);
        }
    }

    // A newer version: the line is a dark red link; a click downloads and starts the
    // installer, and the program ends because it started. An installer that does not
    // start: the message says so, the program stays, the line shows the offer again.
    void clickingTheNewVersionStartsTheInstaller_data() {
        QTest::addColumn<bool>("starts");
        QTest::newRow("installer starts") << true;
        QTest::newRow("installer does not start") << false;
    }
    void clickingTheNewVersionStartsTheInstaller() {
        QFETCH(bool, starts);
        m_server->SetRoute("/files/setup.run", {200, "#!/bin/sh\nexit 0\n"});
        m_server->SetRoute(kVersionFilePath,
                           {200, "[KQ_NFC Programmer]\r\nVersion=9.99\r\nBuild=2099-01-01\r\nInstaller=" +
                                     (m_server->BaseUrl() + "/files/setup.run").toUtf8() + "\r\n"});
        auto check = NewUpdateCheck(m_server->BaseUrl(), 3000);
        QStringList started, messages;
        check->SetInstallerLauncher([&](const QString& path) {
            started << path;
            return InstallerLaunch{starts, starts ? 1 : 0, 0, starts ? 0 : 2};
        });
        check->SetMessageHandler([&messages](const QString& text) { messages << text; });
        CMainFrame frame(nullptr);
        frame.show();
        CAboutDlg about(*check, &frame);
        about.show();
        const QString offer = QStringLiteral("Neue Version:KQ-NFC Programmer V 9.99 (2099-01-01)");
        QTRY_COMPARE_WITH_TIMEOUT(about.StatusLabel()->LabelText(), offer, 10000);
        QCOMPARE(about.StatusLabel()->TextColor(), QColor(192, 0, 0));
        QVERIFY(about.StatusLabel()->IsLink());

        QTest::mouseClick(about.StatusLabel(), Qt::LeftButton);
        QCOMPARE(started.size(), 1);
        QVERIFY(started[0].endsWith("/setup.run"));
        QCOMPARE(messages.size(), starts ? 0 : 1);
        QCOMPARE(about.isVisible(), !starts);
        if (starts) {
            QTRY_VERIFY(!frame.isVisible());
        } else {
            QCOMPARE(about.StatusLabel()->LabelText(), offer);
            QTest::qWait(100);
            QVERIFY(frame.isVisible());
        }
    }
};

QTEST_MAIN(AboutDlgTest)
#include "AboutDlgTest.moc"
