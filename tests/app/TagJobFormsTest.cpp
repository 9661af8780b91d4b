// The format, lock and URI forms in the program's main window against the simulated
// reader with NTAG213 tags: formatting and locking once and cyclically, tag after
// tag; a URI of an unknown scheme read from a tag.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainWndForwarders.h"
#include "forms/Label.h"
#include "forms/NfcFormatView.h"
#include "forms/ReadOnlyFormView.h"
#include "forms/UriView.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

using kqtest::FrameBench;

// NTAG213 data area from page 4 (NFC Forum Type 2): the shipped Lock Control TLV
// 01 03 A0 0C 34, then an NDEF Message TLV holding the empty record D0 00 00 (MB, ME,
// SR, TNF 0), then the Terminator FE.
const QString kFormattedArea = QStringLiteral("01 03 A0 0C 34 03 03 D0 00 00 FE");
// A text record "Hallo" (D1 01 08 'T' 02 "en" "Hallo") in its TLV.
const QString kHalloArea = QStringLiteral("01 03 A0 0C 34 03 0C D1 01 08 54 02 65 6E 48 61 6C 6C 6F FE");

// `count` bytes of the tag's memory from `page` on, as hex ("01 03 A0").
QString Memory(FrameBench& bench, kqsim::TagId id, int page, int count) {
    return kqtest::MemoryHex(bench.sim(), id, page, count);
}

// A control of the pane's form by its id.
template <class Control = QWidget> Control* Find(const FrameBench& bench, int id) {
    return kqtest::ControlById<Control>(*bench.frame->ActiveView(), id);
}

std::unique_ptr<kqsim::Tag> TagWithHallo(std::uint8_t uid) {
    return kqtest::Ntag213WithMessage(kqtest::TextRecord("Hallo"), uid);
}

// A locked NTAG213: static lock bytes (page 2, bytes 2-3) FF FF, capability container
// with write access 0F (read-only), the first dynamic lock byte (page 28h) FF.
bool IsLocked(FrameBench& bench, kqsim::TagId id) {
    return Memory(bench, id, 2, 4).endsWith("FF FF") && Memory(bench, id, 3, 4) == "E1 10 12 0F" &&
           Memory(bench, id, 0x28, 1) == "FF";
}

// What a job does to the tag: formatted, or locked with its record kept.
bool JobDone(FrameBench& bench, kqsim::TagId id, bool lock) {
    return lock ? IsLocked(bench, id) && Memory(bench, id, 4, 20) == kHalloArea
                : Memory(bench, id, 4, 11) == kFormattedArea;
}

// The ids of the form's buttons that start a tag operation, or open a key dialog,
// that are enabled.
QList<int> EnabledOperations(const FrameBench& bench) {
    QList<int> enabled;
    for (int id : {1001, 1002, 1006})
        if (auto* button = Find<QPushButton>(bench, id); button && button->isEnabled()) enabled << id;
    return enabled;
}

} // namespace

class TagJobFormsTest : public QObject {
    Q_OBJECT
private slots:
    // The commands show the forms with their controls; the lock form's key-protection
    // rows show their caption and "Schreiben", never a cyclic button (nothing runs them
    // cyclically).
    void theFormsShowTheirControls() {
        FrameBench bench;
        bench.frame->Action(IdFormat)->trigger();
        QVERIFY(qobject_cast<CNfcFormatView*>(bench.frame->ActiveView()));
        QCOMPARE(Find<CLabel>(bench, 1003)->text(), QStringLiteral("Als NFC formatieren."));
        QCOMPARE(bench.frame->ActiveView()->findChild<QLabel*>("Note")->text(),
                 QStringLiteral("NFC-Nutzdaten werden dabei gelöscht."));
        QCOMPARE(Find<QPushButton>(bench, 1001)->text(), QStringLiteral("Schreiben"));
        QCOMPARE(Find<QPushButton>(bench, 1016)->text(), QStringLiteral("Zyklisch\nschreiben"));
        QVERIFY(Find<QPushButton>(bench, 1016)->isCheckable());

        bench.frame->Action(IdLock)->trigger();
        CReadOnlyFormView* lock = qobject_cast<CReadOnlyFormView*>(bench.frame->ActiveView());
        QVERIFY(lock);
        QCOMPARE(Find<CLabel>(bench, 1003)->text(),
                 QStringLiteral(
                     "Konfiguration und Nutzdaten des Transponders dauerhaft gegen Beschreiben sperren."));
        QVERIFY(Find<QPushButton>(bench, 1001)->isVisibleTo(lock));
        QVERIFY(Find<QPushButton>(bench, 1016)->isVisibleTo(lock));
        for (int id : {1004, 1002, 1017, 1005, 1006, 1018}) {
            QVERIFY2(Find(bench, id), qPrintable(QString::number(id)));
            const bool cyclic = id == 1017 || id == 1018;
            QVERIFY2(Find(bench, id)->isVisibleTo(lock) == !cyclic, qPrintable(QString::number(id)));
        }
        QCOMPARE(
            Find<QLabel>(bench, 1005)->text(),
            QStringLiteral("DESFire-Transponder: Konfiguration und Nutzdaten mit Passwort vor Veränderung "
                           "schützen"));
    }

