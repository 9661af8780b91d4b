// The interface dialog with a HID reader (the simulator's HID endpoint in a fake sysfs
// tree) and a Bluetooth reader (the simulator's module behind the fake bridge library)
// attached: both are listed, and choosing either connects the program to it.
#include "FakeSysfs.h"
#include "FakeUsbXpressControl.h"
#include "ShellTestSupport.h"
#include "app/ProfileSettings.h"
#include "forms/PortDlg.h"
#include "kqlmx.h"
#include "sim/HidEndpoint.h"

#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <filesystem>

using namespace Qt::StringLiterals;

class ReaderLinksGuiTest : public QObject {
    Q_OBJECT
private slots:
    void interfaceDialogListsAndConnectsHidAndBluetoothReaders_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("openName");
        QTest::newRow("HID") << u"USB: 1460-2222 HID"_s << u"1460-2222 HID:1"_s;
        QTest::newRow("Bluetooth") << u"Bluetooth: VEK-RT4082#0042 BT"_s << u"VEK-RT4082#0042 BT:1"_s;
    }
    void interfaceDialogListsAndConnectsHidAndBluetoothReaders() {
        QFETCH(QString, entry);
        QFETCH(QString, openName);
        kqtest::FakeSysfs sysfs;
        sysfs.AddTtyClass();
        qputenv("KQLMX_SYSFS_ROOT", sysfs.Root().c_str());
        kqsim::Simulator reader(kqtest::WriterConfig());
        reader.placeTag(kqtest::BlankNtag213(1));
        const kqsim::HidEndpoint::Options options{.inputLength = 65, .outputLength = 65};
        sysfs.AddHidraw("hidraw0", "1-3", 0x16C0, 0x2913, "1460-2222");
        sysfs.AddHidReportDescriptor("hidraw0", kqsim::HidEndpoint::reportDescriptor(options));
        std::filesystem::create_directories(sysfs.Root() + "/dev");
        kqsim::HidEndpoint hid(reader, sysfs.Root() + "/dev/hidraw0", options);
        QVERIFY(hid.ok());
        FakeUsbXpress fake;
        kqsim::BluetoothModule module(reader);
        module.addDevice({.address = {1, 2, 3, 4, 5, 6}, .name = "KQ-LNK134BT"});
        fake.AddDevice("VEK-RT4082#0042");
        fake.Plug(module);

        kqtest::FrameBench bench;
        QStringList listed;
        kqtest::ModalWatcher watcher([&](QWidget* modal) {
            auto* dlg = qobject_cast<CPortDlg*>(modal);
            if (!dlg) return false;
            for (int row = 0; row < dlg->PortList()->count(); ++row)
                listed << dlg->PortList()->item(row)->text();
            const auto found = dlg->PortList()->findItems(entry, Qt::MatchExactly);
            if (found.size() == 1) {
                const QRect rect = dlg->PortList()->visualItemRect(found.first());
                QTest::mouseClick(dlg->PortList()->viewport(), Qt::LeftButton, {}, rect.center());
            }
            QTest::mouseClick(dlg->findChild<QPushButton*>("OkButton"), Qt::LeftButton);
            return true;
        });
        bench.doc.OnChooseInterface();
        QVERIFY2(listed.contains(u"USB: 1460-2222 HID"_s), qPrintable(listed.join(u'|')));
        QVERIFY2(listed.contains(u"Bluetooth: VEK-RT4082#0042 BT"_s), qPrintable(listed.join(u'|')));
        QCOMPARE(watcher.seen, QStringList{u"CPortDlg"_s}); // no error message
        QVERIFY(bench.doc.Engine().IsPortOpen());
        QVERIFY2(bench.frame->windowTitle().contains(openName.chopped(2)),
                 qPrintable(bench.frame->windowTitle()));
        QCOMPARE(ProfileSettings::ReadString("Port", "Name", QString()), entry);
        bench.doc.Engine().ClosePort();
        qunsetenv("KQLMX_SYSFS_ROOT");
    }
};

QTEST_MAIN(ReaderLinksGuiTest)
#include "ReaderLinksGuiTest.moc"
