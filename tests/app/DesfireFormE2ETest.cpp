// A DESFire EV1 card written and read from the web address form end to end: the blank
// card is formatted for NDEF on the way, its NDEF file holds NLEN and the smart
// poster the NFC Forum record definitions give (written out by hand), and reading it
// brings the fields back.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "forms/RecordFormView.h"
#include "sim/DesfireCard.h"
#include "sim/IsoDepTag.h"

#include <QPushButton>
#include <QtTest>

class DesfireFormE2ETest : public QObject {
    Q_OBJECT
private slots:
    void writeAndReadAWebAddress() {
        kqtest::FrameBench bench;
        auto card = std::make_unique<kqsim::DesfireCard>();
        kqsim::DesfireCard* model = card.get();
        const kqsim::TagId tag = bench.sim().placeTag(std::make_unique<kqsim::IsoDepTag>(
            kqsim::Bytes{0x04, 0x5E, 0x1F, 0x72, 0x3A, 0x5C, 0x80}, std::move(card)));
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewBookmark);
        QVERIFY(form);
        const QStringList fields{"Über uns", "https://www.", "example.org/a?b=1"};
        kqtest::FillFields(*form, fields);
        kqtest::ControlById<QPushButton>(*form, CRecordFormView::IdWrite)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));

        // Smart poster: title text record, then the URI record (02: "https://www.").
        const QByteArray message = QByteArray::fromHex("D1 02 26 53 70") +
                                   QByteArray::fromHex("91 01 0C 54 02 65 6E") + "Über uns" +
                                   QByteArray::fromHex("51 01 12 55 02") + "example.org/a?b=1";
        QByteArray file;
        QVERIFY(bench.sim().withTag(tag, [&](kqsim::Tag&) {
            kqsim::DesfireCard::Application* app = model->application(1);
            if (!app || app->dfName != kqsim::Bytes{0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01}) return;
            const kqsim::Bytes& data = app->file(2)->data;
            file =
                QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<int>(2 + message.size()));
        }));
        QCOMPARE(file.toHex(' '), (QByteArray::fromHex("00 2B") + message).toHex(' '));

        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewBookmark));
        auto* shown = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
        QVERIFY(shown);
        QCOMPARE(kqtest::FieldTexts(*shown), fields);
    }
};

QTEST_MAIN(DesfireFormE2ETest)
#include "DesfireFormE2ETest.moc"
