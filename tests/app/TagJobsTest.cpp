// The main frame's tag operations against the simulated reader with NFC Forum Type 2
// tags: reading once into the form of the record's kind, cyclic reading of tags placed
// one after another, and cyclic writing with its UID poll, including the timeline of
// tags placed, removed and swapped.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/MainWndForwarders.h"
#include "app/NfcProgDoc.h"
#include "app/ProfileSettings.h"
#include "content/RecordJsonWriter.h"
#include "forms/DefaultView.h"
#include "sim/Type2Tag.h"

#include <QAction>
#include <QtTest>

namespace {

using kqtest::ProbeForm;

// Every record form is a ProbeForm noting the texts it is shown in `texts`.
ViewIdTable ProbeForms(QStringList* texts) {
    ViewIdTable table = ViewIdTable::Standard();
    for (int id : {kViewBookmark, kViewText, kViewContact, kViewSms, kViewTelephon, kViewMail, kViewUri}) {
        table.Register(id, [texts](CNfcProgDoc* doc, QWidget* parent) -> CFormView* {
            auto* form = new ProbeForm(doc, parent);
            form->sharedTexts = texts;
            return form;
        });
    }
    return table;
}

// Times the reader's output 16 went on: one per beep.
int Beeps(const kqsim::Simulator& sim) {
    int beeps = 0;
    for (const kqsim::OutputChange& change : sim.outputHistory())
        beeps += (change.mask & 16) && (change.value & 16);
    return beeps;
}

// The rows a cyclic write goes through, longer than an Ultralight's 48 data bytes hold.
std::string Row(int n) {
    return "Zeile " + std::to_string(n) + ": " + std::string(50, char('a' + n));
}

// A reader, settings naming it, a document and a main window with probe forms (the
// window is not shown: no connection test).
struct Bench : kqtest::FrameBench {
    explicit Bench(int zyklusZeit = 100) : FrameBench(ProbeForms(&texts), zyklusZeit) {}
    ~Bench() { frame.reset(); } // before the texts its forms note into

    // Cyclic writing from the web-address form (a probe) with row 1 pending; each +15
    // makes the next row pending. The form, or null when the port did not open.
    ProbeForm* StartCyclicWrite() {
        frame->SwitchView(kViewBookmark);
        auto* form = qobject_cast<ProbeForm*>(frame->ActiveView());
        form->onNextRecord = [this] { doc.Engine().SetPending(TextToJson(Row(++row)), false); };
        if (!doc.Engine().PreparePort()) return nullptr;
        doc.Engine().SetPending(TextToJson(Row(1)), false);
        SetCyclicWriteViaMainWnd(true);
        return form;
    }
    QStringList texts;
    int row = 1; // the row pending
};

} // namespace

class TagJobsTest : public QObject {
    Q_OBJECT
private slots:
    // Reading once shows the record in the form of its kind, with one beep (every kind
    // is read back into its own form in RecordFormsE2ETest.cpp); a formatted tag
    // without a record and a failed read show the default form with the result.
    void readingOnceShowsTheRecordInItsForm_data() {
        QTest::addColumn<QByteArray>("message"); // empty: a blank tag; null: no tag
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QString>("text"); // the default form's heading, or the text shown
        QTest::newRow("text") << kqtest::TextRecord("Hallo") << int(kViewText) << "Hallo";
        QTest::newRow("blank tag") << QByteArray("") << int(kViewDefault)
                                   << "Transponder ist als NFC formatiert, aber ohne NFC-Nutzdaten!";
        QTest::newRow("no tag") << QByteArray() << int(kViewDefault) << "Kein Transponder!";
    }
    void readingOnceShowsTheRecordInItsForm() {
        QFETCH(QByteArray, message);
        QFETCH(int, viewId);
        QFETCH(QString, text);
        Bench bench;
        if (!message.isNull())
            bench.sim().placeTag(message.isEmpty() ? kqtest::BlankNtag213(1)
                                                   : kqtest::Ntag213WithMessage(message, 1));

        bench.frame->Action(IdReadTagButton)->trigger();
        QCOMPARE(bench.frame->CurrentViewId(), viewId);
        if (viewId == kViewDefault) {
            QCOMPARE(bench.frame->DefaultView()->Text(), text);
            return;
        }
        auto* probe = qobject_cast<ProbeForm*>(bench.frame->ActiveView());
        QVERIFY(probe);
        QCOMPARE(probe->calls.count("ShowTagRecord"), 1);
        QCOMPARE(bench.texts, QStringList{text});
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Lesen erfolgreich!"));
        QCOMPARE(Beeps(bench.sim()), 1);
    }

