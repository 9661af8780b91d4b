// The web address and contact forms end to end against the simulated reader: a
// record typed into its form and written with "Schreiben" lands on the tag as the
// NDEF message that the NFC Forum record definitions give (URI identifier codes,
// smart poster with its title, MIME record "text/x-vCard" with vCard 2.1 text; all
// written out here by hand), and reading the tag brings every field back. Contacts
// cover every telephone type; a home mobile read from a tag comes back as
// "Mobil Arbeit". Cyclic writing puts each row of a data list on its own tag.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "forms/RecordFormView.h"
#include "sim/Type2Tag.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

using kqtest::ControlById;
using kqtest::FrameBench;

kqsim::Bytes Uid(std::uint8_t last) {
    return {0x04, 0x71, 0x72, 0x73, 0x74, 0x75, last};
}

std::unique_ptr<kqsim::Tag> BlankNtag215(std::uint8_t uid) {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag215, Uid(uid));
}

QString MessageHex(const kqsim::Simulator& sim, kqsim::TagId tag) {
    return QString::fromStdString(kqsim::toHex(kqtest::Type2NdefMessage(*sim.tagMemory(tag))));
}

QString Hex(const std::string& text) {
    return QString::fromStdString(kqsim::toHex(kqsim::Bytes(text.begin(), text.end())));
}

// A MIME record alone in its message (NFC Forum NDEF): header D2 (MB, ME, SR, TNF 2
// media type) with a one-byte payload length, or C2 (SR clear) with four length
// bytes; the type length 0C; the type "text/x-vCard"; the payload.
QString VCardRecordHex(const std::string& vcard) {
    const size_t n = vcard.size();
    QString header = n <= 255 ? QString("D2 0C %1").arg(n, 2, 16, QChar('0'))
                              : QString("C2 0C 00 00 %1 %2").arg(n >> 8, 2, 16, QChar('0')).arg(n & 0xFF, 2, 16, QChar('0'));
    return header.toUpper() + " " + Hex("text/x-vCard") + " " + Hex(vcard);
}

// The vCard 2.1 text of a contact: these lines joined by CR LF, none after the last.
std::string VCard(std::initializer_list<const char*> lines) {
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1";
    for (const char* line : lines)
        text += std::string("\r\n") + line;
    return text + "\r\nEND:VCARD";
}

QString Counter(const CRecordFormView& form) {
    return ControlById<QLineEdit>(form, CRecordFormView::IdRecordCounter)->text();
}

// Fill, "Schreiben".
void WriteRecord(CRecordFormView& form, const QStringList& fields) {
    kqtest::FillFields(form, fields);
    ControlById<QPushButton>(form, CRecordFormView::IdWrite)->click();
}

// "Transponder lesen": the form the main window shows, or null.
CRecordFormView* ReadBack(FrameBench& bench) {
    bench.frame->Action(IdReadTagButton)->trigger();
    return qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
}

} // namespace

