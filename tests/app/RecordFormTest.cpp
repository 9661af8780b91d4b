// The record form pattern: the controls, template lines in, CSV and TXT data lists
// and their rows, the mandatory field and the buttons during the main window's cyclic
// jobs. Shown on the text form, with rows for the other kinds where they differ.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainWndForwarders.h"
#include "content/NfcTagData.h"
#include "forms/RecordFormView.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using kqtest::ControlById;
using kqtest::FrameBench;

const QString kInvalidTemplate = u"Vorlage mit ungültigen Daten."_s;

bool IsShown(const CRecordFormView& form, int id) {
    const QWidget* control = ControlById<QWidget>(form, id);
    return control && control->isVisibleTo(&form);
}

// The first text of each row.
QStringList FirstColumns(const CRecordFormView& form) {
    QStringList texts;
    for (int i = 0; i < form.RowCount(); ++i)
        texts << form.Row(i).value(0);
    return texts;
}

} // namespace

class RecordFormTest : public QObject {
    Q_OBJECT
private slots:
    // Every control carries its id; the fields are in the order of the template
    // keys; the data-list controls wait hidden for a list.
    void everyControlCarriesItsId_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("headingId");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QList<int>>("fieldIds");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("text") << int(kViewText) << u"CTextView"_s << u"TEXT"_s << 1003 << u"Text"_s
                              << QList<int>{133} << QStringList{"TEXT:"};
        QTest::newRow("SMS") << int(kViewSms) << u"CSmsView"_s << u"SMS"_s << 1003 << u"SMS"_s
                             << QList<int>{133, 148, 149} << QStringList{"TEXT:", "NUMBER:", "MESSAGE:"};
        QTest::newRow("telephone number")
            << int(kViewTelephon) << u"CTelephonView"_s << u"TELEPHON"_s << 1004 << u"Telefonnummer"_s
            << QList<int>{133, 151} << QStringList{"TEXT:", "NUMBER:"};
        QTest::newRow("e-mail") << int(kViewMail) << u"CMailView"_s << u"MAIL"_s << 1003 << u"E-Mail"_s
                                << QList<int>{133, 148, 150, 149}
                                << QStringList{"TEXT:", "ADDRESS:", "SUBJECT:", "MESSAGE:"};
        QTest::newRow("web address") << int(kViewBookmark) << u"CBookmarkView"_s << u"BOOKMARK"_s << 1003
                                     << u"Webadresse"_s << QList<int>{133, 132, 131}
                                     << QStringList{"TEXT:", "PREPEND:", "ADDRESS:"};
        QTest::newRow("contact") << int(kViewContact) << u"CContactView"_s << u"CONTACT"_s << 1003
                                 << u"Kontakt"_s
                                 << QList<int>{1005, 1008, 137, 1010, 134, 1009, 135, 136, 1007, 1006}
                                 << QStringList{"FIRSTNAME:",   "SURNAME:",    "ORGINISATION:", "TEL1TYP:",
                                                "PHONE1NR:",    "TEL2TYP:",    "PHONE2NR:",     "MAIL:",
                                                "WEB_PREPEND:", "WEB_ADDRESS:"};
    }
    void everyControlCarriesItsId() {
        QFETCH(int, viewId);
        QFETCH(QString, className);
        QFETCH(QString, keyword);
        QFETCH(int, headingId);
        QFETCH(QString, heading);
        QFETCH(QList<int>, fieldIds);
        QFETCH(QStringList, keys);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        QVERIFY(form);
        QCOMPARE(form->objectName(), className);
        QCOMPARE(form->Keyword(), keyword);
        QCOMPARE(ControlById<QLabel>(*form, headingId)->text(), heading);
        QCOMPARE(form->FieldCount(), int(fieldIds.size()));
        for (int i = 0; i < form->FieldCount(); ++i) {
            QCOMPARE(form->FieldControl(i)->objectName(), QString::number(fieldIds[i]));
            QCOMPARE(form->FieldKey(i), keys[i]);
        }
        for (int id : {1001, 1002, 1016, 1276, 1277, 1278, 1279, 1280, 1281})
            QVERIFY2(ControlById<QWidget>(*form, id), qPrintable(QString::number(id)));
        QCOMPARE(ControlById<QPushButton>(*form, 1001)->text(), QStringLiteral("Schreiben"));
        QCOMPARE(ControlById<QPushButton>(*form, 1016)->text(), QStringLiteral("Zyklisch\nschreiben"));
        QCOMPARE(ControlById<QCheckBox>(*form, 1002)->text(),
                 QStringLiteral("Nach Schreiben schreibschützen"));
        for (int id : {1276, 1277, 1278, 1279, 1280, 1281})
            QVERIFY2(!IsShown(*form, id), qPrintable(QString::number(id)));
    }

    // Tab goes through the fields as they stand on the form, top to bottom and left
    // to right, then to the buttons (the SMS and e-mail message boxes and the
    // contact's web address used to come after the buttons).
    void tabFollowsTheFieldsThenTheButtons_data() { everyControlCarriesItsId_data(); }
    void tabFollowsTheFieldsThenTheButtons() {
        QFETCH(int, viewId);
        QFETCH(QList<int>, fieldIds);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        bench.frame->show();
        QVERIFY(QTest::qWaitForWindowActive(bench.frame.get()));
        form->FieldControl(0)->setFocus();
        QStringList expected;
        for (int id : fieldIds + QList<int>{1001, 1016, 1002})
            expected << QString::number(id);
        QStringList seen{QApplication::focusWidget()->objectName()};
        while (seen.size() < expected.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen, expected);
    }

    // The keys of a form with several fields may come in any order; the lines below
    // "TEXT:" and "MESSAGE:" continue their values, those below another key that
    // match no key are passed over and named.
    void templateLinesOfSeveralFields() {
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewSms);
        kqtest::ModalWatcher watcher;
        QVERIFY(form->SetFromTemplateLines(
            {"SMS", "MESSAGE:x", "", "y", "NUMBER:1", "FARBE:rot", "TEXT:a", "b"}, "sms.tdp"));
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"a\r\nb", "1", "x\r\n\r\ny"}));
        QCOMPARE(watcher.seen,
                 QStringList{"Diese Zeilen der Vorlage wurden übergangen:\nZeile 6: FARBE:rot"});
    }

    // A record read from a tag fills the form of its kind only.
    void aTagRecordOfAnotherKindLeavesTheFieldsEmpty() {
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewSms);
        kqtest::FillFields(*form, {"d", "1", "m"});
        auto phone = std::make_unique<CTelephonNrScheme>();
        phone->value = "110";
        form->ShowTagRecord(CNfcTagData(std::move(phone)));
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"", "", ""}));
    }

    // Template lines in: a key's value is the rest of its line; a later line wins;
    // lines below a "TEXT:" line continue the text (files of the old rule, one line
    // per value, read as before); a template of another kind fills nothing.
    void templateLinesIn_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("value after the key")
            << QStringList{"TEXT", "TEXT:abc"} << true << u"abc"_s << QStringList{};
        QTest::newRow("a blank after the colon is kept")
            << QStringList{"TEXT", "TEXT: abc"} << true << u" abc"_s << QStringList{};
        QTest::newRow("a later line wins")
            << QStringList{"TEXT", "TEXT:a", "TEXT:b"} << true << u"b"_s << QStringList{};
        QTest::newRow("lines below continue the value")
            << QStringList{"TEXT", "TEXT:Grüße", "", "Zeile 3", "ENDE:x"} << true
            << u"Grüße\r\n\r\nZeile 3\r\nENDE:x"_s << QStringList{};
        QTest::newRow("no key leaves the text empty")
            << QStringList{"TEXT", ""} << true << QString() << QStringList{};
        QTest::newRow("unknown lines above the key are named")
            << QStringList{"TEXT", "FARBE:rot", "", "TEXT:a"} << true << u"a"_s
            << QStringList{"Diese Zeilen der Vorlage wurden übergangen:\nZeile 2: FARBE:rot"};
        QTest::newRow("the keyword in lower case")
            << QStringList{"text", "TEXT:a"} << false << QString() << QStringList{kInvalidTemplate};
        QTest::newRow("another kind")
            << QStringList{"SMS", "TEXT:a"} << false << QString() << QStringList{kInvalidTemplate};
        QTest::newRow("no line at all")
            << QStringList{} << false << QString() << QStringList{kInvalidTemplate};
    }
    void templateLinesIn() {
        QFETCH(QStringList, lines);
        QFETCH(bool, taken);
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        kqtest::FillFields(*form, {"vorher"});
        kqtest::ModalWatcher watcher;
        QCOMPARE(form->SetFromTemplateLines(lines, "vorlage.tdp"), taken);
        QCOMPARE(watcher.seen, messages);
        QCOMPARE(form->FieldText(0), text);
        int state = -1;
        int index = 0;
        bench.doc.Engine().GetResult(state, index);
        QCOMPARE(std::make_pair(state, index), taken ? std::make_pair(0, 6) : std::make_pair(-1, 0));
        QCOMPARE(IsShown(*form, CRecordFormView::IdFileName), taken);
        if (taken) {
            QCOMPARE(ControlById<QLabel>(*form, CRecordFormView::IdFileLabel)->text(),
                     QStringLiteral("Vorlage:"));
            QCOMPARE(ControlById<QLineEdit>(*form, CRecordFormView::IdFileName)->text(),
                     QStringLiteral("vorlage.tdp"));
            // Without the data-list row controls, the file name ends with the fields.
            auto* content = form->findChild<QWidget*>("Content");
            content->layout()->activate();
            const auto right = [content](const QWidget* w) {
                return w->mapTo(content, QPoint(w->width(), 0)).x();
            };
            QCOMPARE(right(ControlById<QLineEdit>(*form, CRecordFormView::IdFileName)),
                     right(form->FieldControl(0)));
        }
    }

    // TXT records: separated by ";;" (an odd run of ';' keeps one), fields by '|',
    // line breaks around a record trimmed, inside it kept.
    void txtRows_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("records") << "TEXT\r\nHallo;;\r\nWelt;;\r\n"
                                 << QStringList{"Hallo", "Welt"} << QStringList{};
        QTest::newRow("an empty record") << "TEXT\na;;;;b" << QStringList{"a", "b"} << QStringList{};
        QTest::newRow("more fields than columns")
            << "TEXT\na|b;;c|;;|" << QStringList{"c"}
            << QStringList{"Datensatz 1: 2 Felder, höchstens 1 erwartet"};
        QTest::newRow("no records") << "TEXT\r\n" << QStringList{} << QStringList{};
        QTest::newRow("a header alone") << "TEXT" << QStringList{} << QStringList{};
    }
    void txtRows() {
        QFETCH(QString, text);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, problems);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        const qsizetype lineEnd = text.indexOf(QRegularExpression("[\r\n]"));
        form->ParseTxtRows(text, lineEnd < 0 ? text.size() : lineEnd + 1);
        QCOMPARE(FirstColumns(*form), rows);
        QCOMPARE(form->RowProblems(), problems);
    }

    // A loaded list shows its first row with the counter; the step buttons move
    // through it and are disabled at its ends.
    void theRowsAreSteppedThrough() {
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        kqtest::ModalWatcher watcher;
        form->LoadCsvDataList({"eins", "zwei", "drei"}, ';', "liste.csv");
        QCOMPARE(watcher.seen, QStringList{});
        int state = -1;
        int index = 0;
        bench.doc.Engine().GetResult(state, index);
        QCOMPARE(std::make_pair(state, index), std::make_pair(0, 8));
        QCOMPARE(ControlById<QLabel>(*form, CRecordFormView::IdFileLabel)->text(),
                 QStringLiteral("Datenliste:"));
        QCOMPARE(ControlById<QLineEdit>(*form, CRecordFormView::IdFileName)->text(),
                 QStringLiteral("liste.csv"));
        for (int id : {1276, 1277, 1278, 1279, 1280, 1281})
            QVERIFY(IsShown(*form, id));

        auto* prev = ControlById<QToolButton>(*form, CRecordFormView::IdPrevRecord);
        auto* next = ControlById<QToolButton>(*form, CRecordFormView::IdNextRecord);
        const struct {
            QToolButton* click;
            QString counter;
            QString text;
            bool prevEnabled;
            bool nextEnabled;
        } steps[] = {
            {nullptr, "1 von 3", "eins", false, true}, {next, "2 von 3", "zwei", true, true},
            {next, "3 von 3", "drei", true, false},    {prev, "2 von 3", "zwei", true, true},
            {prev, "1 von 3", "eins", false, true},
        };
        for (const auto& step : steps) {
            if (step.click) step.click->click();
            QCOMPARE(kqtest::RecordCounter(*form), step.counter);
            QCOMPARE(form->FieldText(0), step.text);
            QCOMPARE(prev->isEnabled(), step.prevEnabled);
            QCOMPARE(next->isEnabled(), step.nextEnabled);
        }
    }

    // A list without a usable row says so and shows an empty record without any
    // data-list controls, also where a list or a template was shown before; rows
    // passed over are named in the same message.
    void aListWithoutRowsSaysSo_data() {
        QTest::addColumn<QString>("before");
        QTest::newRow("nothing") << "";
        QTest::newRow("a list") << "list";
        QTest::newRow("a template") << "template";
    }
    void aListWithoutRowsSaysSo() {
        QFETCH(QString, before);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        if (before == "list") {
            kqtest::ModalWatcher quiet;
            form->LoadCsvDataList({"eins", "zwei", "drei"}, ';', "liste.csv");
            form->ShowDataRecord(1);
        } else if (before == "template") {
            QVERIFY(form->SetFromTemplateLines({"TEXT", "TEXT:alt"}, "vorlage.tdp"));
        }
        kqtest::ModalWatcher watcher;
        form->LoadCsvDataList({"", ";", "a;b"}, ';', "leer.csv");
        QCOMPARE(form->FieldText(0), QString());
        QCOMPARE(
            watcher.seen,
            QStringList{"Diese Datensätze der Datenliste wurden übergangen:\nZeile 4: 2 Felder, höchstens 1 "
                        "erwartet\n\nDie Datenliste enthält keinen Datensatz."});
        QCOMPARE(form->RowCount(), 0);
        for (int id : {1276, 1277, 1278, 1279, 1280, 1281})
            QVERIFY(!IsShown(*form, id));
    }

    // An empty mandatory field, for "Schreiben" and for cyclic writing: its message,
    // nothing written, cyclic writing not started. The web address is missing also
    // with a prefix selected or only a prefix typed; the contact needs a first name
    // or surname, not only the organisation.
    void theMandatoryFieldIsChecked_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        const QString noAddress = u"Es wurde keine Webadresse eingegeben."_s;
        QTest::newRow("text") << int(kViewText) << QStringList{} << u"Es wurde kein Text eingegeben."_s;
        QTest::newRow("web, prefix selected")
            << int(kViewBookmark) << QStringList{"Nur Text", "https://www.", ""} << noAddress;
        QTest::newRow("web, only a prefix typed")
            << int(kViewBookmark) << QStringList{"", "http://", "HTTPS://"} << noAddress;
        QTest::newRow("contact, organisation only")
            << int(kViewContact) << QStringList{"", "", "Vek GmbH", "Privat", "+49 1"}
            << u"Es wurde kein Name eingegeben."_s;
    }
    void theMandatoryFieldIsChecked() {
        QFETCH(int, viewId);
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        FrameBench bench;
        const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(1));
        const kqsim::Bytes before = *bench.sim().tagMemory(tag);
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        kqtest::FillFields(*form, fields);
        kqtest::ModalWatcher watcher;
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        cyclic->click();
        QCOMPARE(watcher.seen, (QStringList{message, message}));
        QVERIFY(!cyclic->isChecked());
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QCOMPARE(bench.frame->StatusText(), QString());
        QCOMPARE(*bench.sim().tagMemory(tag), before);
    }

    // Cyclic reading disables writing and enables it again; "Zyklisch schreiben
    // beenden" gives the fields back.
    void theButtonsFollowTheCyclicJobs() {
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        auto* write = ControlById<QPushButton>(*form, CRecordFormView::IdWrite);
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        auto* text = form->FieldControl(0);
        bench.frame->Action(IdCyclicRead)->trigger();
        QVERIFY(bench.frame->IsCyclicReadRunning());
        QVERIFY(!write->isEnabled() && !cyclic->isEnabled());
        bench.frame->Action(IdCyclicRead)->trigger();
        QVERIFY(write->isEnabled() && cyclic->isEnabled());

        kqtest::FillFields(*form, {"Hallo"});
        cyclic->click();
        QVERIFY(bench.frame->IsCyclicWriteRunning());
        QVERIFY(cyclic->isChecked() && !write->isEnabled() && !text->isEnabled());
        bench.frame->Action(IdStopCyclicWrite)->trigger();
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QVERIFY(!cyclic->isChecked() && write->isEnabled() && text->isEnabled());
    }
};

QTEST_MAIN(RecordFormTest)
#include "RecordFormTest.moc"
