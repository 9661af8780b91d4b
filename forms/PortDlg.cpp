#include "forms/PortDlg.h"

#include "app/BusyGuard.h"
#include "app/DeviceChangeMonitor.h"
#include "app/ProfileSettings.h"
#include "app/QtUiHooks.h"
#include "app/WarningBox.h"
#include "forms/DialogDataExchange.h"
#include "forms/IPAddrSuche.h"
#include "kqlmx.h"
#include "res/StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

const QString kSection = QStringLiteral("Port");
const QString kUsbPrefix = QStringLiteral("USB: ");
const QString kLanPrefix = QStringLiteral("LAN: ");
const QString kBluetoothPrefix = QStringLiteral("Bluetooth: ");
constexpr int kEnumerationBufferSize = 2500;
constexpr int kFollowUpMs = 1000;
constexpr int kFollowUpRescans = 4;

// Reader models whose HID readers can switch their USB mode (serial numbers begin
// with the model number).
constexpr const char* kModeSwitchFamilies[] = {"1460-", "1462-", "1464-", "1465-", "1466-",
                                               "1467-", "1650-", "1654-", "1655-", "1656-",
                                               "1750-", "1755-", "2000-", "2005-", "3000-"};

// Set while a device change is handled: a message box inside pumps events, and a
// second change must not start another scan meanwhile.
bool g_deviceChangeBusy = false;

// The texts of a multi-string that an enumeration call fills.
QStringList ReadMultiString(int (*enumerate)(char*, int)) {
    std::vector<char> buffer(kEnumerationBufferSize, '\0');
    const int used = enumerate(buffer.data(), kEnumerationBufferSize);
    QStringList texts;
    for (int at = 0; at < used && at < kEnumerationBufferSize && buffer[at] != '\0';) {
        const size_t length = strnlen(buffer.data() + at, static_cast<size_t>(kEnumerationBufferSize - at));
        texts << QString::fromUtf8(buffer.data() + at, static_cast<qsizetype>(length));
        at += static_cast<int>(length) + 1;
    }
    return texts;
}

// LAN readers that pass the reader library's device-type check.
QStringList FindLanReaders() {
    return ReadMultiString(KQLMX_FindLanReadersEx);
}
bool LanReaderAnswers(const QString& reader) {
    return KQLMX_CheckLanReader(reader.toUtf8().constData()) > 0;
}

QStringList Enumerate(CPortDlg::Kind kind) {
    switch (kind) {
    case CPortDlg::KindCom:
        return ReadMultiString(KQLMX_EnumComPorts);
    case CPortDlg::KindUsb:
        return ReadMultiString(KQLMX_EnumUsbReaders);
    case CPortDlg::KindLan:
        return FindLanReaders();
    case CPortDlg::KindBluetooth:
        return ReadMultiString(KQLMX_EnumBluetoothPorts);
    }
    return {};
}

// A serial device (a COM name or a device path) that the list marks as one of the
// maker's readers in virtual COM mode.
bool IsVirtualComEntry(const QString& name) {
    const bool serial = name.startsWith(QLatin1String("COM")) || name.startsWith(QLatin1String("/dev/"));
    return serial && name.size() > 3 && name.indexOf(QLatin1String(" [Vek Virtual COM"), 4) >= 0;
}

// Where the maker's USB drivers are offered: the build setting KQ_DRIVER_PAGE_URL,
// overridden by the environment variable of the same name; empty when there is none.
QString DriverPageUrl() {
    return (qEnvironmentVariableIsSet("KQ_DRIVER_PAGE_URL") ? qEnvironmentVariable("KQ_DRIVER_PAGE_URL")
                                                            : QStringLiteral(KQ_DEFAULT_DRIVER_PAGE_URL))
        .trimmed();
}

