#include "forms/BeepTimeDlg.h"

#include "app/ProfileSettings.h"
#include "forms/DialogDataExchange.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* NumberEdit(QWidget* parent, const char* name, int value, int min, int max) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setObjectName(QLatin1String(name));
    PrepareIntField(edit, min, max);
    edit->setMaxLength(6);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

} // namespace

CBeepTimeDlg::CBeepTimeDlg(QWidget* parent)
    : QDialog(parent), BeepTime(ProfileSettings::BeepTime()), ZyklusZeit(ProfileSettings::ZyklusZeit()) {
    setWindowTitle(tr("Einstellungen"));
    setObjectName(QStringLiteral("CBeepTimeDlg"));

    m_beepTimeEdit = NumberEdit(this, "BeepTimeEdit", BeepTime, ProfileSettings::kBeepTimeMin,
                                ProfileSettings::kBeepTimeMax);
    m_zyklusZeitEdit = NumberEdit(this, "ZyklusZeitEdit", ZyklusZeit, ProfileSettings::kZyklusZeitMin,
                                  ProfileSettings::kZyklusZeitMax);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Tondauer"), this), 0, 0);
    grid->addWidget(m_beepTimeEdit, 0, 1);
    grid->addWidget(new QLabel(tr("ms"), this), 0, 2);
    grid->addWidget(new QLabel(tr("(0 ms = Ton aus)"), this), 0, 3);
    grid->addWidget(new QLabel(tr("Zykluszeit"), this), 1, 0);
    grid->addWidget(m_zyklusZeitEdit, 1, 1);
    grid->addWidget(new QLabel(tr("ms"), this), 1, 2);
    grid->setColumnStretch(3, 1);
    grid->setHorizontalSpacing(8);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    connect(ok, &QPushButton::clicked, this, &CBeepTimeDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CBeepTimeDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize); // not resizable

    m_beepTimeEdit->setFocus();
    m_beepTimeEdit->selectAll();
}

bool CBeepTimeDlg::UpdateData() {
    int beepTime = BeepTime;
    int zyklusZeit = ZyklusZeit;
    if (!ExchangeIntField(this, m_beepTimeEdit, beepTime, ProfileSettings::kBeepTimeMin,
                          ProfileSettings::kBeepTimeMax))
        return false;
    if (!ExchangeIntField(this, m_zyklusZeitEdit, zyklusZeit, ProfileSettings::kZyklusZeitMin,
                          ProfileSettings::kZyklusZeitMax))
        return false;
    BeepTime = beepTime;
    ZyklusZeit = zyklusZeit;
    return true;
}

void CBeepTimeDlg::accept() {
    if (!UpdateData()) return;
    ProfileSettings::WriteInt(QStringLiteral("Settings"), QStringLiteral("ZyklusZeit"), ZyklusZeit);
    ProfileSettings::WriteInt(QStringLiteral("Settings"), QStringLiteral("BeepTime"), BeepTime);
    QDialog::accept();
}
