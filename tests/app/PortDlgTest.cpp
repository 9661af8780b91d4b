// The interface dialog against the reader library's enumeration on a fake sysfs tree
// (no FTDI library): the list and its rescans, the stored name's match, the mode
// buttons, the baud code, the "Port" settings, refused fields, missing drivers.
#include "forms/PortDlg.h"
#include "FakeSysfs.h"
#include "ShellTestSupport.h"
#include "app/BusyGuard.h"
#include "app/DeviceChangeMonitor.h"
#include "app/ProfileSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

class FakeMonitor : public DeviceChangeMonitor {
public:
    void Fire(int event) { emit DeviceChanged(event); }
};

struct HidReader {
    const char* serial;
    uint32_t productId;
};

} // namespace

class PortDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<kqtest::FakeSysfs> m_sysfs;

    static QVariant Stored(const QString& key) {
        QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
        return raw.value("Port/" + key);
    }

    // Shows the dialog with a monitor the test fires; the dialog's first rescan is done
    // when this returns.
    static FakeMonitor* Show(CPortDlg& dlg) {
        auto monitor = std::make_unique<FakeMonitor>();
        FakeMonitor* fire = monitor.get();
        dlg.SetDeviceMonitor(std::move(monitor));
        dlg.show();
        QTest::qWait(20);
        return fire;
    }

    static QStringList Entries(const CPortDlg& dlg) {
        QStringList texts;
        for (int row = 0; row < dlg.PortList()->count(); ++row)
            texts << dlg.PortList()->item(row)->text();
        return texts;
    }

    static QString Selected(const CPortDlg& dlg) {
        const auto items = dlg.PortList()->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }

    // Clicks the entry as the user would.
    static void Pick(CPortDlg& dlg, const QString& entry) {
        const auto found = dlg.PortList()->findItems(entry, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(entry));
        const QRect rect = dlg.PortList()->visualItemRect(found.first());
        QTest::mouseClick(dlg.PortList()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    static void Click(CPortDlg& dlg, const char* button) {
        QTest::mouseClick(dlg.findChild<QPushButton*>(button), Qt::LeftButton);
    }

    void AddHidReaders(std::initializer_list<HidReader> readers) {
        int n = 0;
        for (const HidReader& r : readers) {
            const std::string index = std::to_string(n++);
            m_sysfs->AddHidraw("hidraw" + index, "2-" + index, r.productId == 0x2913 ? 0x16C0 : 0x1C40,
                               r.productId, r.serial);
        }
    }

private slots:
    void init() {
        QFile::remove(ProfileSettings::FilePath());
        m_sysfs = std::make_unique<kqtest::FakeSysfs>();
        m_sysfs->AddTtyClass();
        qputenv("KQLMX_SYSFS_ROOT", m_sysfs->Root().c_str());
        qputenv("KQ_DRIVER_PAGE_URL", "");
    }
    void cleanup() { m_sysfs.reset(); }

    // What the document and the engine see from a dialog that is never shown.
    void constructionReadsAndRechecksTheSettings_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("ethernet");
        QTest::addColumn<bool>("hidReaders");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("openName");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<int>("kind"); // 0 serial, 1 USB, 2 LAN, 3 Bluetooth
        const QString vcom = u"/dev/ttyACM0 [Vek Virtual COM]"_s, hid = u"USB: 1460-0001 HID"_s;
        const QString lan = u"LAN: 192.168.0.5-10001"_s;
        QTest::newRow("serial device") << vcom << 0 << false << vcom << vcom + ":3" << vcom << 0;
        QTest::newRow("USB reader attached")
            << u"USB: 1750-0002 HID"_s << 0 << true << u"USB: 1750-0002 HID"_s << u"1750-0002 HID:3"_s
            << u"USB: 1750-0002 HID"_s << 1;
        QTest::newRow("other USB reader attached")
            << u"USB: 1460-0009 HID"_s << 0 << true << hid << u"1460-0001 HID:3"_s << hid << 1;
        QTest::newRow("USB reader gone") << hid << 0 << false << QString() << u":3"_s << QString() << 0;
        QTest::newRow("Bluetooth reader gone")
            << u"Bluetooth: VEK-RT4082#7 BT"_s << 0 << true << QString() << u":3"_s << QString() << 0;
        QTest::newRow("LAN reader, Ethernet off")
            << lan << 0 << false << lan << u"192.168.0.5-10001:3"_s << lan << 0;
        QTest::newRow("LAN reader not answering")
            << lan << 1 << false << QString() << u":3"_s << QString() << 0;
    }
    void constructionReadsAndRechecksTheSettings() {
        QFETCH(QString, stored);
        QFETCH(int, ethernet);
        QFETCH(bool, hidReaders);
        QFETCH(QString, name);
        QFETCH(QString, openName);
        QFETCH(QString, storedAfter);
        QFETCH(int, kind);
        ProfileSettings::WriteString("Port", "Name", stored);
        ProfileSettings::WriteInt("Port", "EthernetAktiv", ethernet);
        ProfileSettings::WriteInt("Port", "Adresse", 3);
        if (hidReaders) AddHidReaders({{"1460-0001", 0x2913}, {"1750-0002", 0x05AB}});
        CPortDlg dlg;
        QCOMPARE(dlg.Name, name);
        QCOMPARE(dlg.GetOpenName(), openName);
        QCOMPARE(Stored("Name").toString(), storedAfter);
        QCOMPARE(dlg.IsUsb, kind == 1);
        QCOMPARE(dlg.IsLan, kind == 2);
        QCOMPARE(dlg.IsBluetooth, kind == 3);
        QCOMPARE(dlg.Baudrate, 19200);
        QCOMPARE(dlg.Timeout, 1000);
        QCOMPARE(dlg.PortList()->count(), 0); // nothing is listed until it is shown
    }

    void listsSerialDevicesThenUsbReaders() {
        m_sysfs->AddUsbTty("ttyUSB10", "1-1", 0x0403, 0x6001, "FT232R USB UART");
        m_sysfs->AddUsbTty("ttyACM0", "1-2", 0x1C40, 0x05AC, "");
        AddHidReaders({{"1460-0001", 0x2913}});
        CPortDlg dlg;
        Show(dlg);
        QCOMPARE(Entries(dlg),
                 (QStringList{"/dev/ttyACM0 [Vek Virtual COM]", "/dev/ttyUSB10", "USB: 1460-0001 HID"}));
        QCOMPARE(Selected(dlg), QString()); // nothing stored, more than one entry
        QCOMPARE(dlg.Name, QString());

        Pick(dlg, "USB: 1460-0001 HID");
        QCOMPARE(dlg.Name, QString("USB: 1460-0001 HID"));
        QVERIFY(dlg.IsUsb);
        QVERIFY(!dlg.BaudCombo()->isEnabled() && !dlg.ParityCombo()->isEnabled());
        Pick(dlg, "/dev/ttyUSB10");
        QVERIFY(!dlg.IsUsb);
        QVERIFY(dlg.BaudCombo()->isEnabled() && dlg.StopBitsCombo()->isEnabled());
        QCOMPARE(dlg.GetOpenName(), QString("/dev/ttyUSB10:1"));
    }

    // A stored name picks its own entry, with or without a description hint, never a
    // longer name that begins the same.
    void storedNamePicksOnlyItsOwnEntry() {
        const struct {
            const char* name;
            const char* entry;
            bool matches;
        } cases[] = {
            {"COM1", "COM1", true},
            {"com1", "COM1", true},
            {"COM1", "COM1 [Vek Virtual COM]", true},
            {"COM1", "COM10", false},
            {"/dev/ttyUSB1", "/dev/ttyUSB10", false},
            {"/dev/ttyUSB1", "/dev/ttyUSB1 [vek Reader]", true},
            {"/dev/ttyUSB1", "/dev/ttyUSB1 x", false}, // other text after a blank
            {"", "COM1", false},
            {"USB: 1460-0001 HID", "USB: 1460-0001 HID", true},
        };
        for (const auto& c : cases)
            QVERIFY2(CPortDlg::NameMatchesEntry(c.name, c.entry) == c.matches, c.entry);
    }

    // The shown dialog selects the stored name's entry, never a longer device path
    // that begins the same. A stored device the scan does not list (a pty, a by-id
    // link, a reader not plugged in) stays listed after the serial devices and
    // selected, also after a rescan, so OK keeps it; only with no stored name is the
    // only entry taken.
    void theStoredNameSelectsItsEntry_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("ttys"); // ttyUSB<n>: FTDI; ttyACM<n>, ":hint": a reader's virtual COM
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("selected");
        QTest::newRow("not listed, another the only entry")
            << u"/dev/ttyUSB1"_s << QStringList{"ttyUSB0"} << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1"}
            << u"/dev/ttyUSB1"_s;
        QTest::newRow("only a longer path")
            << u"/dev/ttyUSB1"_s << QStringList{"ttyUSB10", "ttyACM1"}
            << QStringList{"/dev/ttyACM1 [Vek Virtual COM]", "/dev/ttyUSB10", "/dev/ttyUSB1"}
            << u"/dev/ttyUSB1"_s;
        QTest::newRow("a pty") << u"/dev/pts/7"_s << QStringList{} << QStringList{"/dev/pts/7"}
                               << u"/dev/pts/7"_s;
        QTest::newRow("its own entry with a hint")
            << u"/dev/ttyUSB1"_s << QStringList{"ttyUSB10", "ttyUSB1:hint"}
            << QStringList{"/dev/ttyUSB1 [Vek Virtual COM]", "/dev/ttyUSB10"}
            << u"/dev/ttyUSB1 [Vek Virtual COM]"_s;
        QTest::newRow("nothing stored, the only entry")
            << QString() << QStringList{"ttyUSB0"} << QStringList{"/dev/ttyUSB0"} << u"/dev/ttyUSB0"_s;
        QTest::newRow("nothing stored, two entries")
            << QString() << QStringList{"ttyUSB0", "ttyUSB2"} << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB2"}
            << QString();
    }
    void theStoredNameSelectsItsEntry() {
        QFETCH(QString, stored);
        QFETCH(QStringList, ttys);
        QFETCH(QStringList, entries);
        QFETCH(QString, selected);
        if (!stored.isEmpty()) ProfileSettings::WriteString("Port", "Name", stored);
        int n = 0;
        for (const QString& tty : ttys) {
            const bool virtualCom = tty.endsWith(":hint") || tty.startsWith("ttyACM");
            m_sysfs->AddUsbTty(tty.section(':', 0, 0).toStdString(), "1-" + std::to_string(++n),
                               virtualCom ? 0x1C40 : 0x0403, virtualCom ? 0x05AC : 0x6001, "");
        }
        CPortDlg dlg;
        FakeMonitor* monitor = Show(dlg);
        QCOMPARE(Entries(dlg), entries);
        QCOMPARE(Selected(dlg), selected);
        QCOMPARE(dlg.Name, selected.section(" [", 0, 0));

        m_sysfs->AddUsbTty("ttyUSB5", "1-9", 0x0403, 0x6001, "");
        monitor->Fire(DeviceChangeMonitor::DeviceArrival);
        QCOMPARE(Entries(dlg).size(), entries.size() + 1);
        if (!stored.isEmpty()) QCOMPARE(Selected(dlg), selected);
        Click(dlg, "OkButton");
        QCOMPARE(Stored("Name").toString(), Selected(dlg));
    }

    // The list is rebuilt only when an enumeration changed; the stored name is picked
    // again afterwards; events that are no device change scan nothing.
    void rescansOnDeviceChanges() {
        m_sysfs->AddSerialPort("ttyS0", 4);
        m_sysfs->AddUsbTty("ttyUSB0", "1-1", 0x0403, 0x6001, "");
        CPortDlg dlg;
        FakeMonitor* monitor = Show(dlg);
        Pick(dlg, "/dev/ttyUSB0");
        QListWidgetItem* before = dlg.PortList()->item(1);

        monitor->Fire(DeviceChangeMonitor::DevNodesChanged);
        QCOMPARE(dlg.PortList()->item(1), before); // not rebuilt
        QCOMPARE(Selected(dlg), QString("/dev/ttyUSB0"));

        m_sysfs->AddUsbTty("ttyUSB2", "1-2", 0x0403, 0x6001, "");
        monitor->Fire(0x8004); // removal complete: nothing to look at
        QCOMPARE(dlg.PortList()->count(), 2);

        monitor->Fire(DeviceChangeMonitor::DeviceArrival);
        QCOMPARE(Entries(dlg), (QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB2"}));
        QCOMPARE(Selected(dlg), QString("/dev/ttyUSB0"));

        m_sysfs->RemoveTty("ttyUSB0");
        monitor->Fire(DeviceChangeMonitor::DevNodesChanged);
        QCOMPARE(Entries(dlg), (QStringList{"/dev/ttyS0", "/dev/ttyUSB2"}));
        QCOMPARE(Selected(dlg), QString());
        QCOMPARE(dlg.Name, QString("/dev/ttyUSB0")); // kept until the user picks another
    }

    // An arrival is followed by four more scans a second apart, and no more. Each scan
    // is waited for (a busy machine may hold a timer back), and then its next.
    void arrivalIsFollowedByFourScans() {
        CPortDlg dlg;
        FakeMonitor* monitor = Show(dlg);
        monitor->Fire(DeviceChangeMonitor::DeviceArrival);
        for (int n = 0; n < 4; ++n) {
            const std::string tty = "ttyUSB" + std::to_string(n);
            m_sysfs->AddUsbTty(tty, "1-" + std::to_string(n), 0x0403, 0x6001, "");
            QTRY_VERIFY_WITH_TIMEOUT(Entries(dlg).contains(QString::fromStdString("/dev/" + tty)), 10000);
        }
        m_sysfs->AddUsbTty("ttyUSB9", "1-9", 0x0403, 0x6001, "");
        QTest::qWait(1500);
        QVERIFY(!Entries(dlg).contains("/dev/ttyUSB9"));
    }

    void modeButtonsOnlyForKnownReaderFamilies_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("hidPressed");
        QTest::addColumn<bool>("virtualComPressed");
        QTest::newRow("virtual COM reader") << "/dev/ttyACM0 [Vek Virtual COM]" << true << false << true;
        QTest::newRow("other serial device") << "/dev/ttyUSB0" << false << false << false;
        QTest::newRow("HID reader 1460") << "USB: 1460-0001 HID" << true << true << false;
        QTest::newRow("HID reader 3000") << "USB: 3000-0042 HID" << true << true << false;
        QTest::newRow("HID reader of another family") << "USB: 1061-0001 HID" << false << false << false;
    }
    void modeButtonsOnlyForKnownReaderFamilies() {
        QFETCH(QString, entry);
        QFETCH(bool, enabled);
        QFETCH(bool, hidPressed);
        QFETCH(bool, virtualComPressed);
        m_sysfs->AddUsbTty("ttyACM0", "1-1", 0x1C40, 0x05AC, "");
        m_sysfs->AddUsbTty("ttyUSB0", "1-2", 0x0403, 0x6001, "");
        AddHidReaders({{"1460-0001", 0x2913}, {"3000-0042", 0x05AD}, {"1061-0001", 0x05AE}});
        CPortDlg dlg;
        Show(dlg);
        QVERIFY(!dlg.HidModeButton()->isEnabled() && !dlg.VirtualComButton()->isEnabled());
        Pick(dlg, entry);
        QCOMPARE(dlg.HidModeButton()->isEnabled(), enabled);
        QCOMPARE(dlg.VirtualComButton()->isEnabled(), enabled);
        QCOMPARE(dlg.HidModeButton()->isChecked(), hidPressed);
        QCOMPARE(dlg.VirtualComButton()->isChecked(), virtualComPressed);
    }

    void knownFamilyNeedsBothMarksAfterTheStart() {
        QVERIFY(CPortDlg::IsHidReaderOfKnownFamily("USB: 1650-0001 HID"));
        QVERIFY(!CPortDlg::IsHidReaderOfKnownFamily("1650-0001 HID"));
        QVERIFY(!CPortDlg::IsHidReaderOfKnownFamily("USB: 1650-0001"));
        QVERIFY(!CPortDlg::IsHidReaderOfKnownFamily("USB: 1461-0001 HID"));
    }

    // A mode switch whose port does not open sends nothing and keeps the selected name.
    void modeSwitchThatCannotOpenKeepsTheName() {
        m_sysfs->AddUsbTty("ttyKQnone0", "1-1", 0x1C40, 0x05AC, "");
        AddHidReaders({{"1460-0001", 0x2913}});
        CPortDlg dlg;
        Show(dlg);
        Pick(dlg, "/dev/ttyKQnone0 [Vek Virtual COM]");
        Click(dlg, "HidModeButton");
        QCOMPARE(dlg.Name, QString("/dev/ttyKQnone0 [Vek Virtual COM]"));
        QVERIFY(dlg.VirtualComButton()->isChecked() && !dlg.HidModeButton()->isChecked());

        Pick(dlg, "USB: 1460-0001 HID");
        Click(dlg, "VirtualComButton");
        QCOMPARE(dlg.Name, QString("USB: 1460-0001 HID"));
        QVERIFY(dlg.HidModeButton()->isChecked() && !dlg.VirtualComButton()->isChecked());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void baudCodeRoundTrips_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<QString>("stopBits");
        QTest::addColumn<int>("storedAfterOk");
        QTest::newRow("9603") << 9603 << u"9600"_s << u"keine"_s << u"2"_s << 9603;
        QTest::newRow("19201") << 19201 << u"19200"_s << u"gerade"_s << u"1"_s << 19201;
        QTest::newRow("2402") << 2402 << u"2400"_s << u"ungerade"_s << u"1"_s << 2402;
        QTest::newRow("code 50 counts as 0") << 4850 << u"4800"_s << u"keine"_s << u"1"_s << 4800;
        QTest::newRow("rate not offered: kept") << 115201 << QString() << u"gerade"_s << u"1"_s << 115201;
    }
    void baudCodeRoundTrips() {
        QFETCH(int, stored);
        QFETCH(QString, baud);
        QFETCH(QString, parity);
        QFETCH(QString, stopBits);
        QFETCH(int, storedAfterOk);
        ProfileSettings::WriteInt("Port", "Baudrate", stored);
        CPortDlg dlg;
        Show(dlg);
        QCOMPARE(dlg.BaudCombo()->currentText(), baud);
        QCOMPARE(dlg.ParityCombo()->currentText(), parity);
        QCOMPARE(dlg.StopBitsCombo()->currentText(), stopBits);
        Click(dlg, "OkButton");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("Baudrate").toInt(), storedAfterOk);
        QCOMPARE(dlg.Baudrate, storedAfterOk);
    }

    void okStoresThePortSettings() {
        m_sysfs->AddUsbTty("ttyUSB0", "1-1", 0x0403, 0x6001, "");
        m_sysfs->AddSerialPort("ttyS0", 4);
        CPortDlg dlg;
        Show(dlg);
        Pick(dlg, "/dev/ttyUSB0");
        dlg.BaudCombo()->setCurrentText("4800");
        dlg.ParityCombo()->setCurrentText("keine");
        dlg.StopBitsCombo()->setCurrentText("2");
        dlg.TimeoutEdit()->setText("2500");
        dlg.AdresseEdit()->setText("17");
        QTest::mouseClick(dlg.EthernetCheck(), Qt::LeftButton);
        Click(dlg, "OkButton");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("Name").toString(), QString("/dev/ttyUSB0"));
        QCOMPARE(Stored("Baudrate").toInt(), 4803);
        QCOMPARE(Stored("Timeout").toInt(), 2500);
        QCOMPARE(Stored("Adresse").toInt(), 17);
        QCOMPARE(Stored("EthernetAktiv").toInt(), 1);

        const CPortDlg reread;
        QCOMPARE(reread.GetOpenName(), QString("/dev/ttyUSB0:17"));
        QCOMPARE(reread.Baudrate, 4803);
        QCOMPARE(reread.Timeout, 2500);
        QCOMPARE(reread.EthernetAktiv, 1);
    }

    void cancelLeavesTheSettingsUnchanged() {
        m_sysfs->AddUsbTty("ttyUSB0", "1-1", 0x0403, 0x6001, "");
        m_sysfs->AddSerialPort("ttyS0", 4);
        ProfileSettings::WriteString("Port", "Name", "/dev/ttyS0");
        ProfileSettings::WriteInt("Port", "Timeout", 700);
        QFile file(ProfileSettings::FilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        for (bool escape : {false, true}) {
            CPortDlg dlg;
            Show(dlg);
            Pick(dlg, "/dev/ttyUSB0");
            dlg.BaudCombo()->setCurrentText("2400");
            dlg.TimeoutEdit()->setText("5000");
            dlg.AdresseEdit()->setText("9");
            QTest::mouseClick(dlg.EthernetCheck(), Qt::LeftButton);
            if (escape)
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                Click(dlg, "CancelButton");
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), before);
            file.close();
        }
    }

    // A refused field keeps the dialog open, says what is expected, takes the focus,
    // and nothing is stored; put right, OK goes through.
    void refusesBadFields_data() {
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QString>("adresse");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("timeoutFocused");
        const QString timeoutRange = "Bitte geben Sie eine ganze Zahl zwischen 10 und 300000 ein.";
        const QString adresseRange = "Bitte geben Sie eine ganze Zahl zwischen 1 und 255 ein.";
        QTest::newRow("time-out 9") << u"9"_s << u"1"_s << timeoutRange << true;
        QTest::newRow("time-out 300001") << u"300001"_s << u"1"_s << timeoutRange << true;
        QTest::newRow("time-out empty")
            << QString() << u"1"_s << u"Bitte geben Sie eine ganze Zahl ein."_s << true;
        QTest::newRow("address 0") << u"500"_s << u"0"_s << adresseRange << false;
        QTest::newRow("address 256") << u"500"_s << u"256"_s << adresseRange << false;
        QTest::newRow("both: the first") << u"-3"_s << u"999"_s << timeoutRange << true;
    }
    void refusesBadFields() {
        QFETCH(QString, timeout);
        QFETCH(QString, adresse);
        QFETCH(QString, message);
        QFETCH(bool, timeoutFocused);
        ProfileSettings::WriteInt("Port", "Timeout", 700);
        ProfileSettings::WriteInt("Port", "Adresse", 4);
        CPortDlg dlg;
        Show(dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        kqtest::ModalWatcher boxes;
        dlg.TimeoutEdit()->setText(timeout);
        dlg.AdresseEdit()->setText(adresse);
        Click(dlg, "OkButton");
        QCOMPARE(boxes.seen, QStringList{message});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.focusWidget(), timeoutFocused ? dlg.TimeoutEdit() : dlg.AdresseEdit());
        QCOMPARE(Stored("Timeout").toInt(), 700);
        QCOMPARE(Stored("Adresse").toInt(), 4);
        QCOMPARE(dlg.Timeout, 700);

        dlg.TimeoutEdit()->setText("10");
        dlg.AdresseEdit()->setText("255");
        Click(dlg, "OkButton");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("Timeout").toInt(), 10);
        QCOMPARE(Stored("Adresse").toInt(), 255);
    }

    void numberFieldsTakeDigitsOnly() {
        CPortDlg dlg;
        Show(dlg);
        dlg.TimeoutEdit()->clear();
        QTest::keyClicks(dlg.TimeoutEdit(), "1a5x00");
        QCOMPARE(dlg.TimeoutEdit()->text(), QString("1500"));
        dlg.AdresseEdit()->clear();
        QTest::keyClicks(dlg.AdresseEdit(), "-2b");
        QCOMPARE(dlg.AdresseEdit()->text(), QString("2"));
    }

    // A reader without driver is told about once while it stays so, not at every scan;
    // with a download page the user is asked whether to open it.
    void missingDriverIsToldOnce_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("message");
        const QString missing = "Kein Vek USB Treiber für KQ-LM(X)38 VCOM installiert!\n";
        QTest::newRow("no download page") << QByteArray() << missing;
        QTest::newRow("download page")
            << QByteArray("https://drivers.invalid/") << missing + "Treiber laden und installieren?\n";
    }
    void missingDriverIsToldOnce() {
        QFETCH(QByteArray, page);
        QFETCH(QString, message);
        qputenv("KQ_DRIVER_PAGE_URL", page);
        m_sysfs->AddUsbDevice("1-4", 0x1C40, 0x05AC, false);
        kqtest::ModalWatcher boxes; // answers "OK", which is no "Yes": nothing is opened
        CPortDlg dlg;
        FakeMonitor* monitor = Show(dlg);
        QTRY_COMPARE(boxes.seen, QStringList{message});
        monitor->Fire(DeviceChangeMonitor::DevNodesChanged);
        monitor->Fire(DeviceChangeMonitor::DeviceArrival);
        QTest::qWait(50);
        QCOMPARE(boxes.seen.size(), 1);
    }

    void ethernetShowsTheLanSearchButton() {
        CPortDlg dlg;
        Show(dlg);
        QVERIFY(!dlg.IpSearchButton()->isVisible());
        QTest::mouseClick(dlg.EthernetCheck(), Qt::LeftButton);
        QCOMPARE(dlg.EthernetAktiv, 1);
        QVERIFY(dlg.IpSearchButton()->isVisible());
        QVERIFY(dlg.IpSearchButton()->isEnabled());
        QTest::mouseClick(dlg.EthernetCheck(), Qt::LeftButton);
        QVERIFY(!dlg.IpSearchButton()->isVisible());
        QCOMPARE(dlg.minimumSize(), dlg.size()); // no smaller than it opened
    }

    void busyGuardRestoresOnlyWhatItChanged() {
        QMainWindow main;
        main.show();
        {
            CBusyGuard busy;
            QVERIFY(!main.isEnabled());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(main.isEnabled());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        main.setEnabled(false);
        { CBusyGuard busy; }
        QVERIFY(!main.isEnabled());
    }
};

QTEST_MAIN(PortDlgTest)
#include "PortDlgTest.moc"