// Tells which drivers are missing (`lines`, each ending in "\n") and, when there is a
// download page, offers to open it.
void OfferDriverDownload(QWidget* parent, const QString& lines) {
    const QString page = DriverPageUrl();
    if (page.isEmpty()) {
        ShowWarningBox(parent, lines);
        return;
    }
    const auto answer =
        QMessageBox::question(parent, KqString(IdsAppTitle),
                              BoxText(lines + KqString(IdsInstallDriverQuestion)) + QLatin1Char('\n'),
                              QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    QDesktopServices::openUrl(QUrl(page));
    WaitWithoutUserInput(2000);
}

} // namespace

CPortDlg::CPortDlg(QWidget* parent)
    : QDialog(parent), Name(ProfileSettings::ReadString(kSection, QStringLiteral("Name"))),
      Baudrate(ProfileSettings::ReadInt(kSection, QStringLiteral("Baudrate"), 19200)),
      Timeout(ProfileSettings::ReadInt(kSection, QStringLiteral("Timeout"), 1000)),
      EthernetAktiv(ProfileSettings::ReadInt(kSection, QStringLiteral("EthernetAktiv"), 0)),
      Adresse(ProfileSettings::ReadInt(kSection, QStringLiteral("Adresse"), 1)) {
    setWindowTitle(tr("Schnittstelle"));
    setObjectName(QStringLiteral("CPortDlg"));
    BuildControls();
    CheckStoredName();
    // A serial device the scan may not list: a pty, a /dev/serial/by-id link, a
    // device not plugged in yet. It stays in the list so that OK keeps it.
    if (!Name.startsWith(kUsbPrefix) && !Name.startsWith(kLanPrefix) && !Name.startsWith(kBluetoothPrefix))
        m_storedSerialName = Name;
}

CPortDlg::~CPortDlg() = default;

