// The settings dialog: shown values, range checks at the fields, what OK and
// Cancel store.
#include "forms/BeepTimeDlg.h"
#include "MessageBoxCatcher.h"
#include "app/ProfileSettings.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

class BeepTimeDlgTest : public QObject {
    Q_OBJECT

    static QVariant Stored(const QString& key) {
        QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
        return raw.value("Settings/" + key);
    }

    static void ClickOk(CBeepTimeDlg& dlg) {
        QTest::mouseClick(dlg.findChild<QPushButton*>("OkButton"), Qt::LeftButton);
    }

private slots:
    void init() { QFile::remove(ProfileSettings::FilePath()); }

    void showsTheDefaultsWithoutStoredSettings() {
        CBeepTimeDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("Einstellungen"));
        QCOMPARE(dlg.BeepTimeEdit()->text(), QString("150"));
        QCOMPARE(dlg.ZyklusZeitEdit()->text(), QString("250"));
    }

    void showsStoredValuesClampedToItsRanges() {
        ProfileSettings::WriteInt("Settings", "BeepTime", -20);
        ProfileSettings::WriteInt("Settings", "ZyklusZeit", 0);
        CBeepTimeDlg dlg;
        QCOMPARE(dlg.BeepTime, 0);
        QCOMPARE(dlg.ZyklusZeit, 100);
        QCOMPARE(dlg.ZyklusZeitEdit()->text(), QString("100"));
    }

    void okStoresZeroBeepAndTheSmallestCycle() {
        MessageBoxCatcher boxes;
        CBeepTimeDlg dlg;
        dlg.show();
        dlg.BeepTimeEdit()->setText("0");
        dlg.ZyklusZeitEdit()->setText("100");
        ClickOk(dlg);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("BeepTime").toInt(), 0);
        QCOMPARE(Stored("ZyklusZeit").toInt(), 100);
        QCOMPARE(ProfileSettings::ZyklusZeit(), 100);
    }

    // A refused field keeps the dialog open, names what is expected, takes the
    // focus, and nothing is stored.
    void refusesBadFields_data() {
        QTest::addColumn<QString>("beep");
        QTest::addColumn<QString>("cycle");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("beepFieldFocused");
        QTest::newRow("cycle 99") << "150"
                                  << "99"
                                  << "Bitte geben Sie eine ganze Zahl zwischen 100 und 10000 ein." << false;
        QTest::newRow("cycle 10001") << "150"
                                     << "10001"
                                     << "Bitte geben Sie eine ganze Zahl zwischen 100 und 10000 ein."
                                     << false;
        QTest::newRow("beep 1001") << "1001"
                                   << "250"
                                   << "Bitte geben Sie eine ganze Zahl zwischen 0 und 1000 ein." << true;
        QTest::newRow("beep letters") << "abc"
                                      << "250"
                                      << "Bitte geben Sie eine ganze Zahl ein." << true;
        QTest::newRow("cycle empty") << "150"
                                     << ""
                                     << "Bitte geben Sie eine ganze Zahl ein." << false;
        QTest::newRow("both bad: first one")
            << "-1"
            << "5"
            << "Bitte geben Sie eine ganze Zahl zwischen 0 und 1000 ein." << true;
    }
    void refusesBadFields() {
        QFETCH(QString, beep);
        QFETCH(QString, cycle);
        QFETCH(QString, message);
        QFETCH(bool, beepFieldFocused);
        ProfileSettings::WriteInt("Settings", "BeepTime", 300);
        ProfileSettings::WriteInt("Settings", "ZyklusZeit", 500);
        MessageBoxCatcher boxes;
        CBeepTimeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.BeepTimeEdit()->setText(beep);
        dlg.ZyklusZeitEdit()->setText(cycle);
        ClickOk(dlg);
        QCOMPARE(boxes.texts, QStringList{message});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected)); // not accepted (yet)
        QLineEdit* refused = beepFieldFocused ? dlg.BeepTimeEdit() : dlg.ZyklusZeitEdit();
        QCOMPARE(dlg.focusWidget(), refused);
        QCOMPARE(refused->selectedText(), refused->text());
        QCOMPARE(Stored("BeepTime").toInt(), 300);
        QCOMPARE(Stored("ZyklusZeit").toInt(), 500);

        // Put right, the same dialog takes the values.
        dlg.BeepTimeEdit()->setText("40");
        dlg.ZyklusZeitEdit()->setText("1000");
        ClickOk(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("BeepTime").toInt(), 40);
        QCOMPARE(Stored("ZyklusZeit").toInt(), 1000);
    }

    void lettersCannotBeTyped() {
        CBeepTimeDlg dlg;
        dlg.show();
        dlg.ZyklusZeitEdit()->clear();
        QTest::keyClicks(dlg.ZyklusZeitEdit(), "1a2b0-0");
        QCOMPARE(dlg.ZyklusZeitEdit()->text(), QString("1200"));
    }

    void cancelStoresNothing() {
        ProfileSettings::WriteInt("Settings", "BeepTime", 300);
        CBeepTimeDlg dlg;
        dlg.show();
        dlg.BeepTimeEdit()->setText("10");
        dlg.ZyklusZeitEdit()->setText("9999");
        QTest::mouseClick(dlg.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(Stored("BeepTime").toInt(), 300);
        QVERIFY(!Stored("ZyklusZeit").isValid());
    }

    void enterConfirmsAndEscapeCancels() {
        {
            CBeepTimeDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowActive(&dlg));
            dlg.BeepTimeEdit()->setText("77");
            QTest::keyClick(dlg.BeepTimeEdit(), Qt::Key_Return);
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(Stored("BeepTime").toInt(), 77);
        }
        CBeepTimeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.BeepTimeEdit()->setText("88");
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(Stored("BeepTime").toInt(), 77);
    }
};

QTEST_MAIN(BeepTimeDlgTest)
#include "BeepTimeDlgTest.moc"