class WebContactFormsE2ETest : public QObject {
    Q_OBJECT
private slots:
    // Web address fields: link text, prefix, address. URI record (NFC Forum URI RTD):
    // D1 01 len "U", the identifier code of the prefix (01 "http://www.", 02
    // "https://www.", 03 "http://", 04 "https://"), the rest in UTF-8. With a link
    // text a smart poster (D1 02 len "Sp") holds a text record (91: MB, SR; status 02
    // = UTF-8 with a two-byte language, "en", the text) and the URI record (51: ME, SR).
    void aWebAddressIsWrittenAndReadBack_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("link text with an umlaut, https://www.")
            << QStringList{"Über uns", "https://www.", "example.org/a?b=1"}
            << "D1 02 26 53 70 "
               "91 01 0C 54 02 65 6E C3 9C 62 65 72 20 75 6E 73 "
               "51 01 12 55 02 65 78 61 6D 70 6C 65 2E 6F 72 67 2F 61 3F 62 3D 31"
            << QStringList{"Über uns", "https://www.", "example.org/a?b=1"};
        QTest::newRow("http://") << QStringList{"", "http://", "example.org"}
                                 << "D1 01 0C 55 03 65 78 61 6D 70 6C 65 2E 6F 72 67"
                                 << QStringList{"", "http://", "example.org"};
        QTest::newRow("http://www.") << QStringList{"", "http://www.", "vek.de"}
                                     << "D1 01 07 55 01 76 65 6B 2E 64 65"
                                     << QStringList{"", "http://www.", "vek.de"};
        QTest::newRow("https:// and a UTF-8 path") << QStringList{"", "https://", "vek.de/ä"}
                                                   << "D1 01 0A 55 04 76 65 6B 2E 64 65 2F C3 A4"
                                                   << QStringList{"", "https://", "vek.de/ä"};
        // Capitals typed into the field are the https prefix, not text after "http://".
        QTest::newRow("HTTPS:// typed into the field") << QStringList{"", "http://", "HTTPS://Example.org"}
                                                       << "D1 01 0C 55 04 45 78 61 6D 70 6C 65 2E 6F 72 67"
                                                       << QStringList{"", "https://", "Example.org"};
    }
    void aWebAddressIsWrittenAndReadBack() {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        QFETCH(QStringList, shown);
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(Uid(1)));
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewBookmark);
        QVERIFY(form);
        WriteRecord(*form, fields);
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(MessageHex(bench.sim(), tag), message);

        CRecordFormView* read = ReadBack(bench);
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewBookmark));
        QVERIFY(read && read != form);
        QCOMPARE(kqtest::FieldTexts(*read), shown);
        QCOMPARE(watcher.seen, QStringList{});
    }

    // Contact fields: first name, surname, organisation, type 1, number 1, type 2,
    // number 2, e-mail, web prefix, web address. The rows between them use every
    // type of the list.
    void aContactIsWrittenAndReadBack_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::newRow("at work and at home, all fields")
            << QStringList{"Max", "Mustermann", "Vek GmbH", "Dienstlich", "+49 30 1234", "Privat", "+49 30 5678",
                           "max@example.org", "https://www.", "vek.de"}
            << VCardRecordHex(VCard({"FN:Max Mustermann, Vek GmbH", "N:Mustermann;Max", "ORG:Vek GmbH",
                                     "TEL;WORK:+49 30 1234", "TEL;HOME:+49 30 5678", "EMAIL:max@example.org",
                                     "URL:https://www.vek.de"}));
        QTest::newRow("mobile and fax at work, umlauts")
            << QStringList{"Jürgen", "Groß", "", "Mobil Arbeit", "+49 170 1", "Fax dienstlich", "+49 30 2", "",
                           "http://", ""}
            << VCardRecordHex(VCard({"FN:Jürgen Groß", "N:Groß;Jürgen", "TEL;WORK;CELL:+49 170 1",
                                     "TEL;WORK;FAX:+49 30 2"}));
        QTest::newRow("fax at home, separators in the names")
            << QStringList{"", "Berg; Nord", "Kiel, Hafen", "Fax privat", "+49 431 9", "Dienstlich", "", "a@b.de",
                           "http://www.", "berg.de"}
            << VCardRecordHex(VCard({"FN:Berg; Nord, Kiel, Hafen", "N:Berg\\; Nord;", "ORG:Kiel\\, Hafen",
                                     "TEL;HOME;FAX:+49 431 9", "EMAIL:a@b.de", "URL:http://www.berg.de"}));
    }
    void aContactIsWrittenAndReadBack() {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(2));
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewContact);
        QVERIFY(form);
        WriteRecord(*form, fields);
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(MessageHex(bench.sim(), tag), message);

        CRecordFormView* read = ReadBack(bench);
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewContact));
        QVERIFY(read && read != form);
        QCOMPARE(kqtest::FieldTexts(*read), fields);
        QCOMPARE(watcher.seen, QStringList{});
    }

    // A vCard from elsewhere: a mobile at home, a fax at work, a third number; URLs
    // of another scheme and in capitals. The form shows two numbers, the home mobile
    // as "Mobil Arbeit", the last web address it can split; written again, the
    // mobile is one at work.
    void aForeignContactIsShownAndWrittenAgain() {
        FrameBench bench;
        const std::string vcard = "BEGIN:VCARD\r\nN:Berg;Anna\r\nTEL;HOME;CELL:1\r\nTEL;WORK;FAX:2\r\nTEL:3\r\n"
                                  "URL:ftp://x.de\r\nURL:HTTPS://Berg.de\r\nEND:VCARD";
        std::string message = "\xD2\x0C";
        message += char(vcard.size());
        message += "text/x-vCard" + vcard;
        bench.sim().placeTag(kqtest::Ntag213WithMessage(kqsim::Bytes(message.begin(), message.end()), Uid(3)));
        CRecordFormView* form = ReadBack(bench);
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewContact));
        QVERIFY(form);
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"Anna", "Berg", "", "Mobil Arbeit", "1", "Fax dienstlich",
                                                         "2", "", "https://", "Berg.de"}));

        bench.sim().removeTag(bench.sim().tagIds().front());
        const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(4));
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(MessageHex(bench.sim(), tag),
                 VCardRecordHex(VCard({"FN:Anna Berg", "N:Berg;Anna", "TEL;WORK;CELL:1", "TEL;WORK;FAX:2",
                                       "URL:https://Berg.de"})));
    }

    // Cyclic writing from a data list, one row per tag: the web addresses of a CSV
    // list split at their prefixes (capitals too, a lone first column an address);
    // contacts of a TXT list (surname first) with their type codes.
    void cyclicWritingPutsEachRowOnItsTag_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("web addresses, CSV")
            << int(kViewBookmark) << true << "www.vek.de;\nShop;HTTPS://shop.de\n;http://a.de/x"
            << QStringList{"D1 01 07 55 01 76 65 6B 2E 64 65",
                           "D1 02 17 53 70 91 01 07 54 02 65 6E 53 68 6F 70 51 01 08 55 04 73 68 6F 70 2E 64 65",
                           "D1 01 07 55 03 61 2E 64 65 2F 78"};
        QTest::newRow("contacts, TXT")
            << int(kViewContact) << false
            << "CONTACT\r\nMuster|Max||3|+49 1|5|+49 2||;;\r\n||||||||;;\r\nBerg|Anna|Vek|2|+49 3|4|||www.vek.de;;"
            << QStringList{VCardRecordHex(VCard({"FN:Max Muster", "N:Muster;Max", "TEL;WORK;CELL:+49 1",
                                                 "TEL;HOME;FAX:+49 2"})),
                           VCardRecordHex(VCard({"FN:Anna Berg, Vek", "N:Berg;Anna", "ORG:Vek", "TEL;HOME:+49 3",
                                                 "URL:http://www.vek.de"}))};
    }
    void cyclicWritingPutsEachRowOnItsTag() {
        QFETCH(int, viewId);
        QFETCH(bool, csv);
        QFETCH(QString, list);
        QFETCH(QStringList, messages);
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        if (csv)
            form->LoadCsvDataList(list.split('\n'), ';', "liste.csv");
        else
            form->LoadTxtDataList(list, list.indexOf('\n') + 1, "liste.txt");
        const int rows = int(messages.size());
        QCOMPARE(form->RowCount(), rows);
        auto* cyclic = ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite);
        cyclic->click();
        QVERIFY(bench.frame->IsCyclicWriteRunning());

        for (int n = 1; n <= rows; ++n) {
            QCOMPARE(Counter(*form), QString("%1 von %2").arg(n).arg(rows));
            const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(std::uint8_t(10 + n)));
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            QCOMPARE(MessageHex(bench.sim(), tag), messages[n - 1]);
            bench.sim().removeTag(tag);
            if (n < rows) QTRY_COMPARE(Counter(*form), QString("%1 von %2").arg(n + 1).arg(rows));
        }
        QTRY_COMPARE(Counter(*form), QStringLiteral("Ende"));
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QVERIFY(!cyclic->isChecked());
        QCOMPARE(watcher.seen, QStringList{});
    }
};

QTEST_MAIN(WebContactFormsE2ETest)
#include "WebContactFormsE2ETest.moc"