void CPortDlg::BuildControls() {
    m_portList = new QListWidget(this);
    m_portList->setObjectName(QStringLiteral("PortList"));
    m_portList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_portList->setMinimumWidth(m_portList->fontMetrics().horizontalAdvance(QStringLiteral("x")) * 44);

    m_ethernetCheck = new QCheckBox(tr("Ethernet aktivieren"), this);
    m_ethernetCheck->setObjectName(QStringLiteral("EthernetCheck"));
    m_ethernetCheck->setChecked(EthernetAktiv != 0);
    m_ipSearchButton = new QPushButton(tr("IP ?"), this);
    m_ipSearchButton->setObjectName(QStringLiteral("IpSearchButton"));
    m_ipSearchButton->setAutoDefault(false);

    m_hidModeButton = new QPushButton(tr("HID Mode"), this);
    m_hidModeButton->setObjectName(QStringLiteral("HidModeButton"));
    m_virtualComButton = new QPushButton(tr("Virtual Com"), this);
    m_virtualComButton->setObjectName(QStringLiteral("VirtualComButton"));
    for (QPushButton* button : {m_hidModeButton, m_virtualComButton}) {
        button->setCheckable(true); // pressed shows the reader's present mode
        button->setAutoDefault(false);
        button->setEnabled(false);
    }

    auto* group = new QGroupBox(tr("Schnittstelle auswählen"), this);
    auto* lanRow = new QHBoxLayout;
    lanRow->addWidget(m_ethernetCheck);
    lanRow->addWidget(m_ipSearchButton);
    lanRow->addStretch(1);
    lanRow->addWidget(m_hidModeButton);
    lanRow->addWidget(m_virtualComButton);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_portList, 1);
    groupLayout->addLayout(lanRow);

    m_baudCombo = new QComboBox(this);
    m_baudCombo->setObjectName(QStringLiteral("BaudCombo"));
    m_baudCombo->addItems(
        {QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200")});
    m_parityCombo = new QComboBox(this);
    m_parityCombo->setObjectName(QStringLiteral("ParityCombo"));
    m_parityCombo->addItems({tr("keine"), tr("gerade"), tr("ungerade")});
    m_stopBitsCombo = new QComboBox(this);
    m_stopBitsCombo->setObjectName(QStringLiteral("StopBitsCombo"));
    m_stopBitsCombo->addItems({QStringLiteral("1"), QStringLiteral("2")});

    m_timeoutEdit = new QLineEdit(QString::number(Timeout), this);
    m_timeoutEdit->setObjectName(QStringLiteral("TimeoutEdit"));
    PrepareIntField(m_timeoutEdit, kTimeoutMin, kTimeoutMax);
    m_adresseEdit = new QLineEdit(QString::number(Adresse), this);
    m_adresseEdit->setObjectName(QStringLiteral("AdresseEdit"));
    PrepareIntField(m_adresseEdit, kAdresseMin, kAdresseMax);
    for (QLineEdit* edit : {m_timeoutEdit, m_adresseEdit}) {
        edit->setMaxLength(6);
        edit->setAlignment(Qt::AlignRight);
    }

    auto* grid = new QGridLayout;
    const std::pair<QString, QWidget*> rows[] = {
        {tr("Baudrate"), m_baudCombo},
        {tr("Parität"), m_parityCombo},
        {tr("Stopbits:"), m_stopBitsCombo},
        {tr("Timeout in [ms]"), m_timeoutEdit},
        {tr("Geräteadresse [dez.]"), m_adresseEdit},
    };
    int row = 0;
    for (const auto& [label, field] : rows) {
        auto* text = new QLabel(label, this);
        text->setBuddy(field);
        grid->addWidget(text, row, 0);
        grid->addWidget(field, row++, 1);
    }

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setAutoDefault(false);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addLayout(grid);
    bottom->addStretch(1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(bottom);

    connect(m_portList, &QListWidget::itemSelectionChanged, this, &CPortDlg::OnSelChangePortList);
    connect(m_ethernetCheck, &QCheckBox::clicked, this, &CPortDlg::OnEthernetClicked);
    connect(m_ipSearchButton, &QPushButton::clicked, this, &CPortDlg::OnIpSearch);
    connect(m_hidModeButton, &QPushButton::clicked, this, &CPortDlg::OnHidMode);
    connect(m_virtualComButton, &QPushButton::clicked, this, &CPortDlg::OnVirtualCom);
    connect(ok, &QPushButton::clicked, this, &CPortDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPortDlg::reject);
}

void CPortDlg::SetDeviceMonitor(std::unique_ptr<DeviceChangeMonitor> monitor) {
    m_monitor = std::move(monitor);
    if (m_monitor)
        connect(m_monitor.get(), &DeviceChangeMonitor::DeviceChanged, this, &CPortDlg::OnDeviceChange);
}

QString CPortDlg::GetOpenName() const {
    QString name = Name;
    for (const QString& prefix : {kUsbPrefix, kLanPrefix, kBluetoothPrefix}) {
        if (name.startsWith(prefix)) {
            name.remove(0, prefix.size());
            break;
        }
    }
    return name + QLatin1Char(':') + QString::number(Adresse);
}

bool CPortDlg::IsHidReaderOfKnownFamily(const QString& name) {
    if (name.indexOf(QLatin1String(" HID")) <= 0) return false;
    for (const char* family : kModeSwitchFamilies) {
        if (name.indexOf(QLatin1String(family)) > 0) return true;
    }
    return false;
}

bool CPortDlg::NameMatchesEntry(const QString& name, const QString& entry) {
    if (name.isEmpty()) return false;
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return true;
    return entry.startsWith(name + QLatin1String(" ["), Qt::CaseInsensitive) &&
           entry.endsWith(QLatin1Char(']'));
}

QStringList& CPortDlg::ListOf(Kind kind) {
    switch (kind) {
    case KindUsb:
        return m_usbReaders;
    case KindLan:
        return m_lanReaders;
    case KindBluetooth:
        return m_bluetoothReaders;
    case KindCom:
        break;
    }
    return m_comPorts;
}

bool CPortDlg::RefreshPortList(Kind kind) {
    QStringList fresh = Enumerate(kind);
    QStringList& list = ListOf(kind);
    if (fresh == list) return false;
    list = std::move(fresh);
    return true;
}

void CPortDlg::CheckStoredName() {
    struct StoredKind {
        const QString& prefix;
        Kind kind;
        bool& flag;
    };
    const StoredKind kinds[] = {{kUsbPrefix, KindUsb, IsUsb},
                                {kLanPrefix, KindLan, IsLan},
                                {kBluetoothPrefix, KindBluetooth, IsBluetooth}};
    for (const StoredKind& k : kinds) {
        if (!Name.startsWith(k.prefix)) continue;
        const QString reader = Name.mid(k.prefix.size());
        if (k.kind == KindLan) {
            if (!EthernetAktiv) return;
            if (LanReaderAnswers(reader)) {
                IsLan = true;
                return;
            }
        }
        RefreshPortList(k.kind);
        const QStringList& attached = ListOf(k.kind);
        k.flag = !attached.isEmpty();
        if (attached.contains(reader)) return;
        Name = attached.isEmpty() ? QString() : k.prefix + attached.first();
        ProfileSettings::WriteString(kSection, QStringLiteral("Name"), Name);
        return;
    }
}

void CPortDlg::FillPortList() {
    const QSignalBlocker quiet(m_portList); // the user did not pick anything
    m_portList->clear();
    for (QString port : m_comPorts) {
        if (port.startsWith(QLatin1String("\\\\.\\"))) port.remove(0, 4);
        m_portList->addItem(port);
    }
    if (!m_storedSerialName.isEmpty() &&
        !std::any_of(m_comPorts.begin(), m_comPorts.end(),
                     [this](const QString& port) { return NameMatchesEntry(m_storedSerialName, port); }))
        m_portList->addItem(m_storedSerialName);
    for (const QString& reader : m_usbReaders)
        m_portList->addItem(kUsbPrefix + reader);
    for (const QString& reader : m_lanReaders)
        m_portList->addItem(kLanPrefix + reader);
    for (const QString& reader : m_bluetoothReaders)
        m_portList->addItem(kBluetoothPrefix + reader);
}

bool CPortDlg::SelectName() {
    for (int row = 0; row < m_portList->count(); ++row) {
        if (NameMatchesEntry(Name, m_portList->item(row)->text())) {
            const QSignalBlocker quiet(m_portList);
            m_portList->setCurrentRow(row);
            return true;
        }
    }
    return false;
}

QString CPortDlg::SelectedText() const {
    const QList<QListWidgetItem*> selected = m_portList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void CPortDlg::SetKindFromName() {
    IsUsb = Name.startsWith(kUsbPrefix);
    IsLan = Name.startsWith(kLanPrefix);
    IsBluetooth = Name.startsWith(kBluetoothPrefix);
}

void CPortDlg::EnableLineCombos() {
    // Only a serial device runs at the chosen rate; every other link runs at 19200.
    const bool serial = !IsUsb && !IsLan && !IsBluetooth;
    for (QComboBox* combo : {m_baudCombo, m_parityCombo, m_stopBitsCombo})
        combo->setEnabled(serial);
}

void CPortDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) OnInitDialog();
}

void CPortDlg::hideEvent(QHideEvent* event) {
    if (m_timerId) killTimer(m_timerId);
    m_timerId = 0;
    m_followUpCount = 0;
    QDialog::hideEvent(event);
}

void CPortDlg::OnInitDialog() {
    // Rate and line code; codes outside 0..3 count as 0.
    const int rate = Baudrate - Baudrate % 100;
    int code = Baudrate % 100;
    if (code < 0 || code > 3) code = 0;
    m_parityCombo->setCurrentIndex(code == 1 || code == 2 ? code : 0);
    m_stopBitsCombo->setCurrentIndex(code == 3 ? 1 : 0);
    m_baudCombo->setCurrentIndex(m_baudCombo->findText(QString::number(rate), Qt::MatchExactly));

    if (!EthernetAktiv)
        m_lanReaders.clear();
    else if (m_lanReaders.isEmpty())
        RefreshPortList(KindLan);
    for (Kind kind : {KindBluetooth, KindUsb, KindCom}) {
        if (ListOf(kind).isEmpty()) RefreshPortList(kind);
    }
    FillPortList();

    if (!SelectName()) {
        if (m_portList->count() == 1) {
            const QSignalBlocker quiet(m_portList);
            m_portList->setCurrentRow(0);
            Name = m_portList->item(0)->text();
        } else {
            Name.clear();
        }
    }
    SetKindFromName();
    EnableLineCombos();
    UpdateModeButtons(Name);
    m_ipSearchButton->setVisible(EthernetAktiv != 0);
    setMinimumSize(size());

    if (!m_monitor) SetDeviceMonitor(DeviceChangeMonitor::CreateSystemMonitor());
    PostRescan();
}

void CPortDlg::PostRescan() {
    QTimer::singleShot(0, this, [this] { OnDeviceChange(kRescanRequest); });
}

void CPortDlg::StartFollowUpTimer() {
    if (m_timerId) killTimer(m_timerId);
    m_timerId = startTimer(kFollowUpMs);
}

void CPortDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timerId) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(m_timerId);
    m_timerId = 0;
    PostRescan();
}

