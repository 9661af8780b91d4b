// The LAN search and LAN configuration dialogs, and the interface dialog's "IP ?",
// against simulated network modules on loopback addresses of this test process.
#include "../e2e/LanTestSupport.h"
#include "ShellTestSupport.h"
#include "app/ProfileSettings.h"
#include "forms/IPAddrSuche.h"
#include "forms/LanConfig.h"
#include "forms/PortDlg.h"
#include "res/StringTable.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

using kqe2e::LanEnvironment;
using kqe2e::LoopbackAddress;
using Module = kqsim::LanModule;

namespace {

QString Address(int host) {
    return QString::fromStdString(LoopbackAddress(host));
}

// Saves the widget's picture when KQ_LAN_DIALOG_SHOTS names a folder (to look at).
void Shot(QWidget& widget, const char* name) {
    const QString folder = qEnvironmentVariable("KQ_LAN_DIALOG_SHOTS");
    if (!folder.isEmpty()) widget.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + ".png");
}

// Whether a pure red pixel lies inside the rectangle of the list's row.
bool RowHasRed(QListWidget& list, int row) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect rect = list.visualItemRect(list.item(row));
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixelColor(x, y) == QColor(255, 0, 0)) return true;
    return false;
}

void Select(QListWidget& list, const QString& text) {
    const auto found = list.findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(text));
    const QRect rect = list.visualItemRect(found.first());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

class LanDialogsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LanEnvironment> m_lan;
    std::vector<std::unique_ptr<Module>> m_modules;

    Module& AddModule(const Module::Config& config) {
        m_modules.push_back(std::make_unique<Module>(config));
        return *m_modules.back();
    }

    // A reader at its fixed address, one by DHCP name, and a device of another type.
    void ThreeModules() {
        AddModule(m_lan->Module(LoopbackAddress(10), "FIXED"));
        auto dhcp = m_lan->Module(LoopbackAddress(11), "DHCPNAME");
        dhcp.configured = "0.0.0.0";
        AddModule(dhcp);
        auto other = m_lan->Module(LoopbackAddress(12), "OTHER");
        other.deviceType = "XY-OTHER";
        AddModule(other);
    }

