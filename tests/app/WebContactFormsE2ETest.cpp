// The web address and contact forms end to end against the simulated reader, beyond
// the write and read back of every kind (RecordFormsE2ETest): a vCard from elsewhere
// is shown (a home mobile as "Mobil Arbeit") and written again; cyclic writing puts
// each row of a data list on its own tag, the addresses split at their prefixes and
// the telephone types taken from their codes. The bytes expected are written out by
// hand from the NFC Forum definitions (URI identifier codes, smart poster, MIME
// record "text/x-vCard" with vCard 2.1 text).
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

std::unique_ptr<kqsim::Tag> BlankNtag215(std::uint8_t uid) {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag215, kqtest::Uid(uid));
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
    // A vCard from elsewhere: a mobile at home, a fax at work, a third number; URLs
    // of another scheme and in capitals. The form shows two numbers, the home mobile
    // as "Mobil Arbeit", the last web address it can split; written again, the
    // mobile is one at work.
    void aForeignContactIsShownAndWrittenAgain() {
        FrameBench bench;
        bench.sim().placeTag(kqtest::Ntag213WithMessage(
            kqtest::VCardRecord("BEGIN:VCARD\r\nN:Berg;Anna\r\nTEL;HOME;CELL:1\r\nTEL;WORK;FAX:2\r\nTEL:3\r\n"
                                "URL:ftp://x.de\r\nURL:HTTPS://Berg.de\r\nEND:VCARD"),
            3));
        CRecordFormView* form = ReadBack(bench);
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewContact));
        QVERIFY(form);
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"Anna", "Berg", "", "Mobil Arbeit", "1",
                                                         "Fax dienstlich", "2", "", "https://", "Berg.de"}));

        bench.sim().removeTag(bench.sim().tagIds().front());
        const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(4));
        ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
        QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(kqtest::VCardRecord(kqtest::VCardText(
                                                           {"FN:Anna Berg", "N:Berg;Anna", "TEL;WORK;CELL:1",
                                                            "TEL;WORK;FAX:2", "URL:https://Berg.de"}))));
    }

    // Cyclic writing from a data list, one row per tag: the web addresses of a CSV
    // list split at their prefixes (capitals too, a lone first column an address);
    // contacts of a TXT list (surname first) with their type codes.
    void cyclicWritingPutsEachRowOnItsTag_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<bool>("csv");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QList<QByteArray>>("messages");
        QTest::newRow("web addresses, CSV")
            << int(kViewBookmark) << true << "www.vek.de;\nShop;HTTPS://shop.de\n;http://a.de/x"
            << QList<QByteArray>{QByteArray::fromHex("D1 01 07 55 01") + "vek.de",
                                 QByteArray::fromHex("D1 02 17 53 70") +
                                     QByteArray::fromHex("91 01 07 54 02 65 6E") + "Shop" +
                                     QByteArray::fromHex("51 01 08 55 04") + "shop.de",
                                 QByteArray::fromHex("D1 01 07 55 03") + "a.de/x"};
        QTest::newRow("contacts, TXT")
            << int(kViewContact) << false
            << "CONTACT\r\nMuster|Max||3|+49 1|5|+49 2||;;\r\n||||||||;;\r\nBerg|Anna|Vek|2|+49 "
               "3|4|||www.vek.de;;"
            << QList<QByteArray>{
                   kqtest::VCardRecord(kqtest::VCardText(
                       {"FN:Max Muster", "N:Muster;Max", "TEL;WORK;CELL:+49 1", "TEL;HOME;FAX:+49 2"})),
                   kqtest::VCardRecord(kqtest::VCardText({"FN:Anna Berg, Vek", "N:Berg;Anna", "ORG:Vek",
                                                          "TEL;HOME:+49 3", "URL:http://www.vek.de"}))};
    }
    void cyclicWritingPutsEachRowOnItsTag() {
        QFETCH(int, viewId);
        QFETCH(bool, csv);
        QFETCH(QString, list);
        QFETCH(QList<QByteArray>, messages);
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
            QCOMPARE(kqtest::RecordCounter(*form), QString("%1 von %2").arg(n).arg(rows));
            const kqsim::TagId tag = bench.sim().placeTag(BlankNtag215(std::uint8_t(10 + n)));
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            QCOMPARE(kqtest::MessageHex(bench.sim(), tag), kqtest::Hex(messages[n - 1]));
            bench.sim().removeTag(tag);
            if (n < rows)
                QTRY_COMPARE(kqtest::RecordCounter(*form), QString("%1 von %2").arg(n + 1).arg(rows));
        }
        QTRY_COMPARE(kqtest::RecordCounter(*form), QStringLiteral("Ende"));
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QVERIFY(!cyclic->isChecked());
        QCOMPARE(watcher.seen, QStringList{});
    }
};

QTEST_MAIN(WebContactFormsE2ETest)
#include "WebContactFormsE2ETest.moc"