void CPortDlg::OnDeviceChange(int event) {
    // Devices are only looked at while the dialog is open.
    if (g_deviceChangeBusy || !isVisible()) return;
    g_deviceChangeBusy = true;
    const bool rescan = event == DeviceChangeMonitor::DeviceArrival ||
                        event == DeviceChangeMonitor::DevNodesChanged || event == kRescanRequest;
    for (int pass = 1; pass <= 2; ++pass) {
        if (rescan) {
            bool changed = false;
            if (EthernetAktiv) {
                changed = RefreshPortList(KindLan);
            } else if (!m_lanReaders.isEmpty()) {
                m_lanReaders.clear();
                changed = true;
            }
            for (Kind kind : {KindBluetooth, KindUsb, KindCom})
                changed = RefreshPortList(kind) || changed;
            if (changed) FillPortList();
        }
        SelectName();
        // A missing driver may have been installed meanwhile: one more look.
        if (pass == 2 || CheckUsbDrivers()) break;
    }
    g_deviceChangeBusy = false;
    UpdateModeButtons(Name);

    // An arrival is followed by four more scans a second apart (five in all): a reader
    // that changed its USB mode takes a while to show up again. The counter holds the
    // follow-up scans started so far.
    if (event == DeviceChangeMonitor::DeviceArrival || event == DeviceChangeMonitor::DevNodesChanged) {
        StartFollowUpTimer();
        m_followUpCount = 1;
    } else if (m_followUpCount >= 1 && m_followUpCount < kFollowUpRescans) {
        StartFollowUpTimer();
        ++m_followUpCount;
    } else {
        m_followUpCount = 0;
    }
}

