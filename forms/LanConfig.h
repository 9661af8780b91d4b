#pragma once

#include <QDialog>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// The LAN configuration dialog "LAN Einstellung" for one reader: its address mode
// (DHCP, reached by its device name, or a fixed address), TCP port, subnet mask and
// gateway, read from the reader's network module when the dialog opens and written
// back on OK, after which the dialog waits (up to 25 s, with a progress bar) for the
// reader to answer at its new address.
class CLanConfig : public QDialog {
    Q_OBJECT
public:
    static constexpr int kReappearWaitMs = 25000;

    // `reader`: the text by which the reader library reaches the reader.
    explicit CLanConfig(const QString& reader, QWidget* parent = nullptr);

    int TcpPort = 10001;
    QString DhcpName;     // the module's device name: up to 15 bytes of UTF-8, no '[' or ']'
    int AddressMode = -1; // 0 DHCP, 1 fixed address, -1 before the first reading
    QString ReaderText;

    QLineEdit* AddressEdit() const { return m_address; }
    QLineEdit* MaskEdit() const { return m_mask; }
    QLineEdit* GatewayEdit() const { return m_gateway; }
    QLineEdit* DhcpNameEdit() const { return m_dhcpName; }
    QLineEdit* DhcpPortEdit() const { return m_dhcpPort; }
    QLineEdit* FixedPortEdit() const { return m_fixedPort; }
    QRadioButton* DhcpRadio() const { return m_dhcpRadio; }
    QRadioButton* FixedRadio() const { return m_fixedRadio; }
    QProgressBar* Progress() const { return m_progress; }

public slots:
    void accept() override; // OK: write and wait

private:
    void ReadConfiguration();
    // Fields -> members (false at the first refused field) or members -> fields; then
    // the fields of the chosen mode are enabled.
    bool UpdateData(bool save);
    void EnableModeFields();
    void ShowWriting(bool writing);

    QRadioButton* m_dhcpRadio;
    QRadioButton* m_fixedRadio;
    QLineEdit* m_dhcpName;
    QLineEdit* m_dhcpPort;
    QLineEdit* m_address;
    QLineEdit* m_fixedPort;
    QLineEdit* m_mask;
    QLineEdit* m_gateway;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QProgressBar* m_progress;
    QString m_addressText, m_maskText, m_gatewayText;
};