private slots:
    void init() { m_lan = std::make_unique<LanEnvironment>(std::vector<std::string>{LoopbackAddress(1)}); }
    void cleanup() {
        m_modules.clear();
        m_lan.reset();
    }

    void searchListsBothSearchesAndReturnsOnlyUsableReaders() {
        ThreeModules();
        for (const bool pickUsable : {false, true}) {
            CIPAddrSuche dlg;
            dlg.show();
            QTRY_VERIFY_WITH_TIMEOUT(dlg.isEnabled() && dlg.ReaderList()->count() == 3, 8000);
            QListWidget& list = *dlg.ReaderList();
            const QString fixed = Address(10) + "-10001", dhcp = "[DHCPNAME]" + Address(11) + "-10001",
                          other = Address(12) + "-10001";
            // Found by both searches: the plain search's text in the Ex search's place.
            QCOMPARE(list.item(0)->text(), fixed);
            QCOMPARE(list.item(1)->text(), dhcp);
            QCOMPARE(list.item(2)->text(), other);
            QCOMPARE(list.item(0)->data(Qt::UserRole).toInt(), 1);
            QCOMPARE(list.item(1)->data(Qt::UserRole).toInt(), 1);
            QCOMPARE(list.item(2)->data(Qt::UserRole).toInt(), 2);
            QVERIFY(!RowHasRed(list, 0));
            QVERIFY(RowHasRed(list, 2));
            QVERIFY(!dlg.ChangeButton()->isEnabled());
            Select(list, pickUsable ? dhcp : other);
            QVERIFY(dlg.ChangeButton()->isEnabled());
            QCOMPARE(RowHasRed(list, 2), pickUsable); // selected it has the highlight colours
            Shot(dlg, pickUsable ? "search-usable" : "search-red");
            QTest::mouseClick(dlg.findChild<QPushButton*>("2"), Qt::LeftButton);
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.ChosenReader, pickUsable ? dhcp : QString());
        }
    }

    void emptySearchOffersRetryThenCancelCloses() {
        int boxes = 0;
        QString caption;
        kqtest::ModalWatcher watcher([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return false;
            caption = box->windowTitle();
            box->done(++boxes == 1 ? QMessageBox::Retry : QMessageBox::Cancel);
            return true;
        });
        CIPAddrSuche dlg;
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QCOMPARE(boxes, 2);
        QCOMPARE(watcher.seen.first(), KqString(IdsNoLanDevices));
        QCOMPARE(caption, KqString(IdsFoundAddressesCaption));
        QVERIFY(dlg.ChosenReader.isEmpty());
    }

    void configurationReadsTheModuleAndWritesANewAddress() {
        auto config = m_lan->Module(LoopbackAddress(20), "ABCDEFGH");
        config.tcpPort = 10002;
        config.gateway = "10.0.0.1";
        // Back at its new address only after the library's own 5 s wait, once the dialog
        // waits on showing its progress (however long a busy machine takes to get there).
        config.reappearDelay = std::chrono::milliseconds(60000);
        Module& module = AddModule(config);
        CLanConfig dlg(Address(20) + "-10002");
        dlg.show();
        QCOMPARE(dlg.AddressMode, 1);
        QCOMPARE(dlg.AddressEdit()->text(), Address(20));
        QCOMPARE(dlg.FixedPortEdit()->text(), u"10002"_qs);
        QCOMPARE(dlg.DhcpPortEdit()->text(), u"10002"_qs);
        QCOMPARE(dlg.MaskEdit()->text(), u"255.255.255.0"_qs);
        QCOMPARE(dlg.GatewayEdit()->text(), u"10.0.0.1"_qs);
        QCOMPARE(dlg.DhcpName, u"ABCDEFGH"_qs);
        QVERIFY(dlg.AddressEdit()->isEnabled() && !dlg.DhcpNameEdit()->isEnabled());
        QVERIFY(dlg.Progress()->isHidden());
        Shot(dlg, "config-fixed");
        // Leading zeros typed in an octet: the module is given the address as four
        // plain octets.
        dlg.AddressEdit()->setText(Address(21).section('.', 0, 2) + ".021");
        int progressSeen = 0;
        bool shot = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!dlg.Progress()->isVisible() || dlg.Progress()->value() <= 0) return;
            progressSeen = std::max(progressSeen, dlg.Progress()->value());
            QVERIFY(!dlg.isEnabled() && !dlg.findChild<QPushButton*>("OkButton")->isVisible());
            if (!shot) Shot(dlg, "config-writing");
            shot = true;
            module.reappearNow();
        });
        watch.start(20);
        QTest::mouseClick(dlg.findChild<QPushButton*>("OkButton"), Qt::LeftButton);
        watch.stop();
        QVERIFY(progressSeen > 0 && progressSeen < CLanConfig::kReappearWaitMs);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.ReaderText, Address(21) + "-10002");
        QCOMPARE(QString::fromStdString(module.currentAddress()), Address(21));
        QVERIFY(dlg.Progress()->isHidden());
    }

    void configurationRefusesWhatTheModuleCannotTake() {
        const QString kDhcpNameMessage =
            u"Der DHCP Name muss 1 bis 15 Byte lang sein (ein Umlaut zählt zwei) und darf weder '[' noch ']' "
            "noch ':' enthalten."_qs;
        auto dhcpConfig = m_lan->Module(LoopbackAddress(22), "ABCDEFGH");
        dhcpConfig.configured = "0.0.0.0";
        dhcpConfig.tcpPort = 10003;
        dhcpConfig.answersIdentity = false; // every change is refused
        AddModule(dhcpConfig);
        CLanConfig dlg(u"[ABCDEFGH]-10003"_qs);
        dlg.show();
        QCOMPARE(dlg.AddressMode, 0);
        QCOMPARE(dlg.DhcpName, u"ABCDEFGH"_qs);
        QCOMPARE(dlg.DhcpPortEdit()->text(), u"10003"_qs);
        QVERIFY(dlg.DhcpNameEdit()->isEnabled() && !dlg.AddressEdit()->isEnabled());
        QCOMPARE(dlg.DhcpNameEdit()->maxLength(), 16); // a name the module holds is shown whole
        for (const QString& name : {u"READER0000000001"_qs, QString(16, u'W')}) {
            dlg.DhcpNameEdit()->setText(name);
            dlg.DhcpNameEdit()->setCursorPosition(16); // a text too long scrolls its start away
            dlg.DhcpNameEdit()->repaint();             // the scrolling is settled in the paint
            QVERIFY2(dlg.DhcpNameEdit()->cursorPositionAt(QPoint(4, dlg.DhcpNameEdit()->height() / 2)) == 0,
                     qPrintable(name));
        }
        dlg.DhcpNameEdit()->setText(u"ABCDEFGH"_qs);
        Shot(dlg, "config-dhcp");
        struct Case {
            const char* name;
            std::function<void()> edit;
            QString message; // empty: the range message of the port field
        };
        const Case cases[] = {
            {"port 0", [&] { dlg.DhcpPortEdit()->setText("0"); }, {}},
            {"port 65536", [&] { dlg.DhcpPortEdit()->setText("65536"); }, {}},
            {"blank fixed address",
             [&] {
                 QTest::mouseClick(dlg.FixedRadio(), Qt::LeftButton);
                 dlg.FixedPortEdit()->setText("10003");
                 dlg.AddressEdit()->clear();
             },
             KqString(IdsValidIpAddress)},
            // Only four dotted octets of 0-255 reach the library ("127.20" is no
            // 127.0.0.20), in the address, the mask and the gateway.
            {"incomplete fixed address", [&] { dlg.AddressEdit()->setText("127.20"); },
             KqString(IdsValidIpAddress)},
            {"octet above 255", [&] { dlg.AddressEdit()->setText(Address(22).section('.', 0, 2) + ".256"); },
             KqString(IdsValidIpAddress)},
            {"incomplete mask",
             [&] {
                 dlg.AddressEdit()->setText(Address(22));
                 dlg.MaskEdit()->setText("255.255");
             },
             KqString(IdsValidIpAddress)},
            // The module keeps a count of host bits: a mask with a gap would be another.
            {"mask with a gap", [&] { dlg.MaskEdit()->setText("255.0.255.0"); }, KqString(IdsValidIpAddress)},
            {"gateway of five octets",
             [&] {
                 dlg.MaskEdit()->setText("255.255.255.0");
                 dlg.GatewayEdit()->setText("10.0.0.1.1");
             },
             KqString(IdsValidIpAddress)},
            // The module holds 15 bytes of a name, umlauts taking two; '[' and ']'
            // would end the name in the reader text.
            {"name of 16 characters, 19 bytes",
             [&] {
                 dlg.GatewayEdit()->clear(); // the module's own is kept
                 QTest::mouseClick(dlg.DhcpRadio(), Qt::LeftButton);
                 dlg.DhcpNameEdit()->setText(u"Müller-Gerät-Süd"_qs);
             },
             kDhcpNameMessage},
            {"name with ']'", [&] { dlg.DhcpNameEdit()->setText("AB]CD"); }, kDhcpNameMessage},
            {"name with '['", [&] { dlg.DhcpNameEdit()->setText("[AB"); }, kDhcpNameMessage},
            // Neither is ever found again by its reader text: ':' begins the device
            // address, and an empty name leaves the module's own.
            {"name with ':'", [&] { dlg.DhcpNameEdit()->setText("AB:CD"); }, kDhcpNameMessage},
            {"empty name", [&] { dlg.DhcpNameEdit()->clear(); }, kDhcpNameMessage},
            {"write refused",
             [&] {
                 dlg.DhcpPortEdit()->setText("10004");
                 dlg.DhcpNameEdit()->setText(u"Müller-Gerät1"_qs); // 15 bytes
             },
             KqString(IdsLanConfigFailed)},
        };
        for (const Case& c : cases) {
            kqtest::ModalWatcher watcher;
            c.edit();
            QTest::mouseClick(dlg.findChild<QPushButton*>("OkButton"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(watcher.seen.size(), 1, 20000);
            if (!c.message.isEmpty()) {
                QVERIFY2(watcher.seen.first() == c.message,
                         qPrintable(c.name + QStringLiteral(": ") + watcher.seen.first()));
            }
            QVERIFY2(dlg.isVisible(), c.name);
            QVERIFY2(dlg.Progress()->isHidden(), c.name);
        }
        // Refused: the module's settings are shown again.
        QCOMPARE(dlg.DhcpName, u"ABCDEFGH"_qs);
        QCOMPARE(dlg.DhcpPortEdit()->text(), u"10003"_qs);

        CLanConfig unreachable(Address(23) + "-10001");
        QCOMPARE(unreachable.AddressMode, -1);
        QVERIFY(!unreachable.findChild<QPushButton*>("OkButton")->isEnabled());
        QTest::mouseClick(unreachable.FixedRadio(), Qt::LeftButton);
        QVERIFY(unreachable.findChild<QPushButton*>("OkButton")->isEnabled());
    }

    void interfaceDialogIpSearchTakesTheChosenReader() {
        ThreeModules();
        ProfileSettings::WriteInt("Port", "EthernetAktiv", 1);
        const QString dhcp = "[DHCPNAME]" + Address(11) + "-10001";
        kqtest::ModalWatcher watcher([&](QWidget* modal) {
            auto* search = qobject_cast<CIPAddrSuche*>(modal);
            if (!search) return false;
            auto* poll = new QTimer(search);
            QObject::connect(poll, &QTimer::timeout, search, [search, poll, dhcp] {
                if (!search->isEnabled() || search->ReaderList()->count() == 0) return;
                poll->stop();
                search->ReaderList()->findItems(dhcp, Qt::MatchExactly).first()->setSelected(true);
                search->reject();
            });
            poll->start(20);
            return true;
        });
        CPortDlg dlg;
        dlg.show();
        QVERIFY(dlg.IpSearchButton()->isVisible() && dlg.IpSearchButton()->isEnabled());
        QTest::mouseClick(dlg.IpSearchButton(), Qt::LeftButton);
        QCOMPARE(dlg.Name, u"LAN: [DHCPNAME]"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(
            !dlg.PortList()->findItems(u"LAN: [DHCPNAME]"_qs, Qt::MatchExactly).isEmpty(), 8000);
        QCOMPARE(dlg.GetOpenName(), u"[DHCPNAME]:1"_qs);
        QVERIFY(watcher.seen.contains(u"CIPAddrSuche"_qs));
    }
};

QTEST_MAIN(LanDialogsTest)
#include "LanDialogsTest.moc"