bool CPortDlg::CheckUsbDrivers() {
    const int flags = KQLMX_CountUsbReaders();
    // Each missing driver is told once while it stays missing, not at every scan.
    const int untold = flags & ~m_missingDriverFlags;
    m_missingDriverFlags = flags;
    if (flags == 0) return true;
    if (untold) {
        QString lines;
        if (flags & 1) lines += KqString(IdsNoDriverLmx34) + QLatin1Char('\n');
        if (flags & 2) lines += KqString(IdsNoDriverLmx38Vcom) + QLatin1Char('\n');
        OfferDriverDownload(this, lines);
    }
    return false;
}

void CPortDlg::UpdateModeButtons(const QString& name) {
    const bool hid = name.startsWith(kUsbPrefix) && IsHidReaderOfKnownFamily(name);
    const bool virtualCom = !hid && IsVirtualComEntry(name);
    m_hidModeButton->setEnabled(hid || virtualCom);
    m_hidModeButton->setChecked(hid);
    m_virtualComButton->setEnabled(hid || virtualCom);
    m_virtualComButton->setChecked(virtualCom);
}

void CPortDlg::OnSelChangePortList() {
    const QString selected = SelectedText();
    if (selected.isNull()) {
        UpdateModeButtons(QString());
        return;
    }
    Name = selected;
    SetKindFromName();
    EnableLineCombos();
    UpdateModeButtons(Name);
}

