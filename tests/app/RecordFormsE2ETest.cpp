// The record forms end to end against the simulated reader: a record typed into its
// form and written with "Schreiben" lands on an NTAG213 as the NDEF message the NFC
// Forum record definitions give (written out here by hand), and reading the tag
// brings every field back; a record too long for the tag has its excess marked;
// cyclic writing puts each row of a data list on its own tag.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "forms/RecordFormView.h"
#include "sim/Type2Tag.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

namespace {

using kqtest::ControlById;
using kqtest::FrameBench;

kqsim::Bytes Uid(std::uint8_t last) {
    return {0x04, 0x21, 0x32, 0x43, 0x54, 0x65, last};
}

QString MessageHex(const kqsim::Simulator& sim, kqsim::TagId tag) {
    return QString::fromStdString(kqsim::toHex(kqtest::Type2NdefMessage(*sim.tagMemory(tag))));
}

QString Counter(const CRecordFormView& form) {
    return ControlById<QLineEdit>(form, CRecordFormView::IdRecordCounter)->text();
}

} // namespace

class RecordFormsE2ETest : public QObject {
    Q_OBJECT
private slots:
    // Fill, "Schreiben", compare the tag's NDEF message, "Transponder lesen", compare
    // the fields.
    void writeOnceAndReadBack_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        // Text record (NFC Forum RTD Text): header D1 (MB ME SR, TNF 1), type length
        // 01, payload length, type "T"; payload: status 02 (UTF-8, language code of
        // two bytes), "en", the text in UTF-8 with its line break as CR LF.
        QTest::newRow("text with umlauts and a line break")
            << int(kViewText) << QStringList{"Grüße aus Köln\nZeile 2"}
            << "D1 01 1D 54 02 65 6E "
               "47 72 C3 BC C3 9F 65 20 61 75 73 20 4B C3 B6 6C 6E 0D 0A 5A 65 69 6C 65 20 32";
        // Web address fields: link text, prefix, address. URI record (NFC Forum URI
        // RTD): D1 01 len "U", the identifier code of the prefix (01 "http://www.", 02
        // "https://www.", 03 "http://", 04 "https://"), the rest in UTF-8. With a link
        // text a smart poster (D1 02 len "Sp") holds a text record (91: MB, SR) and the
        // URI record (51: ME, SR).
        QTest::newRow("web address: link text with an umlaut, https://www.")
            << int(kViewBookmark) << QStringList{"Über uns", "https://www.", "example.org/a?b=1"}
            << "D1 02 26 53 70 "
               "91 01 0C 54 02 65 6E C3 9C 62 65 72 20 75 6E 73 "
               "51 01 12 55 02 65 78 61 6D 70 6C 65 2E 6F 72 67 2F 61 3F 62 3D 31";
        QTest::newRow("web address: http://") << int(kViewBookmark) << QStringList{"", "http://", "example.org"}
                                              << "D1 01 0C 55 03 65 78 61 6D 70 6C 65 2E 6F 72 67";
        QTest::newRow("web address: http://www.") << int(kViewBookmark) << QStringList{"", "http://www.", "vek.de"}
                                                  << "D1 01 07 55 01 76 65 6B 2E 64 65";
        QTest::newRow("web address: https:// and a UTF-8 path")
            << int(kViewBookmark) << QStringList{"", "https://", "vek.de/ä"}
            << "D1 01 0A 55 04 76 65 6B 2E 64 65 2F C3 A4";
        // Contact fields: first name, surname, organisation, type 1, number 1, type 2,
        // number 2, e-mail, web prefix, web address; the rows use every type of the
        // list. A MIME record "text/x-vCard" with vCard 2.1 text.
        QTest::newRow("contact: at work and at home, all fields")
            << int(kViewContact)
            << QStringList{"Max", "Mustermann", "Vek GmbH", "Dienstlich", "+49 30 1234", "Privat", "+49 30 5678",
                           "max@example.org", "https://www.", "vek.de"}
            << kqtest::VCardRecordHex(kqtest::VCardText(
                   {"FN:Max Mustermann, Vek GmbH", "N:Mustermann;Max", "ORG:Vek GmbH", "TEL;WORK:+49 30 1234",
                    "TEL;HOME:+49 30 5678", "EMAIL:max@example.org", "URL:https://www.vek.de"}));
        QTest::newRow("contact: mobile and fax at work, umlauts")
            << int(kViewContact)
            << QStringList{"Jürgen", "Groß", "", "Mobil Arbeit", "+49 170 1", "Fax dienstlich", "+49 30 2", "",
                           "http://", ""}
            << kqtest::VCardRecordHex(kqtest::VCardText(
                   {"FN:Jürgen Groß", "N:Groß;Jürgen", "TEL;WORK;CELL:+49 170 1", "TEL;WORK;FAX:+49 30 2"}));
        QTest::newRow("contact: fax at home, separators in the names")
            << int(kViewContact)
            << QStringList{"", "Berg; Nord", "Kiel, Hafen", "Fax privat", "+49 431 9", "Dienstlich", "", "a@b.de",
                           "http://www.", "berg.de"}
            << kqtest::VCardRecordHex(kqtest::VCardText({"FN:Berg; Nord, Kiel, Hafen", "N:Berg\\; Nord;",
                                                         "ORG:Kiel\\, Hafen", "TEL;HOME;FAX:+49 431 9",
                                                         "EMAIL:a@b.de", "URL:http://www.berg.de"}));
    }
    void writeOnceAndReadBack() {
        QFETCH(int, viewId);
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        FrameBench bench;
        // An NTAG215: room for a contact with all its fields.
        const kqsim::TagId tag =
            bench.sim().placeTag(kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag215, Uid(1)));
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        QVERIFY(form);
        kqtest::FillFields(*form, fields);
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(MessageHex(bench.sim(), tag), message);

        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), viewId);
        auto* shown = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
        QVERIFY(shown);
        QVERIFY(shown != form);
        for (QString& field : fields)
            field.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        QCOMPARE(kqtest::FieldTexts(*shown), fields);
    }

    // A text too long for the tag: the excess is marked at the end of the text; a
    // count beyond the text's length (multi-byte characters) marks all of it.
    void theExcessIsMarked_data() {
        QTest::addColumn<bool>("ultralight");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("beyondTheText");
        // NTAG213: a 167-byte message for 160 letters, in 139 bytes of data area.
        QTest::newRow("ASCII on an NTAG213") << false << QString(160, u'x') << false;
        // Ultralight: 40 euro signs of 3 bytes make a 127-byte message, in 48 bytes.
        QTest::newRow("multi-byte on an Ultralight") << true << QString(40, QChar(0x20AC)) << true;
    }
    void theExcessIsMarked() {
        QFETCH(bool, ultralight);
        QFETCH(QString, text);
        QFETCH(bool, beyondTheText);
        FrameBench bench;
        bench.sim().placeTag(ultralight ? kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ultralight, Uid(2))
                                        : kqtest::BlankNtag213(Uid(2)));
        if (ultralight) QVERIFY(bench.doc.Engine().Format()); // a blank Ultralight is not NFC formatted
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        kqtest::FillFields(*form, {text});
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        int state = -1;
        int index = 0;
        int excess = 0;
        bench.doc.Engine().GetResult(state, index, &excess);
        QCOMPARE(std::make_pair(state, index), std::make_pair(1, 27));
        QVERIFY(excess > 0);
        QCOMPARE(excess > text.size(), beyondTheText);
        auto* edit = qobject_cast<QPlainTextEdit*>(form->FieldControl(0));
        QVERIFY(edit->hasFocus() || !QApplication::focusWindow());
        const QTextCursor cursor = edit->textCursor();
        QCOMPARE(cursor.selectionStart(), std::max(0, int(text.size()) - excess));
        QCOMPARE(cursor.selectionEnd(), int(text.size()));
    }

    // Cyclic writing from a three-row list onto three tags placed one after another:
    // each gets its row, the counter runs "1 von 3" to "3 von 3", then "Ende", and
    // the form is ready for the next job.
    void cyclicWritingPutsEachRowOnItsTag_data() {
        QTest::addColumn<bool>("csv");
        QTest::newRow("CSV") << true;
        QTest::newRow("TXT") << false;
    }
    void cyclicWritingPutsEachRowOnItsTag() {
        QFETCH(bool, csv);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        const QStringList rows{"Erster Gruß", "Zweite\r\nZeile", "Dritter"};
        if (csv)
            form->LoadCsvDataList({"Erster Gruß", "\"Zweite\nZeile\"", "Dritter"}, ';', "liste.csv");
        else
            form->LoadTxtDataList("TEXT\r\nErster Gruß;;Zweite\r\nZeile;;\r\nDritter;;", 6, "liste.txt");
        QCOMPARE(form->RowCount(), 3);
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        cyclic->click();
        QVERIFY(bench.frame->IsCyclicWriteRunning());

        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(Counter(*form), QString("%1 von 3").arg(n));
            const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(Uid(n)));
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            const QByteArray text = rows[n - 1].toUtf8();
            // Text record: D1 01, payload length, "T", 02 "en", the text.
            const kqsim::Bytes expected = kqtest::TextRecord(text.toStdString());
            QCOMPARE(MessageHex(bench.sim(), tag), QString::fromStdString(kqsim::toHex(expected)));
            bench.sim().removeTag(tag);
            if (n < 3) QTRY_COMPARE(Counter(*form), QString("%1 von 3").arg(n + 1));
        }
        QTRY_COMPARE(Counter(*form), QStringLiteral("Ende"));
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QVERIFY(!cyclic->isChecked());
        QVERIFY(form->FieldControl(0)->isEnabled());
        QVERIFY(ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->isEnabled());
    }
};

QTEST_MAIN(RecordFormsE2ETest)
#include "RecordFormsE2ETest.moc"