    // Cyclic reading: while no tag lies there it waits (no beep, waiting icon); each
    // of three tags placed one after another is read once and shown, however long it
    // stays.
    void cyclicReadingReadsEachTagOnce() {
        Bench bench;
        bench.frame->Action(IdCyclicRead)->trigger();
        QVERIFY(bench.frame->IsCyclicReadRunning());
        QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Bitte Transponder auflegen!"));
        QCOMPARE(bench.frame->StatusIconKind(), int(CMainFrame::IconWaiting));
        QVERIFY(kqtest::RunForTagRequests(bench.sim(), 6)); // three polls without a tag
        QCOMPARE(Beeps(bench.sim()), 0);

        for (int n = 1; n <= 3; ++n) {
            const QByteArray text = "Transponder " + QByteArray::number(n);
            const kqsim::TagId tag =
                bench.sim().placeTag(kqtest::Ntag213WithMessage(kqtest::TextRecord(text), std::uint8_t(n)));
            QTRY_COMPARE(bench.texts.size(), n);
            QCOMPARE(bench.texts.last(), QString::fromLatin1(text));
            QCOMPARE(bench.frame->CurrentViewId(), int(kViewText));
            QVERIFY(kqtest::RunForTagRequests(bench.sim(), 3)); // polls with the tag still there
            QCOMPARE(bench.texts.size(), n);
            QCOMPARE(Beeps(bench.sim()), n);
            bench.sim().removeTag(tag);
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Bitte Transponder auflegen!"));
            QCOMPARE(bench.frame->CurrentViewId(), int(kViewDefault));
        }
        bench.frame->Action(IdCyclicRead)->trigger();
        QVERIFY(!bench.frame->IsCyclicReadRunning());
        QCOMPARE(Beeps(bench.sim()), 3);
    }

    // Cyclic writing with the real timer: each new tag gets the pending record once;
    // taking the written tag away moves the form to its next row.
    void cyclicWritingWritesEachNewTagOnce() {
        Bench bench;
        ProbeForm* form = bench.StartCyclicWrite();
        QVERIFY(form);

        for (int n = 1; n <= 3; ++n) {
            const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(std::uint8_t(n)));
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Schreiben erfolgreich!"));
            QVERIFY(kqtest::RunForTagRequests(bench.sim(), 3)); // polls with the tag still there
            QCOMPARE(Beeps(bench.sim()), n);
            QVERIFY(kqtest::MemoryHolds(bench.sim(), tag, Row(n)));
            bench.sim().removeTag(tag);
            QTRY_COMPARE(bench.row, n + 1);
        }
        QCOMPARE(form->calls.count("+15"), 3);
        bench.frame->Action(IdStopCyclicWrite)->trigger();
        QCOMPARE(form->calls.last(), QStringLiteral("+14"));
    }

    // The cyclic write's timeline, tick by tick: what each tick does with the tags
    // placed, removed and swapped before it. "write X n": tag X got row n; "fail":
    // the write failed; "+15": the form moved to its next row; "": nothing.
    void theCyclicWriteTimeline_data() {
        QTest::addColumn<QStringList>("steps"); // per tick: "place X", "remove", "swap X", "-" (none)
        QTest::addColumn<QStringList>("expected");
        // A, B, C: NTAG213; U: an Ultralight, too small for a row.
        QTest::newRow("a tag that stays is written once")
            << QStringList{"place A", "-", "-", "-"} << QStringList{"write A 1", "", "", ""};
        QTest::newRow("removal moves on")
            << QStringList{"place A", "remove", "place B", "-", "remove", "place C"}
            << QStringList{"write A 1", "+15", "write B 2", "", "+15", "write C 3"};
        QTest::newRow("a failed write does not move on")
            << QStringList{"place U", "-", "remove", "place B"} << QStringList{"fail", "", "", "write B 1"};
        QTest::newRow("a swap without an empty poll counts as taken away")
            << QStringList{"place A", "swap B", "-", "-", "swap C", "-"}
            << QStringList{"write A 1", "+15", "write B 2", "", "+15", "write C 3"};
        QTest::newRow("a swap after a failed write keeps the row")
            << QStringList{"place U", "swap B", "-"} << QStringList{"fail", "write B 1", ""};
    }
    void theCyclicWriteTimeline() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        Bench bench(10000); // the timer stays out of the way: the test ticks
        ProbeForm* form = bench.StartCyclicWrite();
        QVERIFY(form);

        kqsim::TagId tag = 0;
        QString tagName;
        const auto newTag = [](const QString& name) {
            const std::uint8_t n = static_cast<std::uint8_t>(name[0].unicode());
            return name == "U" ? kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ultralight, kqtest::Uid(n))
                               : kqtest::BlankNtag213(n);
        };
        QStringList happened;
        for (const QString& step : steps) {
            const QString name = step.section(' ', 1);
            if (step.startsWith("place")) {
                tag = bench.sim().placeTag(newTag(name));
                tagName = name;
            } else if (step == "remove") {
                bench.sim().removeTag(tag);
                tag = 0;
            } else if (step.startsWith("swap")) {
                tag = bench.sim().swapTag(tag, newTag(name));
                tagName = name;
            }
            const int nextRecords = form->calls.count("+15");
            bench.frame->OnTimer(CMainFrame::TimerCyclicWrite);
            QCoreApplication::sendPostedEvents(form, FrameMessageEvent::EventType());

            int state = -1;
            int index = 0;
            bench.doc.Engine().GetResult(state, index);
            QString what;
            if (form->calls.count("+15") > nextRecords) {
                what = "+15";
            } else if (state == 0 && index == 2) {
                for (int n = 1; n <= 3; ++n)
                    if (kqtest::MemoryHolds(bench.sim(), tag, Row(n)))
                        what = QString("write %1 %2").arg(tagName).arg(n);
            } else if (state > 0 && index != 13) {
                what = "fail";
            }
            happened << what;
        }
        QCOMPARE(happened, expected);
    }
};

QTEST_MAIN(TagJobsTest)
#include "TagJobsTest.moc"