void CPortDlg::OnIpSearch() {
    if (!EthernetAktiv) return;
    CIPAddrSuche search(this);
    search.exec();
    const QString chosen = search.ChosenReader;
    if (!chosen.isEmpty()) {
        // A reader named by its device name is kept by that name alone.
        const qsizetype close = chosen.indexOf(QLatin1Char(']'));
        Name = kLanPrefix + (close > 0 ? chosen.left(close + 1) : chosen);
    }
    PostRescan();
}

void CPortDlg::OnEthernetClicked() {
    EthernetAktiv = m_ethernetCheck->isChecked() ? 1 : 0;
    PostRescan();
    m_ipSearchButton->setVisible(EthernetAktiv != 0);
}

// Switches a reader in virtual COM mode to HID: it leaves as a serial device and comes
// back as a USB reader.
void CPortDlg::OnHidMode() {
    CBusyGuard busy;
    const QString selected = SelectedText();
    if (!selected.isNull()) {
        Name = selected;
        if (IsVirtualComEntry(Name)) {
            const int port = KQLMX_OpenPort(Name.toUtf8().constData(), 19200, 100);
            if (port >= 1) {
                KQLMX_SetUsbMode(port, 1);
                KQLMX_SetOutputs(port, 0, 0);
                KQLMX_ClosePort(port);
                Name.clear();
                WaitWithoutUserInput(1000);
            }
        }
    }
    UpdateModeButtons(Name);
}

// Switches a HID reader to virtual COM mode.
void CPortDlg::OnVirtualCom() {
    CBusyGuard busy;
    const QString selected = SelectedText();
    if (!selected.isNull()) {
        Name = selected;
        if (Name.startsWith(kUsbPrefix) && IsHidReaderOfKnownFamily(Name)) {
            if (KQLMX_IsVirtualComDriverInstalled()) {
                const int port = KQLMX_OpenPort(Name.mid(kUsbPrefix.size()).toUtf8().constData(), 19200, 100);
                if (port > 0) {
                    KQLMX_SetUsbMode(port, 2);
                    KQLMX_SetOutputs(port, 0, 0);
                    KQLMX_ClosePort(port);
                    Name.clear();
                    WaitWithoutUserInput(1000);
                }
            } else {
                OfferDriverDownload(this, KqString(IdsNoDriverLmx38Vcom) + QLatin1Char('\n'));
            }
        }
    }
    UpdateModeButtons(Name);
}

void CPortDlg::accept() {
    int timeout = Timeout;
    int adresse = Adresse;
    if (!ExchangeIntField(this, m_timeoutEdit, timeout, kTimeoutMin, kTimeoutMax)) return;
    if (!ExchangeIntField(this, m_adresseEdit, adresse, kAdresseMin, kAdresseMax)) return;
    Timeout = timeout;
    Adresse = adresse;
    EthernetAktiv = m_ethernetCheck->isChecked() ? 1 : 0;

    const QString selected = SelectedText();
    if (!selected.isNull()) {
        Name = selected;
        ProfileSettings::WriteString(kSection, QStringLiteral("Name"), Name);
        SetKindFromName();
    }
    if (m_baudCombo->currentIndex() >= 0) {
        int value = m_baudCombo->currentText().toInt();
        const int parity = m_parityCombo->currentIndex();
        if (parity == 1 || parity == 2)
            value += parity;
        else if (parity == 0 && m_stopBitsCombo->currentIndex() == 1)
            value += 3;
        Baudrate = value;
        ProfileSettings::WriteInt(kSection, QStringLiteral("Baudrate"), Baudrate);
    }
    ProfileSettings::WriteInt(kSection, QStringLiteral("Timeout"), Timeout);
    ProfileSettings::WriteInt(kSection, QStringLiteral("Adresse"), Adresse);
    ProfileSettings::WriteInt(kSection, QStringLiteral("EthernetAktiv"), EthernetAktiv);
    QDialog::accept();
}
