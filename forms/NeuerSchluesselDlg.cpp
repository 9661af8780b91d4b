#include "forms/NeuerSchluesselDlg.h"

#include "app/KeyStore.h"
#include "app/WarningBox.h"
#include "forms/KeyStoreDlg.h"
#include "res/StringTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

CNeuerSchluesselDlg::CNeuerSchluesselDlg(QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(this)), m_key(CreateKeyEdit(this, 1272)),
      m_status(CreateStatusEdit(this, 1268)) {
    setObjectName(QStringLiteral("CNeuerSchluesselDlg"));
    setWindowTitle(tr("Neuer Schlüsseleintrag"));
    m_name->setObjectName(QStringLiteral("1266"));

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &CNeuerSchluesselDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CNeuerSchluesselDlg::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Schlüsselname:"), this), 0, 0, 1, 2);
    grid->addWidget(m_name, 1, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Schlüssel (0-16 Byte, wird mit 0 aufgefüllt):"), this), 2, 0, 1, 2);
    grid->addWidget(m_key, 3, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Status:"), this), 4, 0);
    grid->addWidget(m_status, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    m_items.Load();
    m_name->setFocus();
}

void CNeuerSchluesselDlg::accept() {
    m_status->setText(QStringLiteral(" "));
    const QString name = m_name->text();
    const QString keyText = m_key->text();
    if (name.isEmpty()) {
        m_status->setText(KqString(IdsFieldsMissing));
        return;
    }
    const std::optional<TagKey> key = ParseKeyText(keyText);
    if (!key) {
        m_status->setText(KqString(IdsKeyNotHex));
        return;
    }
    const QString value = KeyToText(*key);
    if (CKeyStoreItem* existing = m_items.FindByName(name)) {
        if (QMessageBox::question(this, windowTitle(), BoxText(KqString(IdsOverwriteKey)),
                                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        existing->Value = value;
    } else {
        m_items.Items.push_back({name, value});
    }
    if (!m_items.Save()) {
        m_items.Load(); // as stored, so that OK can be tried again
        m_status->setText(KeyStoreNotSavedText());
        return;
    }
    QDialog::accept();
}
