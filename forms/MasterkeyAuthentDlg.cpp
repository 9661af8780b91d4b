#include "forms/MasterkeyAuthentDlg.h"

#include "app/KeyStore.h"
#include "forms/KeyStoreDlg.h"
#include "res/StringTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CMasterkeyAuthentDlg::CMasterkeyAuthentDlg(int port, int keyNumber, bool authenticationLayout,
                                           QWidget* parent)
    : QDialog(parent), Port(port), KeyNumber(keyNumber), m_key(new QLineEdit(this)),
      m_status(CreateStatusEdit(this, 1268)) {
    setObjectName(QStringLiteral("CMasterkeyAuthentDlg"));
    setWindowTitle(authenticationLayout ? tr("Authentifizierung") : tr("Transponder ist schreibgeschützt"));
    m_key->setObjectName(QStringLiteral("1272"));
    m_key->setMinimumWidth(m_key->fontMetrics().horizontalAdvance(QString(34, u'F')));

    auto* prompt = new QLabel(keyNumber > 0 ? KqString(IdsAppMasterKeyLabel)
                                            : tr("Hauptschlüssel der Karte (0-16 Byte, Auffüllung mit 0):"),
                              this);
    prompt->setObjectName(QStringLiteral("1263"));
    auto* load = new QPushButton(tr("Laden"), this);
    load->setObjectName(QStringLiteral("1267"));
    load->setAutoDefault(false);
    auto* use = new QPushButton(tr("Verwenden"), this);
    use->setObjectName(QStringLiteral("1260"));
    use->setDefault(true);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(load, &QPushButton::clicked, this, [this] { LoadKeyFromStore(this, m_key, m_status); });
    connect(use, &QPushButton::clicked, this, &CMasterkeyAuthentDlg::OnUse);
    connect(cancel, &QPushButton::clicked, this, &CMasterkeyAuthentDlg::reject);

    auto* grid = new QGridLayout(this);
    int row = 0;
    if (!authenticationLayout) {
        auto* note =
            new QLabel(tr("Transponder ist schreibgeschützt. Ein Überschreiben ist höchstens möglich, "
                          "wenn der Hauptschlüssel der Karte bekannt ist."),
                       this);
        note->setObjectName(QStringLiteral("WriteProtectedNote"));
        note->setWordWrap(true);
        grid->addWidget(note, row++, 0, 1, 3);
        grid->setRowMinimumHeight(row++, 8);
    }
    grid->addWidget(prompt, row++, 0, 1, 3);
    grid->addWidget(m_key, row, 0, 1, 2);
    grid->addWidget(load, row++, 2);
    grid->addWidget(new QLabel(tr("Status:"), this), row, 0);
    grid->addWidget(m_status, row++, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(use);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    m_key->setFocus();
}

void CMasterkeyAuthentDlg::OnUse() {
    m_status->clear();
    KeyBytes = KeyFromText(m_key->text());
    done(1);
}
