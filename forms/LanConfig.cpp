#include "forms/LanConfig.h"

#include "app/BusyGuard.h"
#include "app/WarningBox.h"
#include "forms/DialogDataExchange.h"
#include "kqlmx.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QVBoxLayout>

namespace {

constexpr int kPortMin = 1;
constexpr int kPortMax = 65535;
constexpr int kDhcpNameMax = 16; // the module holds 16 characters

QLineEdit* AddressField(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    static const QRegularExpression dotted(
        QStringLiteral(R"(^((25[0-5]|2[0-4]\d|1?\d?\d)\.){0,3}(25[0-5]|2[0-4]\d|1?\d?\d)?$)"));
    edit->setValidator(new QRegularExpressionValidator(dotted, edit));
    edit->setMaxLength(15);
    return edit;
}

QLineEdit* PortField(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    PrepareIntField(edit, kPortMin, kPortMax);
    edit->setMaxLength(5);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

// A dotted address of four parts that is set and is not 0.0.0.0. The address parse
// alone also takes short forms ("192.168.1" as 192.168.0.1, "127.20"), which the field
// lets through while it is typed: the reader library refuses them, and the user would
// be told only that the write failed, the typed settings replaced by the module's.
bool IsUsableAddress(const QString& text) {
    const QString dotted = text.trimmed();
    QHostAddress address;
    return dotted.count(QLatin1Char('.')) == 3 && address.setAddress(dotted) &&
           address.protocol() == QHostAddress::IPv4Protocol && address.toIPv4Address() != 0;
}

} // namespace

CLanConfig::CLanConfig(const QString& reader, QWidget* parent) : QDialog(parent), ReaderText(reader) {
    setWindowTitle(tr("LAN Einstellung"));
    setObjectName(QStringLiteral("CLanConfig"));

    m_dhcpRadio = new QRadioButton(tr("IP Adresse automatisch beziehen"), this);
    m_dhcpRadio->setObjectName(QStringLiteral("1251"));
    m_fixedRadio = new QRadioButton(tr("Folgende IP Adresse verwenden"), this);
    m_fixedRadio->setObjectName(QStringLiteral("1252"));
    m_dhcpName = new QLineEdit(this);
    m_dhcpName->setObjectName(QStringLiteral("1247"));
    m_dhcpName->setMaxLength(kDhcpNameMax);
    m_dhcpPort = PortField(this, "1248");
    m_address = AddressField(this, "1243");
    m_fixedPort = PortField(this, "1246");
    m_mask = AddressField(this, "1244");
    m_gateway = AddressField(this, "1245");

    m_ok = new QPushButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(tr("Abbrechen"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("1253"));
    m_progress->setOrientation(Qt::Vertical);
    m_progress->setTextVisible(false);
    // The dialog keeps its size while buttons and bar swap places.
    for (QWidget* widget : std::initializer_list<QWidget*>{m_ok, m_cancel, m_progress}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    m_progress->hide();

    auto* grid = new QGridLayout;
    grid->addWidget(m_dhcpRadio, 0, 0, 1, 4);
    grid->addWidget(new QLabel(tr("DHCP Name:"), this), 1, 0);
    grid->addWidget(m_dhcpName, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("-"), this), 1, 2);
    grid->addWidget(m_dhcpPort, 1, 3);
    grid->addWidget(m_fixedRadio, 2, 0, 1, 4);
    grid->addWidget(new QLabel(tr("IP-Adresse:"), this), 3, 0);
    grid->addWidget(m_address, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("-"), this), 3, 2);
    grid->addWidget(m_fixedPort, 3, 3);
    grid->addWidget(new QLabel(tr("Subnetzmaske:"), this), 4, 0);
    grid->addWidget(m_mask, 4, 1);
    grid->addWidget(new QLabel(tr("Gateway:"), this), 5, 0);
    grid->addWidget(m_gateway, 5, 1);
    grid->setColumnMinimumWidth(
        1, m_address->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000")) + 16);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    auto* side = new QHBoxLayout;
    side->addLayout(buttons);
    side->addWidget(m_progress);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addSpacing(8);
    layout->addLayout(side);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_ok, &QPushButton::clicked, this, &CLanConfig::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CLanConfig::reject);
    connect(m_dhcpRadio, &QRadioButton::clicked, this, [this] {
        AddressMode = 0;
        EnableModeFields();
    });
    connect(m_fixedRadio, &QRadioButton::clicked, this, [this] {
        AddressMode = 1;
        EnableModeFields();
    });

    ReadConfiguration();
}

void CLanConfig::ReadConfiguration() {
    char name[32] = {}, address[32] = {}, mask[32] = {}, gateway[32] = {};
    const QByteArray reader = ReaderText.toUtf8();
    if (KQLMX_ReadLanConfig(reader.constData(), name, address, mask, gateway) >= 0) {
        const QString addressText = QString::fromUtf8(address);
        const QString nameText = QString::fromUtf8(name);
        if (!addressText.isEmpty()) {
            AddressMode = 1;
            const qsizetype dash = addressText.indexOf(QLatin1Char('-'));
            TcpPort = dash >= 0 ? addressText.mid(dash + 1).toInt() : 10001;
            m_addressText = dash >= 0 ? addressText.left(dash) : addressText;
        } else {
            AddressMode = 0;
            TcpPort = 10001;
            m_addressText.clear();
        }
        const qsizetype open = nameText.indexOf(QLatin1Char('[')), close = nameText.indexOf(QLatin1Char(']'));
        if (open == 0 && close > 0) {
            DhcpName = nameText.mid(1, close - 1);
            if (AddressMode == 0 && nameText.mid(close + 1).startsWith(QLatin1Char('-')))
                TcpPort = nameText.mid(close + 2).toInt();
        } else {
            DhcpName = nameText;
        }
        m_maskText = QString::fromUtf8(mask);
        m_gatewayText = QString::fromUtf8(gateway);
    }
    UpdateData(false);
}

bool CLanConfig::UpdateData(bool save) {
    if (!save) {
        m_dhcpName->setText(DhcpName);
        m_dhcpPort->setText(QString::number(TcpPort));
        m_fixedPort->setText(QString::number(TcpPort));
        m_address->setText(m_addressText);
        m_mask->setText(m_maskText);
        m_gateway->setText(m_gatewayText);
        m_dhcpRadio->setChecked(AddressMode == 0);
        m_fixedRadio->setChecked(AddressMode == 1);
        m_ok->setEnabled(AddressMode == 0 || AddressMode == 1); // until a mode is chosen
        EnableModeFields();
        return true;
    }
    int port = TcpPort;
    if (AddressMode == 0) {
        // The name counts only where it is used.
        if (m_dhcpName->text().size() > kDhcpNameMax) return false;
        if (!ExchangeIntField(this, m_dhcpPort, port, kPortMin, kPortMax)) return false;
        DhcpName = m_dhcpName->text();
    } else if (AddressMode == 1) {
        if (!ExchangeIntField(this, m_fixedPort, port, kPortMin, kPortMax)) return false;
    } else {
        return false; // no address mode chosen yet
    }
    TcpPort = port;
    m_addressText = m_address->text();
    m_maskText = m_mask->text();
    m_gatewayText = m_gateway->text();
    EnableModeFields();
    return true;
}

void CLanConfig::EnableModeFields() {
    if (AddressMode != 0 && AddressMode != 1) return;
    const bool dhcp = AddressMode == 0;
    m_dhcpName->setEnabled(dhcp);
    m_dhcpPort->setEnabled(dhcp);
    m_address->setEnabled(!dhcp);
    m_fixedPort->setEnabled(!dhcp);
    m_ok->setEnabled(true);
}

void CLanConfig::ShowWriting(bool writing) {
    setEnabled(!writing);
    m_ok->setVisible(!writing);
    m_cancel->setVisible(!writing);
    m_progress->setVisible(writing);
}

void CLanConfig::accept() {
    if (!UpdateData(true)) return;
    QString text;
    if (AddressMode == 1) {
        if (!IsUsableAddress(m_address->text())) {
            ShowWarningBox(this, KqString(IdsValidIpAddress));
            m_address->setFocus();
            return;
        }
        text = m_address->text().trimmed();
    } else {
        text = QLatin1Char('[') + DhcpName + QLatin1Char(']');
    }
    text += QLatin1Char('-') + QString::number(TcpPort);
    const QByteArray mask = m_mask->text().trimmed().toUtf8();
    const QByteArray gateway = m_gateway->text().trimmed().toUtf8();

    ShowWriting(true);
    m_progress->setRange(0, kReappearWaitMs);
    m_progress->setValue(0);
    CBusyGuard busy;
    const QByteArray reader = ReaderText.toUtf8();
    const QByteArray newText = text.toUtf8();
    if (KQLMX_WriteLanConfig(reader.constData(), newText.constData(), mask.constData(),
                             gateway.constData()) != 0) {
        ShowWarningBox(this, KqString(IdsLanConfigFailed));
        ReadConfiguration();
        ShowWriting(false);
        return;
    }
    ReaderText = text;
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < kReappearWaitMs) {
        m_progress->setValue(static_cast<int>(elapsed.elapsed()));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (KQLMX_CheckLanReader(newText.constData()) > 0) break;
        QThread::msleep(100);
    }
    ShowWriting(false);
    QDialog::accept();
}
