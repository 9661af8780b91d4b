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
        QTest::newRow("server refuses")
            << QStringLiteral("http://127.0.0.1:%1").arg(LoopbackHttpServer::RefusedPort())
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
    // start, one offered over plain HTTP (not loaded) or one the server does not
    // deliver: a message says why, the program stays, the line shows the offer again.
    void clickingTheNewVersionStartsTheInstaller_data() {
        QTest::addColumn<QString>("installer"); // a path on the server, or a whole address
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("message"); // %1: the address; empty: any one message, or none when started
        QTest::newRow("installer starts") << "/files/setup.run" << true << QString();
        QTest::newRow("installer does not start") << "/files/setup.run" << false << QString();
        QTest::newRow("installer over plain HTTP") << "http://example.org/setup.run" << false
                                                   << "Das Installationsprogramm wird nicht geladen: die "
                                                      "Adresse\n%1\nist keine sichere Adresse (https).";
        QTest::newRow("installer not delivered")
            << "/files/missing.run" << false << "Das Installationsprogramm konnte nicht geladen werden:\n%1";
    }
    void clickingTheNewVersionStartsTheInstaller() {
        QFETCH(QString, installer);
        QFETCH(bool, starts);
        QFETCH(QString, message);
        m_server->SetRoute("/files/setup.run", {200, "#!/bin/sh\nexit 0\n"});
        const QString address = installer.startsWith('/') ? m_server->BaseUrl() + installer : installer;
        m_server->SetRoute(kVersionFilePath,
                           {200, "[KQ_NFC Programmer]\r\nVersion=9.99\r\nBuild=2099-01-01\r\nInstaller=" +
                                     address.toUtf8() + "\r\n"});
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
        const bool loaded = installer == "/files/setup.run";
        QCOMPARE(started.size(), loaded ? 1 : 0);
        if (loaded) QVERIFY(started[0].endsWith("/setup.run"));
        QCOMPARE(messages.size(), starts ? 0 : 1);
        if (!message.isEmpty()) QCOMPARE(messages.value(0), message.arg(address));
        QCOMPARE(about.isVisible(), !starts);
        if (starts) {
            QTRY_VERIFY(!frame.isVisible());
        } else {
            QCOMPARE(about.StatusLabel()->LabelText(), offer);
            QTest::qWait(100);
            QVERIFY(frame.isVisible());
        }
    }

    // A newer version whose text from the server is of any length, one long word or
    // many: the box with its OK button stays within a 1280x800 screen.
    void aLongVersionTextKeepsTheBoxOnScreen_data() {
        QTest::addColumn<QByteArray>("version");
        QTest::newRow("one long word") << "9.99" + QByteArray(20000, 'x');
        QTest::newRow("many words") << "9.99" + QByteArray("-beta ").repeated(3000);
    }
    void aLongVersionTextKeepsTheBoxOnScreen() {
        QFETCH(QByteArray, version);
        m_server->SetRoute(kVersionFilePath,
                           {200, "[KQ_NFC Programmer]\r\nVersion=" + version + "\r\nBuild=2099-01-01\r\n"});
        auto check = NewUpdateCheck(m_server->BaseUrl(), 3000);
        CAboutDlg about(*check);
        about.show();
        QTRY_VERIFY_WITH_TIMEOUT(about.StatusLabel()->LabelText().startsWith("Neue Version:"), 10000);
        QTest::qWait(50); // the layout takes the new text
        QVERIFY2(about.width() <= 1280 && about.height() <= 800,
                 qPrintable(QStringLiteral("%1x%2").arg(about.width()).arg(about.height())));
        const QWidget* ok = about.findChild<QWidget*>("OkButton");
        QVERIFY(about.rect().contains(QRect(ok->mapTo(&about, QPoint(0, 0)), ok->size())));
        QVERIFY(about.StatusLabel()->IsLink()); // still the offer
    }
};

QTEST_MAIN(AboutDlgTest)
#include "AboutDlgTest.moc"
