#pragma once

#include "app/ProfileSettings.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class DeviceChangeMonitor;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// The interface dialog "Schnittstelle": the user picks the reader connection (a serial
// device, a USB reader, a LAN reader or a Bluetooth reader), switches a USB reader
// between its HID and virtual COM modes, and sets the baud rate with parity and stop
// bits, the answer time-out and the reader's device address. The settings live in the
// section "Port": "Name", "Baudrate", "Timeout", "EthernetAktiv", "Adresse".
//
// Constructing the dialog reads those settings (and re-checks a stored USB, LAN or
// Bluetooth name against what is attached, storing a corrected name); callers that
// only want the settings construct it without showing it and read the members or
// GetOpenName(). exec() shows it modally: OK stores the settings and answers
// QDialog::Accepted; Cancel stores nothing. Needs a QApplication.
//
// List entries: serial devices as the reader library lists them ("/dev/ttyACM0 [Vek
// Virtual COM]"), then "USB: " + each USB reader, "LAN: " + each LAN reader and
// "Bluetooth: " + each Bluetooth reader. A stored serial device that the scan does not
// find (a pty, a /dev/serial/by-id link, a device not plugged in) is listed after the
// serial devices and stays selected. While it is shown the dialog looks again
// whenever a device comes or goes, and four more times a second apart after an arrival.
class CPortDlg : public QDialog {
    Q_OBJECT
public:
    // Kinds of list entries (RefreshPortList).
    enum Kind { KindCom = 0, KindUsb = 1, KindLan = 2, KindBluetooth = 3 };
    // Events of OnDeviceChange besides those of DeviceChangeMonitor: the dialog's own
    // request to look again.
    static constexpr int kRescanRequest = 24;

    // The ranges OK accepts.
    static constexpr int kTimeoutMin = ProfileSettings::kPortTimeoutMin;
    static constexpr int kTimeoutMax = ProfileSettings::kPortTimeoutMax;
    static constexpr int kAdresseMin = 1;
    static constexpr int kAdresseMax = 255;

    explicit CPortDlg(QWidget* parent = nullptr);
    ~CPortDlg() override;

    // The name for KQLMX_OpenPort: Name without its "USB: ", "LAN: " or "Bluetooth: "
    // prefix, then ":" and Adresse ("/dev/ttyUSB0:1", "1460-0001 HID:3"; ":1" when no
    // port is chosen). The baud value is Baudrate, the time-out Timeout.
    QString GetOpenName() const;

    // The settings; after OK they hold what was stored.
    QString Name;      // the chosen entry as the list shows it, with its kind prefix
    int Baudrate;      // rate + line code: 0 none/1 stop bit, 1 even, 2 odd, 3 none/2 stop bits
    int Timeout;       // answer time-out in ms, 10..300000
    int EthernetAktiv; // 0/1: LAN readers are looked for
    int Adresse;       // the reader's device address, 1..255
    // The kind of Name: at most one is set; none means a serial device.
    bool IsUsb = false;
    bool IsLan = false;
    bool IsBluetooth = false;

    // The source of device changes while the dialog is shown; set before showing it.
    // Without one, the system's monitor is taken when the dialog is first shown.
    void SetDeviceMonitor(std::unique_ptr<DeviceChangeMonitor> monitor);

    // A USB entry of a HID reader whose model can switch its USB mode.
    static bool IsHidReaderOfKnownFamily(const QString& name);
    // Whether a stored name picks this list entry: the same text, or the text followed
    // by a description hint " [...]" (letter case ignored). "/dev/ttyUSB1" never
    // picks "/dev/ttyUSB10", "COM1" never "COM10".
    static bool NameMatchesEntry(const QString& name, const QString& entry);

    // The controls, for tests.
    QListWidget* PortList() const { return m_portList; }
    QComboBox* BaudCombo() const { return m_baudCombo; }
    QComboBox* ParityCombo() const { return m_parityCombo; }
    QComboBox* StopBitsCombo() const { return m_stopBitsCombo; }
    QLineEdit* TimeoutEdit() const { return m_timeoutEdit; }
    QLineEdit* AdresseEdit() const { return m_adresseEdit; }
    QCheckBox* EthernetCheck() const { return m_ethernetCheck; }
    // Opens the LAN search (shown with "Ethernet aktivieren").
    QPushButton* IpSearchButton() const { return m_ipSearchButton; }
    QPushButton* HidModeButton() const { return m_hidModeButton; }
    QPushButton* VirtualComButton() const { return m_virtualComButton; }

public slots:
    void accept() override; // OK

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private slots:
    void OnDeviceChange(int event);
    void OnSelChangePortList();
    void OnEthernetClicked();
    void OnIpSearch();
    void OnHidMode();
    void OnVirtualCom();

private:
    void BuildControls();
    void OnInitDialog();
    // Re-checks a stored USB, LAN or Bluetooth name against the attached readers.
    void CheckStoredName();
    // Enumerates one kind into its list; true when the list changed.
    bool RefreshPortList(Kind kind);
    QStringList& ListOf(Kind kind);
    void FillPortList();
    // Selects the entry Name picks; false when none does.
    bool SelectName();
    void SetKindFromName();
    void EnableLineCombos();
    void UpdateModeButtons(const QString& name);
    // True when no attached USB reader lacks its driver; else tells the user.
    bool CheckUsbDrivers();
    void PostRescan();
    void StartFollowUpTimer();
    QString SelectedText() const;

    QListWidget* m_portList;
    QComboBox* m_baudCombo;
    QComboBox* m_parityCombo;
    QComboBox* m_stopBitsCombo;
    QLineEdit* m_timeoutEdit;
    QLineEdit* m_adresseEdit;
    QCheckBox* m_ethernetCheck;
    QPushButton* m_ipSearchButton;
    QPushButton* m_hidModeButton;
    QPushButton* m_virtualComButton;

    std::unique_ptr<DeviceChangeMonitor> m_monitor;
    bool m_initialized = false;
    int m_timerId = 0;            // the follow-up rescan timer, 0 when none runs
    int m_followUpCount = 0;      // follow-up rescans after the last arrival
    int m_missingDriverFlags = 0; // the missing drivers the user was last told about

    // The stored serial device name, listed even when the scan does not find it.
    QString m_storedSerialName;
    // The last enumeration of each kind.
    QStringList m_comPorts;
    QStringList m_usbReaders;
    QStringList m_lanReaders;
    QStringList m_bluetoothReaders;
};
