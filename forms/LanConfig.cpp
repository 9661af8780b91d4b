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
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QVBoxLayout>

#include <optional>
#include <utility>

namespace {

constexpr int kPortMin = 1;
constexpr int kPortMax = 65535;
// The module holds the name in 16 bytes with its end mark: 15 bytes of UTF-8 text.
constexpr int kDhcpNameBytes = 15;
// Up to 16 characters are shown, so that a name the module holds is never cut
// before the user has seen it; OK checks its bytes.
constexpr int kDhcpNameShown = 16;

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

// Four dotted decimal octets of 0-255, in the form the module is given
// ("010.1.1.1" as 10.1.1.1); nothing for anything else. The address check of the
// platform reads "127.20" as 127.0.0.20, which is not what the user meant.
std::optional<QString> NormalisedAddress(const QString& text) {
    const QStringList octets = text.trimmed().split(QLatin1Char('.'));
    if (octets.size() != 4) return std::nullopt;
    QStringList normalised;
    for (const QString& octet : octets) {
        if (octet.isEmpty() || octet.size() > 3) return std::nullopt;
        for (QChar c : octet)
            if (c < u'0' || c > u'9') return std::nullopt;
        const int value = octet.toInt();
        if (value > 255) return std::nullopt;
        normalised << QString::number(value);
    }
    return normalised.join(QLatin1Char('.'));
}

// A name the module can hold and the reader text "[name]-port" can carry: the
// module is found again by it, so it is not empty; ':' would begin the reader
// text's device address.
bool IsUsableDhcpName(const QString& name) {
    const qsizetype bytes = name.toUtf8().size();
    return bytes > 0 && bytes <= kDhcpNameBytes && !name.contains(QLatin1Char('[')) &&
           !name.contains(QLatin1Char(']')) && !name.contains(QLatin1Char(':'));
}

// A subnet mask the module can hold: it keeps only the count of host bits, so the
// ones must run from the top without a gap ("255.0.255.0" would become
// 255.255.255.0). 0.0.0.0, which a module with no mask shows, keeps its own.
bool IsHoldableMask(const QString& dotted) {
    quint32 mask = 0;
    for (const QString& octet : dotted.split(QLatin1Char('.')))
        mask = mask << 8 | octet.toUInt();
    const quint32 hostBits = ~mask;
    return (hostBits & (hostBits + 1)) == 0;
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
    m_dhcpName->setMaxLength(kDhcpNameShown);
    m_dhcpName->setMinimumWidth(m_dhcpName->fontMetrics().horizontalAdvance(QString(kDhcpNameShown, u'W')) +
                                16);
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
        if (!IsUsableDhcpName(m_dhcpName->text())) {
            ShowWarningBox(this, tr("Der DHCP Name muss 1 bis %1 Byte lang sein (ein Umlaut zählt zwei) "
                                    "und darf weder '[' noch ']' noch ':' enthalten.")
                                     .arg(kDhcpNameBytes));
            m_dhcpName->setFocus(Qt::OtherFocusReason);
            m_dhcpName->selectAll();
            return false;
        }
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
    // Each address goes to the module as four dotted octets or not at all; an empty
    // mask or gateway keeps the module's own.
    QString text, mask, gateway;
    const auto refuse = [this](QLineEdit* field) {
        ShowWarningBox(this, KqString(IdsValidIpAddress));
        field->setFocus(Qt::OtherFocusReason);
    };
    if (AddressMode == 1) {
        const std::optional<QString> address = NormalisedAddress(m_address->text());
        if (!address || *address == QLatin1String("0.0.0.0")) {
            refuse(m_address);
            return;
        }
        text = *address;
    } else {
        text = QLatin1Char('[') + DhcpName + QLatin1Char(']');
    }
    text += QLatin1Char('-') + QString::number(TcpPort);
    for (auto [field, out] : {std::pair{m_mask, &mask}, std::pair{m_gateway, &gateway}}) {
        if (field->text().trimmed().isEmpty()) continue;
        const std::optional<QString> address = NormalisedAddress(field->text());
        if (!address || (field == m_mask && !IsHoldableMask(*address))) {
            refuse(field);
            return;
        }
        *out = *address;
    }

    ShowWriting(true);
    m_progress->setRange(0, kReappearWaitMs);
    m_progress->setValue(0);
    CBusyGuard busy;
    const QByteArray reader = ReaderText.toUtf8();
    const QByteArray newText = text.toUtf8();
    if (KQLMX_WriteLanConfig(reader.constData(), newText.constData(), mask.toUtf8().constData(),
                             gateway.toUtf8().constData()) != 0) {
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
