// The language switch: "E" stores "Sprache" = 1 and restarts the program, which then
// comes up in English from the translation file beside it (the build copies the
// program's kq-nfc-programmerEng.qm beside this test under the test's name).
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/KQ_NFCProgrammerApp.h"
#include "app/MainFrame.h"
#include "app/ProfileSettings.h"
#include "forms/RecordFormView.h"

#include <QAction>
#include <QMenuBar>
#include <QtTest>

namespace {

CKQ_NFCProgrammerApp& App() {
    return *static_cast<CKQ_NFCProgrammerApp*>(QCoreApplication::instance());
}

QStringList MenuTitles(const CMainFrame& frame) {
    QStringList titles;
    for (const QAction* menu : frame.menuBar()->actions())
        titles << menu->text();
    return titles;
}

const QStringList kGermanMenus{"&Datei", "&Bearbeiten", "&Transponder", "&NFC-Daten", "&Hilfe"};
const QStringList kEnglishMenus{"&File", "&Edit", "&Transponder", "&NFC data", "&Help"};

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void switchingToEnglishRestartsTheProgramInEnglish() {
        kqtest::SimReader reader(kqtest::WriterConfig());
        kqtest::FreshSettings(reader.Path());
        QStringList restarts;
        App().SetRestarter([&restarts](const QString& program) {
            restarts << program;
            return true;
        });

        QVERIFY(App().InitInstance());
        CMainFrame* frame = App().MainWnd();
        QTRY_COMPARE_WITH_TIMEOUT(frame->StatusText(), QStringLiteral("KQ-LMX38 verbunden!"), 10000);
        QCOMPARE(MenuTitles(*frame), kGermanMenus);
        QVERIFY(frame->Action(IdLanguageGerman)->isChecked());
        QVERIFY(!frame->Action(IdLanguageEnglish)->isChecked());
        // Qt's own buttons speak German too.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));

        // The language in use: nothing happens.
        frame->Action(IdLanguageGerman)->trigger();
        QVERIFY(frame->isVisible());
        QVERIFY(!App().IsRestartPending());
        QTRY_VERIFY(frame->Action(IdLanguageGerman)->isChecked());

        // What was typed comes along over the restart.
        kqtest::FillFields(*kqtest::ChooseRecordForm(*frame, kViewText), {"Grüße\nan alle"});
        frame->Action(IdLanguageEnglish)->trigger();
        QVERIFY(!frame->isVisible());
        QCOMPARE(ProfileSettings::ReadInt("Settings", "Sprache", 0), 1);
        QVERIFY(App().IsRestartPending());
        App().ExitInstance();
        QCOMPARE(restarts, QStringList{QCoreApplication::applicationFilePath()});

        // The program as it starts again.
        QVERIFY(App().InitInstance());
        frame = App().MainWnd();
        QVERIFY(App().IsEnglishLoaded());
        QCOMPARE(MenuTitles(*frame), kEnglishMenus);
        QCOMPARE(frame->CurrentViewId(), int(kViewText));
        QCOMPARE(kqtest::FieldTexts(*qobject_cast<CRecordFormView*>(frame->ActiveView())).value(0),
                 QStringLiteral("Grüße\r\nan alle"));
        QTRY_COMPARE_WITH_TIMEOUT(frame->StatusText(), QStringLiteral("KQ-LMX38 connected!"), 10000);
        QVERIFY(frame->Action(IdLanguageEnglish)->isChecked());
        QCOMPARE(frame->Action(IdLanguageEnglish)->statusTip(), QStringLiteral("Switch to English"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));

        // And back, with the shown row of a data list carried as the record.
        CRecordFormView* sms = kqtest::ChooseRecordForm(*frame, kViewSms);
        sms->LoadCsvDataList({"Eins;+49 1;erste", "Zwei;+49 2;zweite\nZeile"}, ';', "liste.csv");
        sms->OnNextRecord();
        frame->Action(IdLanguageGerman)->trigger();
        QCOMPARE(ProfileSettings::ReadInt("Settings", "Sprache", 1), 0);
        App().ExitInstance();
        QCOMPARE(restarts.size(), 2);
        QVERIFY(App().InitInstance());
        frame = App().MainWnd();
        QCOMPARE(MenuTitles(*frame), kGermanMenus);
        QCOMPARE(frame->CurrentViewId(), int(kViewSms));
        QCOMPARE(kqtest::FieldTexts(*qobject_cast<CRecordFormView*>(frame->ActiveView())),
                 (QStringList{"Zwei", "+49 2", "zweite\r\nZeile"}));

        // A contact's telephone types are named in the language shown.
        kqtest::FillFields(*kqtest::ChooseRecordForm(*frame, kViewContact),
                           {"Max", "Müller", "Vek GmbH", "Mobil Arbeit", "+49 1", "Fax privat", "+49 2",
                            "m@x.de", "http://www.", "vek.de"});
        frame->Action(IdLanguageEnglish)->trigger();
        App().ExitInstance();
        QVERIFY(App().InitInstance());
        frame = App().MainWnd();
        QCOMPARE(frame->CurrentViewId(), int(kViewContact));
        const QStringList contact = kqtest::FieldTexts(*qobject_cast<CRecordFormView*>(frame->ActiveView()));
        QCOMPARE(contact.value(3), QStringLiteral("Mobile business"));
        QCOMPARE(contact.mid(0, 3), (QStringList{"Max", "Müller", "Vek GmbH"}));
        QCOMPARE(contact.mid(7), (QStringList{"m@x.de", "http://www.", "vek.de"}));
        App().ExitInstance();
    }
};

int main(int argc, char** argv) {
    CKQ_NFCProgrammerApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    LanguageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LanguageTest.moc"