    // "Schreiben" formats the tag (its record is gone, an empty NDEF message is left)
    // or locks it for ever (its record stays); without a tag: the error, no box.
    void jobsOnce_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("success");
        QTest::newRow("format") << int(IdFormat) << QStringLiteral("Schreiben erfolgreich!");
        QTest::newRow("lock") << int(IdLock) << QStringLiteral("Sperren erfolgreich!");
    }
    void jobsOnce() {
        QFETCH(int, command);
        QFETCH(QString, success);
        FrameBench bench;
        kqtest::ModalWatcher boxes;
        const kqsim::TagId id = bench.sim().placeTag(TagWithHallo(1));
        QCOMPARE(Memory(bench, id, 4, 20), kHalloArea);
        bench.frame->Action(command)->trigger();
        Find<QPushButton>(bench, 1001)->click();
        QVERIFY(JobDone(bench, id, command == IdLock));
        QCOMPARE(bench.frame->StatusText(), success);
        QCOMPARE(bench.frame->StatusIconKind(), int(CMainFrame::IconSuccess));

        bench.sim().removeTag(id);
        Find<QPushButton>(bench, 1001)->click();
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Kein Transponder!"));
        QCOMPARE(boxes.seen, QStringList());
    }

    // Cyclic formatting and locking: each of three tags placed one after another is
    // worked on once; 1001 (and the lock form's key-protection buttons: a key dialog
    // open while tags are locked) is disabled and 1016 checked meanwhile. The job ends
    // by unchecking 1016 or by "Zyklisch schreiben beenden".
    void cyclicJobsWorkOnEachNewTag_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("stopByMenu");
        QTest::newRow("format, stopped by 1016") << int(IdFormat) << false;
        QTest::newRow("lock, stopped by the menu") << int(IdLock) << true;
    }
    void cyclicJobsWorkOnEachNewTag() {
        QFETCH(int, command);
        QFETCH(bool, stopByMenu);
        const bool lock = command == IdLock;
        FrameBench bench;
        kqtest::ModalWatcher boxes;
        bench.frame->Action(command)->trigger();
        auto* once = Find<QPushButton>(bench, 1001);
        auto* cyclic = Find<QPushButton>(bench, 1016);
        const QList<int> operations = EnabledOperations(bench);
        QCOMPARE(operations, lock ? QList<int>({1001, 1002, 1006}) : QList<int>({1001}));
        cyclic->click();
        QVERIFY(cyclic->isChecked());
        QCOMPARE(EnabledOperations(bench), QList<int>());
        QVERIFY(lock ? IsCyclicLockRunning() : IsCyclicWriteRunning());
        QVERIFY(!bench.frame->Action(IdText)->isEnabled()); // no other form meanwhile
        QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Bitte Transponder auflegen!"));

        const QString success =
            lock ? QStringLiteral("Sperren erfolgreich!") : QStringLiteral("Schreiben erfolgreich!");
        for (std::uint8_t n = 1; n <= 3; ++n) {
            const kqsim::TagId id = bench.sim().placeTag(TagWithHallo(n));
            QTRY_VERIFY(JobDone(bench, id, lock));
            QTRY_COMPARE(bench.frame->StatusText(), success);
            // Polls with the tag still there: it is not worked on again.
            QVERIFY(kqtest::RunForTagRequests(bench.sim(), 3));
            QCOMPARE(bench.frame->StatusText(), success);
            bench.sim().removeTag(id);
            QTRY_COMPARE(bench.frame->StatusText(), QStringLiteral("Bitte Transponder auflegen!"));
        }
        if (stopByMenu)
            bench.frame->Action(IdStopCyclicWrite)->trigger();
        else
            cyclic->click();
        QVERIFY(!IsCyclicJobRunning());
        QVERIFY(!cyclic->isChecked());
        QVERIFY(once->isEnabled());
        QCOMPARE(EnabledOperations(bench), operations);
        QVERIFY(bench.frame->Action(IdText)->isEnabled());
        QCOMPARE(bench.frame->StatusText(), QString());

        // The job is over: a new tag is left alone.
        const kqsim::TagId id = bench.sim().placeTag(TagWithHallo(9));
        QTest::qWait(300);
        QCOMPARE(Memory(bench, id, 4, 20), kHalloArea);
        QVERIFY(!IsLocked(bench, id));
        QCOMPARE(boxes.seen, QStringList());
    }

    // Cyclic reading started over the format or lock form shuts its buttons, 1016
    // too, until it stops.
    void cyclicReadingShutsTheJobForms_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("format") << int(IdFormat);
        QTest::newRow("lock") << int(IdLock);
    }
    void cyclicReadingShutsTheJobForms() {
        QFETCH(int, command);
        FrameBench bench;
        bench.frame->Action(command)->trigger();
        const QList<int> operations = EnabledOperations(bench);
        QWidget* form = bench.frame->ActiveView();
        bench.frame->Action(IdCyclicRead)->trigger();
        QVERIFY(IsCyclicJobRunning());
        QCOMPARE(bench.frame->ActiveView(), form);
        QCOMPARE(EnabledOperations(bench), QList<int>());
        QVERIFY(!Find<QPushButton>(bench, 1016)->isEnabled());
        bench.frame->Action(IdCyclicRead)->trigger();
        QVERIFY(!IsCyclicJobRunning());
        QCOMPARE(EnabledOperations(bench), operations);
        QVERIFY(Find<QPushButton>(bench, 1016)->isEnabled());
    }

    // Without a reader the cyclic job does not start: the port error is shown, 1016
    // stays unchecked and 1001 enabled.
    void aCyclicJobWithoutReaderDoesNotStart_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("format") << int(IdFormat);
        QTest::newRow("lock") << int(IdLock);
    }
    void aCyclicJobWithoutReaderDoesNotStart() {
        QFETCH(int, command);
        FrameBench bench;
        kqtest::FreshSettings(QStringLiteral("/dev/kq-no-such-reader"));
        kqtest::ModalWatcher boxes;
        bench.frame->Action(command)->trigger();
        auto* cyclic = Find<QPushButton>(bench, 1016);
        cyclic->click();
        QVERIFY(!IsCyclicJobRunning());
        QVERIFY(!cyclic->isChecked());
        QVERIFY(Find<QPushButton>(bench, 1001)->isEnabled());
        QCOMPARE(bench.frame->StatusText(),
                 QStringLiteral("Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!"));
        QCOMPARE(bench.frame->StatusIconKind(), int(CMainFrame::IconError));
        QCOMPARE(boxes.seen, QStringList());
    }

    // A smart poster with a URI of no known scheme is shown in the URI form: the
    // whole URI and the title. A URI of a known scheme leaves its fields empty.
    void aUriOfUnknownSchemeIsShownInTheUriForm() {
        FrameBench bench;
        // Smart poster (D1 02 len "Sp") around a text record "Buch" (91 01 07 'T' 02
        // "en" "Buch": MB, SR) and a URI record (51 01 len 'U': ME, SR) with the
        // identifier code 00 (no prefix) and "urn:isbn:3-12-345678-9".
        const QByteArray uri = "urn:isbn:3-12-345678-9";
        const QByteArray nested =
            QByteArray::fromHex("91 01 07 54 02") + "enBuch" + QByteArray::fromHex("51 01 17 55 00") + uri;
        bench.sim().placeTag(kqtest::Ntag213WithMessage(QByteArray::fromHex("D1 02 26 53 70") + nested, 1));

        bench.frame->Action(IdReadTagButton)->trigger();
        CUriView* view = qobject_cast<CUriView*>(bench.frame->ActiveView());
        QVERIFY(view);
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewUri));
        QCOMPARE(Find<CLabel>(bench, 1003)->text(), QStringLiteral("Unbekannte Internetresource"));
        QCOMPARE(Find<QLineEdit>(bench, 131)->text(), QString::fromLatin1(uri));
        QCOMPARE(Find<QLineEdit>(bench, 133)->text(), QStringLiteral("Buch"));
        QVERIFY(Find<QLineEdit>(bench, 131)->isReadOnly());
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Lesen erfolgreich!"));

        auto web = std::make_unique<CBookmarkScheme>();
        web->value = "example.org";
        web->title = "Beispiel";
        view->ShowTagRecord(CNfcTagData(std::move(web)));
        QCOMPARE(Find<QLineEdit>(bench, 131)->text(), QString());
        QCOMPARE(Find<QLineEdit>(bench, 133)->text(), QString());
    }
};

QTEST_MAIN(TagJobFormsTest)
#include "TagJobFormsTest.moc"
