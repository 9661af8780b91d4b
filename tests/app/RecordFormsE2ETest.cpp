// The record forms end to end against the simulated reader: a record typed into its
// form and written with "Schreiben" lands on the tag as the NDEF message the NFC
// Forum record definitions give (written out here by hand: URI identifier codes,
// smart poster, MIME record "text/x-vCard" with vCard 2.1 text), and reading the tag
// brings every field back; a vCard from elsewhere is shown and written again; a
// record too long for the tag has its excess marked; cyclic writing puts each row of
// a data list on its own tag; MIFARE Classic and ISO 15693 tags are written and read
// through the same form.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/ProfileSettings.h"
#include "forms/RecordFormView.h"
#include "sim/ClassicTag.h"
#include "sim/Iso15693Tag.h"
#include "sim/Type2Tag.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <map>

namespace {

using kqtest::ControlById;
using kqtest::FrameBench;

// An NTAG215: room for a contact with all its fields.
std::unique_ptr<kqsim::Tag> BlankNtag215(std::uint8_t n) {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag215, kqtest::Uid(n));
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
        QTest::addColumn<QByteArray>("message");
        // Text record (NFC Forum RTD Text): header D1 (MB ME SR, TNF 1 well-known),
        // type length 01, payload length, type "T"; payload: status 02 (UTF-8, a
        // language code of two bytes), "en", the text in UTF-8, its line break CR LF.
        QTest::newRow("text with umlauts and a line break")
            << int(kViewText) << QStringList{"Grüße aus Köln\nZeile 2"}
            << QByteArray::fromHex("D1 01 1D 54 02 65 6E") + "Grüße aus Köln\r\nZeile 2";
        // A description puts the URI into a smart poster: "Sp" record (D1 02 len 53
        // 70) whose payload holds the title as a text record (91: MB SR, TNF 1) and
        // then the URI record (51: ME SR, TNF 1). URI record (RTD URI): type "U",
        // payload an identifier code and the rest of the URI; "sms:" has no code
        // (00), so the whole URI follows, its number and body percent-encoded (the
        // body's line break as %0D%0A, UTF-8 bytes of umlauts each as %XX).
        QTest::newRow("SMS with a description")
            << int(kViewSms) << QStringList{"Bitte zurückrufen", "+49 170 1234567", "Hallo\nbis später"}
            << QByteArray::fromHex("D1 02 59 53 70") + QByteArray::fromHex("91 01 15 54 02 65 6E") +
                   "Bitte zurückrufen" + QByteArray::fromHex("51 01 3C 55 00") +
                   "sms:%2B49%20170%201234567?body=Hallo%0D%0Abis%20sp%C3%A4ter";
        // "tel:" is identifier code 05; the number percent-encoded.
        QTest::newRow("telephone number") << int(kViewTelephon) << QStringList{"", "+49 123 45"}
                                          << QByteArray::fromHex("D1 01 11 55 05") + "%2B49%20123%2045";
        QTest::newRow("telephone number with a description")
            << int(kViewTelephon) << QStringList{"Zentrale", "+49 123 45"}
            << QByteArray::fromHex("D1 02 24 53 70") + QByteArray::fromHex("91 01 0B 54 02 65 6E") +
                   "Zentrale" + QByteArray::fromHex("51 01 11 55 05") + "%2B49%20123%2045";
        // "mailto:" is identifier code 06; address, subject and body percent-encoded,
        // both parameters always written.
        QTest::newRow("e-mail") << int(kViewMail)
                                << QStringList{"", "info@example.org", "Anfrage Öffnungszeiten",
                                               "Guten Tag,\nwann haben Sie geöffnet?"}
                                << QByteArray::fromHex("D1 01 78 55 06") +
                                       "info%40example.org?subject=Anfrage%20%C3%96ffnungszeiten"
                                       "&body=Guten%20Tag%2C%0D%0Awann%20haben%20Sie%20ge%C3%B6ffnet%3F";
        QTest::newRow("e-mail with a description and an empty subject")
            << int(kViewMail) << QStringList{"Post", "a@b.de", "", ""}
            << QByteArray::fromHex("D1 02 27 53 70") + QByteArray::fromHex("91 01 07 54 02 65 6E") + "Post" +
                   QByteArray::fromHex("51 01 18 55 06") + "a%40b.de?subject=&body=";
        // Web address fields: link text, prefix, address. The identifier code of the
        // prefix: 01 "http://www.", 02 "https://www.", 03 "http://", 04 "https://".
        QTest::newRow("web address with an umlaut in its description, https://www.")
            << int(kViewBookmark) << QStringList{"Über uns", "https://www.", "example.org/a?b=1"}
            << QByteArray::fromHex("D1 02 26 53 70") + QByteArray::fromHex("91 01 0C 54 02 65 6E") +
                   "Über uns" + QByteArray::fromHex("51 01 12 55 02") + "example.org/a?b=1";
        QTest::newRow("web address, http://")
            << int(kViewBookmark) << QStringList{"", "http://", "example.org"}
            << QByteArray::fromHex("D1 01 0C 55 03") + "example.org";
        QTest::newRow("web address, http://www.")
            << int(kViewBookmark) << QStringList{"", "http://www.", "vek.de"}
            << QByteArray::fromHex("D1 01 07 55 01") + "vek.de";
        QTest::newRow("web address, https:// and a UTF-8 path")
            << int(kViewBookmark) << QStringList{"", "https://", "vek.de/ä"}
            << QByteArray::fromHex("D1 01 0A 55 04") + "vek.de/ä";
        // Contact fields: first name, surname, organisation, type 1, number 1, type 2,
        // number 2, e-mail, web prefix, web address; the rows use every type of the
        // list. A MIME record "text/x-vCard" holding vCard 2.1 text.
        QTest::newRow("contact at work and at home, all fields")
            << int(kViewContact)
            << QStringList{"Max",    "Mustermann",  "Vek GmbH",        "Dienstlich",   "+49 30 1234",
                           "Privat", "+49 30 5678", "max@example.org", "https://www.", "vek.de"}
            << kqtest::VCardRecord(kqtest::VCardText(
                   {"FN:Max Mustermann, Vek GmbH", "N:Mustermann;Max", "ORG:Vek GmbH", "TEL;WORK:+49 30 1234",
                    "TEL;HOME:+49 30 5678", "EMAIL:max@example.org", "URL:https://www.vek.de"}));
        QTest::newRow("contact with mobile and fax at work, umlauts")
            << int(kViewContact) << QStringList{"Jürgen",         "Groß",     "", "Mobil Arbeit", "+49 170 1",
                                                "Fax dienstlich", "+49 30 2", "", "http://",      ""}
            << kqtest::VCardRecord(kqtest::VCardText(
                   {"FN:Jürgen Groß", "N:Groß;Jürgen", "TEL;WORK;CELL:+49 170 1", "TEL;WORK;FAX:+49 30 2"}));
        QTest::newRow("contact with fax at home, separators in the names")
            << int(kViewContact)
            << QStringList{"",           "Berg; Nord", "Kiel, Hafen", "Fax privat",  "+49 431 9",
                           "Dienstlich", "",           "a@b.de",      "http://www.", "berg.de"}
            << kqtest::VCardRecord(
                   kqtest::VCardText({"FN:Berg; Nord, Kiel, Hafen", "N:Berg\\; Nord;", "ORG:Kiel\\, Hafen",
                                      "TEL;HOME;FAX:+49 431 9", "EMAIL:a@b.de", "URL:http://www.berg.de"}));
    }
    void writeOnceAndReadBack() {
        QFETCH(int, viewId);
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, message);
        FrameBench bench;
        const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(1));
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        QVERIFY(form);
        kqtest::FillFields(*form, fields);
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(message));

        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), viewId);
        auto* shown = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
        QVERIFY(shown);
        QVERIFY(shown != form);
        for (QString& field : fields)
            field.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        QCOMPARE(kqtest::FieldTexts(*shown), fields);
    }

    // The other tag families through the web address form: a blank MIFARE Classic 1K
    // gets its TLV area in sector 1 (block 4, byte 64), a blank ISO 15693 tag right
    // behind its CC (byte 4). URI record D1 01 0C 55, code 04 "https://", in an NDEF
    // Message TLV (03, length) closed by the Terminator (FE).
    void writeAndReadOtherTagFamilies_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("offset");
        QTest::newRow("MIFARE Classic 1K") << 0 << 64;
        QTest::newRow("ISO 15693") << 1 << 4;
    }
    void writeAndReadOtherTagFamilies() {
        QFETCH(int, family);
        QFETCH(int, offset);
        FrameBench bench;
        const kqsim::TagId tag = bench.sim().placeTag(
            family == 0
                ? std::unique_ptr<kqsim::Tag>(kqsim::ClassicTag::blank(kqsim::ClassicTag::Model::Classic1K))
                : kqsim::Iso15693Tag::blank("icode"));
        const QStringList fields{"", "https://", "example.org"};
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewBookmark);
        QVERIFY(form);
        kqtest::FillFields(*form, fields);
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        const kqsim::Bytes memory = bench.sim().tagMemory(tag).value_or(kqsim::Bytes{});
        const QByteArray tlv = QByteArray::fromHex("03 10 D1 01 0C 55 04") + "example.org" + '\xFE';
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(memory.data()) + offset, tlv.size()), tlv);

        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewBookmark));
        auto* shown = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
        QVERIFY(shown && shown != form);
        QCOMPARE(kqtest::FieldTexts(*shown), fields);
    }

    // A vCard from elsewhere: a mobile at home, a fax at work, a third number; URLs
    // of another scheme and in capitals. The form shows two numbers, the home mobile
    // as "Mobil Arbeit", the last web address it can split; written again, the
    // mobile is one at work.
    void aForeignContactIsShownAndWrittenAgain() {
        FrameBench bench;
        const kqsim::TagId foreign = bench.sim().placeTag(kqtest::Ntag213WithMessage(
            kqtest::VCardRecord("BEGIN:VCARD\r\nN:Berg;Anna\r\nTEL;HOME;CELL:1\r\nTEL;WORK;FAX:2\r\nTEL:3\r\n"
                                "URL:ftp://x.de\r\nURL:HTTPS://Berg.de\r\nEND:VCARD"),
            3));
        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewContact));
        auto* form = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"Anna", "Berg", "", "Mobil Arbeit", "1",
                                                         "Fax dienstlich", "2", "", "https://", "Berg.de"}));

        bench.sim().removeTag(foreign);
        const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(4));
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(kqtest::VCardRecord(kqtest::VCardText(
                                                           {"FN:Anna Berg", "N:Berg;Anna", "TEL;WORK;CELL:1",
                                                            "TEL;WORK;FAX:2", "URL:https://Berg.de"}))));
    }

    // A record too long for the tag: the excess, counted in the record's bytes, is
    // marked at the end of the message as the characters that take up those bytes
    // (UTF-8 in a text record, percent-encoded in an SMS or e-mail URI); a count
    // beyond what the message holds marks all of it.
    void theExcessIsMarked_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<bool>("ultralight");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("bytesPerCharacter");
        QTest::addColumn<int>("unitsPerCharacter"); // UTF-16 units of one character
        // NTAG213: a 167-byte message for 160 letters, in 139 bytes of data area.
        QTest::newRow("ASCII on an NTAG213")
            << int(kViewText) << false << QStringList{QString(160, u'x')} << 1 << 1;
        // Umlauts of 2 bytes: about half as many characters as bytes too many.
        QTest::newRow("umlauts on an NTAG213")
            << int(kViewText) << false << QStringList{QString(100, QChar(0xE4))} << 2 << 1;
        // Ultralight: 40 euro signs of 3 bytes make a 127-byte message, in 48 bytes.
        QTest::newRow("multi-byte on an Ultralight")
            << int(kViewText) << true << QStringList{QString(40, QChar(0x20AC))} << 3 << 1;
        // "%C3%A4" in the URI for each umlaut of the message.
        QTest::newRow("umlauts in an SMS")
            << int(kViewSms) << false << QStringList{"", "123", QString(40, QChar(0xE4))} << 6 << 1;
        QTest::newRow("umlauts in an e-mail")
            << int(kViewMail) << false << QStringList{"", "a@b.de", "Hallo", QString(40, QChar(0xE4))} << 6
            << 1;
        // A flag is one character of two code points (8 bytes): it is marked whole or
        // not at all, never half of it.
        QTest::newRow("flags in a text")
            << int(kViewText) << false << QStringList{QString::fromUtf8("\U0001F1E9\U0001F1EA").repeated(40)}
            << 8 << 4;
        // A long subject: more bytes too many than the message has.
        QTest::newRow("beyond the message")
            << int(kViewMail) << false << QStringList{"", "a@b.de", QString(200, u's'), "\u00E4\u00E4"} << 6
            << 1;
    }
    void theExcessIsMarked() {
        QFETCH(int, viewId);
        QFETCH(bool, ultralight);
        QFETCH(QStringList, fields);
        QFETCH(int, bytesPerCharacter);
        QFETCH(int, unitsPerCharacter);
        FrameBench bench;
        bench.sim().placeTag(ultralight
                                 ? kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ultralight, kqtest::Uid(2))
                                 : kqtest::BlankNtag213(2));
        if (ultralight) QVERIFY(bench.doc.Engine().Format()); // a blank Ultralight is not NFC formatted
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        kqtest::FillFields(*form, fields);
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        int state = -1;
        int index = 0;
        int excess = 0;
        bench.doc.Engine().GetResult(state, index, &excess);
        QCOMPARE(std::make_pair(state, index), std::make_pair(1, 27));
        QVERIFY(excess > 0);
        const int length = int(fields.back().size());
        auto* edit = qobject_cast<QPlainTextEdit*>(form->FieldControl(int(fields.size()) - 1));
        QVERIFY(edit->hasFocus() || !QApplication::focusWindow());
        const QTextCursor cursor = edit->textCursor();
        const int marked = (excess + bytesPerCharacter - 1) / bytesPerCharacter * unitsPerCharacter;
        QCOMPARE(cursor.selectionStart(), std::max(0, length - marked));
        QCOMPARE(cursor.selectionEnd(), length);
    }

    // Cyclic writing from a list loaded with "Datenliste laden" onto tags placed one
    // after another: each gets its row, the counter runs "1 von 3" to "3 von 3", then
    // "Ende", and the form is ready for the next job. Web addresses split at their
    // prefixes (capitals too, a lone first column an address); contacts of a TXT list
    // (surname first, a row of nothing dropped) with their type codes.
    void cyclicWritingPutsEachRowOnItsTag_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QList<QByteArray>>("messages");
        const auto text = kqtest::TextRecord;
        const auto uri = [](char code, const char* rest) {
            return kqtest::WellKnownRecord('U', code + QByteArray(rest));
        };
        QTest::newRow("text, CSV") << "liste.csv"
                                   << QByteArray("TEXT;\r\nErster Gruß\r\n\"Zweite\nZeile\"\r\nDritter\r\n")
                                   << int(kViewText)
                                   << QList<QByteArray>{text("Erster Gruß"), text("Zweite\r\nZeile"),
                                                        text("Dritter")};
        QTest::newRow("text, TXT") << "liste.txt"
                                   << QByteArray("TEXT\r\nErster Gruß;;Zweite\r\nZeile;;\r\nDritter;;\r\n")
                                   << int(kViewText)
                                   << QList<QByteArray>{text("Erster Gruß"), text("Zweite\r\nZeile"),
                                                        text("Dritter")};
        QTest::newRow("SMS, CSV") << "sms.CSV" << QByteArray("sms;\r\n;1;a\r\n;2;b\r\n;3;\"c\"\r\n")
                                  << int(kViewSms)
                                  << QList<QByteArray>{uri(0, "sms:1?body=a"), uri(0, "sms:2?body=b"),
                                                       uri(0, "sms:3?body=c")};
        QTest::newRow("telephone number, TXT")
            << "nummern.txt" << QByteArray("TELEPHON\n|1;;|2;;|3") << int(kViewTelephon)
            << QList<QByteArray>{uri(5, "1"), uri(5, "2"), uri(5, "3")};
        QTest::newRow("e-mail, CSV, Windows-1252")
            << "post.csv" << QByteArray("MAIL,\r\n,a@b,\xC4,\r\n,c@d,,\r\n,e@f,,x\r\n") << int(kViewMail)
            << QList<QByteArray>{uri(6, "a%40b?subject=%C3%84&body="), uri(6, "c%40d?subject=&body="),
                                 uri(6, "e%40f?subject=&body=x")};
        QTest::newRow("web addresses, CSV")
            << "web.csv" << QByteArray("BOOKMARK;\nwww.vek.de;\nShop;HTTPS://shop.de\n;http://a.de/x\n")
            << int(kViewBookmark)
            << QList<QByteArray>{uri(1, "vek.de"),
                                 QByteArray::fromHex("D1 02 17 53 70 91 01 07 54 02 65 6E") + "Shop" +
                                     QByteArray::fromHex("51 01 08 55 04") + "shop.de",
                                 uri(3, "a.de/x")};
        QTest::newRow("contacts, TXT")
            << "kontakte.txt"
            << QByteArray("CONTACT\r\nMuster|Max||3|+49 1|5|+49 2||;;\r\n||||||||;;\r\n"
                          "Berg|Anna|Vek|2|+49 3|4|||www.vek.de;;")
            << int(kViewContact)
            << QList<QByteArray>{
                   kqtest::VCardRecord(kqtest::VCardText(
                       {"FN:Max Muster", "N:Muster;Max", "TEL;WORK;CELL:+49 1", "TEL;HOME;FAX:+49 2"})),
                   kqtest::VCardRecord(kqtest::VCardText({"FN:Anna Berg, Vek", "N:Berg;Anna", "ORG:Vek",
                                                          "TEL;HOME:+49 3", "URL:http://www.vek.de"}))};
    }
    void cyclicWritingPutsEachRowOnItsTag() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, file);
        QFETCH(int, viewId);
        QFETCH(QList<QByteArray>, messages);
        QTemporaryDir folder;
        QFile list(folder.filePath(fileName));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(file) == file.size());
        list.close();
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        bench.frame->SetFileDialog([&](QWidget*, const FileDialogRequest&) { return list.fileName(); });
        bench.frame->Action(IdLoadDataList)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), viewId);
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Datenliste geladen"));
        auto* form = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
        const int rows = int(messages.size());
        QCOMPARE(form->RowCount(), rows);
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        cyclic->click();
        QVERIFY(bench.frame->IsCyclicWriteRunning());

        for (int n = 1; n <= rows; ++n) {
            QCOMPARE(kqtest::RecordCounter(*form), QString("%1 von %2").arg(n).arg(rows));
            const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(std::uint8_t(n)));
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(messages[n - 1]));
            bench.sim().removeTag(tag);
            if (n < rows)
                QTRY_COMPARE(kqtest::RecordCounter(*form), QString("%1 von %2").arg(n + 1).arg(rows));
        }
        QTRY_COMPARE(kqtest::RecordCounter(*form), QStringLiteral("Ende"));
        QCOMPARE(watcher.seen, QStringList{});
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QVERIFY(!cyclic->isChecked());
        for (int i = 0; i < form->FieldCount(); ++i)
            QVERIFY(form->FieldControl(i)->isEnabled());
        QVERIFY(ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->isEnabled());
    }

    // A row without its mandatory field is not written: cyclic writing stops on it
    // with the form's message, and the next tag stays as it is; started again, the
    // job goes on from the completed row.
    void aRowWithoutItsMandatoryFieldStopsTheJob() {
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewSms);
        form->LoadCsvDataList({";1;eins", "Zwei;;ohne Nummer", ";3;drei"}, ';', "sms.csv");
        QCOMPARE(form->RowCount(), 3);
        kqtest::ModalWatcher watcher;
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        cyclic->click();
        const kqsim::TagId first = bench.sim().placeTag(kqtest::BlankNtag213(1));
        QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        bench.sim().removeTag(first);
        QTRY_COMPARE(watcher.seen, QStringList{"Es wurde keine Telefonnummer eingegeben."});
        QCOMPARE(kqtest::RecordCounter(*form), QStringLiteral("2 von 3"));
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QVERIFY(!cyclic->isChecked());

        const kqsim::TagId second = bench.sim().placeTag(kqtest::BlankNtag213(2));
        const kqsim::Bytes blank = *bench.sim().tagMemory(second);
        QTest::qWait(400);
        QCOMPARE(*bench.sim().tagMemory(second), blank);

        qobject_cast<QLineEdit*>(form->FieldControl(1))->setText("2");
        cyclic->click();
        QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(kqtest::MessageHex(bench.sim(), second),
                 kqtest::Hex(QByteArray::fromHex("D1 02 28 53 70 91 01 07 54 02 65 6E") + "Zwei" +
                             QByteArray::fromHex("51 01 19 55 00") + "sms:2?body=ohne%20Nummer"));
        bench.sim().removeTag(second);
        QTRY_COMPARE(kqtest::RecordCounter(*form), QStringLiteral("3 von 3"));
    }

    // While cyclic writing runs from a list only a tag taken away moves it on: a click
    // on an arrow while the written tag lies on the reader, or while none does, gives
    // no row twice and skips none. The tags, put back after the job, hold rows 1 to 7
    // in order.
    void theArrowsDoNotMoveAListBeingWritten() {
        FrameBench bench;
        ProfileSettings::WriteInt("Port", "Timeout", 5000); // a busy machine answers late
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        const QStringList rows{"eins", "zwei", "drei", "vier", "fünf", "sechs", "sieben"};
        form->LoadTxtDataList("TEXT\r\n" + rows.join(";;"), 6, "liste.txt");
        QCOMPARE(form->RowCount(), int(rows.size()));
        auto* previous = ControlById<QToolButton>(*form, CRecordFormView::IdPrevRecord);
        auto* next = ControlById<QToolButton>(*form, CRecordFormView::IdNextRecord);
        ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite)->click();
        std::vector<std::unique_ptr<kqsim::Tag>> written;
        for (int n = 1; n <= int(rows.size()); ++n) {
            const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(std::uint8_t(n)));
            QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"),
                                      20000);
            next->click();
            written.push_back(bench.sim().removeTag(tag));
            QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(),
                                      QStringLiteral("Bitte Transponder auflegen!"), 20000);
            previous->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(kqtest::RecordCounter(*form), QStringLiteral("Ende"), 20000);
        for (int n = 0; n < int(rows.size()); ++n) {
            const kqsim::TagId tag = bench.sim().placeTag(std::move(written[n]));
            QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(kqtest::TextRecord(rows[n].toUtf8())));
            bench.sim().removeTag(tag);
        }
    }

    // Stopped while a long row is being written (the click waits for the write: the
    // reader's waits let no user input in): the write finishes and is told, and its
    // row counts as used. Started again, also at once, the job leaves the written tag
    // still lying there as it is (and says so) and puts the next row on the next tag.
    void stoppingDuringAWriteTellsItAndMovesOn_data() {
        QTest::addColumn<bool>("startAtOnce");
        QTest::newRow("started again after the write") << false;
        QTest::newRow("started again at once") << true;
    }
    void stoppingDuringAWriteTellsItAndMovesOn() {
        QFETCH(bool, startAtOnce);
        FrameBench bench;
        ProfileSettings::WriteInt("Port", "Timeout", 5000); // a busy machine answers late
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        const QString longRow(800, QLatin1Char('x'));
        form->LoadCsvDataList({longRow, "zwei", "drei"}, ';', "liste.csv");
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        cyclic->click();
        QTimer stopper; // clicks as soon as the write has begun
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (!bench.frame->StatusText().startsWith(QStringLiteral("Schreiben"))) return;
            stopper.stop();
            cyclic->click();
            QVERIFY(!bench.frame->IsCyclicWriteRunning());
            if (startAtOnce) cyclic->click();
        });
        stopper.start(1);
        const kqsim::TagId first =
            bench.sim().placeTag(kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag216, kqtest::Uid(1)));
        QTRY_COMPARE_WITH_TIMEOUT(kqtest::RecordCounter(*form), QStringLiteral("2 von 3"), 20000);
        QCOMPARE(bench.frame->IsCyclicWriteRunning(), startAtOnce);
        QVERIFY(kqtest::MemoryHolds(bench.sim(), first, longRow.toStdString()));
        if (!startAtOnce) {
            QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            cyclic->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(),
                                  QStringLiteral("Dieser Transponder enthält schon Datensatz 1."), 20000);
        QVERIFY(kqtest::MemoryHolds(bench.sim(), first, longRow.toStdString()));
        bench.sim().removeTag(first);
        QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(), QStringLiteral("Bitte Transponder auflegen!"),
                                  20000);
        const kqsim::TagId second = bench.sim().placeTag(kqtest::BlankNtag213(2));
        QTRY_COMPARE_WITH_TIMEOUT(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"), 20000);
        QCOMPARE(kqtest::MessageHex(bench.sim(), second), kqtest::Hex(kqtest::TextRecord("zwei")));
    }

    // A template loaded after a data list ends the list (its rows and its controls
    // go), so that no tag taken away brings back a row of it: cyclic writing then puts
    // the template's record on every tag.
    void aTemplateAfterADataListIsWrittenToEveryTag() {
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        form->LoadCsvDataList({"eins", "zwei", "drei"}, ';', "liste.csv");
        form->OnNextRecord();
        QCOMPARE(form->CurrentRow(), 1);
        QVERIFY(form->SetFromTemplateLines({"TEXT", "TEXT:Vorlage"}, "vorlage.tdp"));
        QCOMPARE(form->RowCount(), 0);
        QCOMPARE(form->CurrentRow(), -1);
        for (int id : {1276, 1277, 1278, 1281})
            QVERIFY(!ControlById<QWidget>(*form, id)->isVisibleTo(form));
        ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite)->click();
        for (std::uint8_t n = 1; n <= 2; ++n) {
            const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(n));
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(kqtest::TextRecord("Vorlage")));
            bench.sim().removeTag(tag);
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Bitte Transponder auflegen!"));
        }
        QCOMPARE(form->FieldText(0), QStringLiteral("Vorlage"));
    }
};

QTEST_MAIN(RecordFormsE2ETest)
#include "RecordFormsE2ETest.moc"
