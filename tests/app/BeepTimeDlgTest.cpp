// The settings dialog: shown values, range checks at the fields, what OK and
// Cancel store.
#include "forms/BeepTimeDlg.h"
#include "ShellTestSupport.h"
#include "app/ProfileSettings.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace Qt::StringLiterals;

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

    // The defaults without stored settings; stored values out of its ranges clamped.
    void showsTheStoredValues() {
        {
            CBeepTimeDlg dlg;
            QCOMPARE(dlg.windowTitle(), u"Einstellungen"_s);
            QCOMPARE(dlg.BeepTimeEdit()->text(), u"150"_s);
            QCOMPARE(dlg.ZyklusZeitEdit()->text(), u"250"_s);
        }
        ProfileSettings::WriteInt("Settings", "BeepTime", -20);
        ProfileSettings::WriteInt("Settings", "ZyklusZeit", 0);
        CBeepTimeDlg dlg;
        QCOMPARE(std::make_pair(dlg.BeepTime, dlg.ZyklusZeit), std::make_pair(0, 100));
        QCOMPARE(dlg.ZyklusZeitEdit()->text(), u"100"_s);
    }

    // A refused field keeps the dialog open, names what is expected, takes the
    // focus, and nothing is stored. Put right (the lowest values of the ranges), the
    // same dialog takes the values.
    void refusesBadFields_data() {
        QTest::addColumn<QString>("beep");
        QTest::addColumn<QString>("cycle");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("beepFieldFocused");
        const QString cycleRange = u"Bitte geben Sie eine ganze Zahl zwischen 100 und 10000 ein."_s;
        const QString beepRange = u"Bitte geben Sie eine ganze Zahl zwischen 0 und 1000 ein."_s;
        const QString noNumber = u"Bitte geben Sie eine ganze Zahl ein."_s;
        QTest::newRow("cycle 99") << u"150"_s << u"99"_s << cycleRange << false;
        QTest::newRow("cycle 10001") << u"150"_s << u"10001"_s << cycleRange << false;
        QTest::newRow("beep 1001") << u"1001"_s << u"250"_s << beepRange << true;
        QTest::newRow("beep letters") << u"abc"_s << u"250"_s << noNumber << true;
        QTest::newRow("cycle empty") << u"150"_s << QString() << noNumber << false;
        QTest::newRow("both bad: first one") << u"-1"_s << u"5"_s << beepRange << true;
    }
    void refusesBadFields() {
        QFETCH(QString, beep);
        QFETCH(QString, cycle);
        QFETCH(QString, message);
        QFETCH(bool, beepFieldFocused);
        ProfileSettings::WriteInt("Settings", "BeepTime", 300);
        ProfileSettings::WriteInt("Settings", "ZyklusZeit", 500);
        kqtest::ModalWatcher boxes;
        CBeepTimeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.BeepTimeEdit()->setText(beep);
        dlg.ZyklusZeitEdit()->setText(cycle);
        ClickOk(dlg);
        QCOMPARE(boxes.seen, QStringList{message});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected)); // not accepted (yet)
        QLineEdit* refused = beepFieldFocused ? dlg.BeepTimeEdit() : dlg.ZyklusZeitEdit();
        QCOMPARE(dlg.focusWidget(), refused);
        QCOMPARE(refused->selectedText(), refused->text());
        QCOMPARE(Stored("BeepTime").toInt(), 300);
        QCOMPARE(Stored("ZyklusZeit").toInt(), 500);

        dlg.BeepTimeEdit()->setText("0");
        dlg.ZyklusZeitEdit()->setText("100");
        ClickOk(dlg);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("BeepTime").toInt(), 0);
        QCOMPARE(Stored("ZyklusZeit").toInt(), 100);
        QCOMPARE(ProfileSettings::ZyklusZeit(), 100);
    }

    void lettersCannotBeTyped() {
        CBeepTimeDlg dlg;
        dlg.show();
        dlg.ZyklusZeitEdit()->clear();
        QTest::keyClicks(dlg.ZyklusZeitEdit(), "1a2b0-0");
        QCOMPARE(dlg.ZyklusZeitEdit()->text(), u"1200"_s);
    }

    // Cancel and Escape store nothing; Return confirms.
    void cancelStoresNothingAndReturnConfirms() {
        ProfileSettings::WriteInt("Settings", "BeepTime", 300);
        for (const char* key : {"Cancel", "Escape", "Return"}) {
            CBeepTimeDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowActive(&dlg));
            dlg.BeepTimeEdit()->setText("77");
            dlg.ZyklusZeitEdit()->setText("9999");
            if (key == std::string("Cancel"))
                QTest::mouseClick(dlg.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
            else
                QTest::keyClick(dlg.BeepTimeEdit(),
                                key == std::string("Escape") ? Qt::Key_Escape : Qt::Key_Return);
            const bool confirmed = key == std::string("Return");
            QVERIFY2(!dlg.isVisible(), key);
            QVERIFY2(dlg.result() == (confirmed ? QDialog::Accepted : QDialog::Rejected), key);
            QVERIFY2(Stored("BeepTime").toInt() == (confirmed ? 77 : 300), key);
            QVERIFY2(Stored("ZyklusZeit").isValid() == confirmed, key);
        }
    }
};

QTEST_MAIN(BeepTimeDlgTest)
#include "BeepTimeDlgTest.moc"
