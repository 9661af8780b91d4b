#include "forms/SetDesfireKeysDlg.h"

#include "app/KeyStore.h"
#include "forms/KeyStoreDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CSetDesfireKeysDlg::CSetDesfireKeysDlg(int port, QWidget* parent)
    : QDialog(parent), Port(port), m_key(new QLineEdit(this)), m_status(CreateStatusEdit(this, 1268)) {
    setObjectName(QStringLiteral("CSetDesfireKeysDlg"));
    setWindowTitle(tr("Passwort setzen"));
    m_key->setObjectName(QStringLiteral("1275"));
    m_key->setMinimumWidth(m_key->fontMetrics().horizontalAdvance(QString(34, u'F')));

    auto* prompt = new QLabel(tr("Schlüssel für den Schutz (0-16 Byte, Auffüllung mit 0):"), this);
    prompt->setObjectName(QStringLiteral("1263"));
    auto* load = new QPushButton(tr("Laden"), this);
    load->setObjectName(QStringLiteral("1267"));
    load->setAutoDefault(false);
    auto* set = new QPushButton(tr("Setzen"), this);
    set->setObjectName(QStringLiteral("1274"));
    set->setDefault(true);
    auto* close = new QPushButton(tr("Schließen"), this);
    close->setObjectName(QStringLiteral("2"));
    connect(load, &QPushButton::clicked, this, [this] { LoadKeyFromStore(this, m_key, m_status); });
    connect(set, &QPushButton::clicked, this, &CSetDesfireKeysDlg::OnSet);
    connect(close, &QPushButton::clicked, this, &CSetDesfireKeysDlg::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(prompt, 0, 0, 1, 3);
    grid->addWidget(m_key, 1, 0, 1, 2);
    grid->addWidget(load, 1, 2);
    grid->addWidget(new QLabel(tr("Status:"), this), 2, 0);
    grid->addWidget(m_status, 2, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(set);
    buttons->addWidget(close);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    m_key->setFocus();
}

void CSetDesfireKeysDlg::OnSet() {
    KeyBytes = KeyFromText(m_key->text());
    done(1);
}
