#include "forms/AboutDlg.h"

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/ProfileSettings.h"
#include "app/UpdateCheck.h"
#include "app/UpdateStatus.h"
#include "forms/BitmapStatic.h"
#include "forms/Label.h"
#include "res/Icons.h"
#include "res/StringTable.h"

#include <QAction>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kVersionSection = QStringLiteral("Version");
const QString kUpdateKey = QStringLiteral("Update");
constexpr int kLogoSize = 64;
// The status line wraps within this width and never takes more than kStatusLines
// lines: the server's version text, which may be of any length, must not push the
// box and its OK button off the screen.
constexpr int kStatusMinWidth = 360;
constexpr int kStatusWidth = 480;
constexpr int kStatusLines = 3;

// `text` cut to what kStatusLines lines of kStatusWidth can show, each word that would
// not fit a line shortened in its middle, so that the label can wrap it.
QString FitStatusLine(const QString& text, const QFontMetrics& metrics) {
    const QString shown = metrics.elidedText(text, Qt::ElideRight, kStatusLines * kStatusWidth * 9 / 10);
    QStringList words = shown.split(u' ');
    for (QString& word : words)
        if (metrics.horizontalAdvance(word) > kStatusWidth)
            word = metrics.elidedText(word, Qt::ElideMiddle, kStatusWidth);
    return words.join(u' ');
}

// A link label of the maker: hidden when the build names no address.
void PrepareLink(CLabel* label, const QString& address, const QFont& dialogFont) {
    label->SetText(address);
    QFont font = dialogFont;
    font.setUnderline(true);
    label->SetLogFont(font);
    label->SetLink(true);
    label->SetTextColor(QColor(0, 0, 255));
    label->SetLinkCursor(Qt::PointingHandCursor);
    label->setVisible(!address.isEmpty());
}

} // namespace

CAboutDlg::CAboutDlg(CUpdateCheck& updateCheck, QWidget* parent)
    : QDialog(parent), m_updateCheck(updateCheck), m_logo(new CBitmapStatic(this)),
      m_versionText(new CLabel(this)), m_webLink(new CLabel(this)), m_mailLink(new CLabel(this)),
      m_statusLabel(new CLabel(this)),
      m_updateCheckBox(new QCheckBox(tr("automatisch auf neue Version prüfen"), this)) {
    setWindowTitle(tr("Info über KQ-NFC Programmer"));
    setObjectName(QStringLiteral("CAboutDlg"));
    m_logo->setObjectName(QStringLiteral("102"));
    m_versionText->setObjectName(QStringLiteral("101"));
    m_webLink->setObjectName(QStringLiteral("103"));
    m_mailLink->setObjectName(QStringLiteral("104"));
    m_statusLabel->setObjectName(QStringLiteral("105"));
    m_updateCheckBox->setObjectName(QStringLiteral("1058"));
    m_updateCheckBox->setChecked(ProfileSettings::ReadInt(kVersionSection, kUpdateKey, 1) != 0);

    m_logo->setPixmap(KqPixmap(KqIconId::Logo, kLogoSize));
    m_logo->setFixedSize(kLogoSize, kLogoSize);
    m_logo->SetTransparent(true);
    m_versionText->SetText(tr("KQ-NFC Programmer Version") + u' ' + CUpdateCheck::GetLocalVersion() +
                           QStringLiteral(" (") + CUpdateCheck::GetExeFileDate() + u')');
    PrepareLink(m_webLink, QStringLiteral(KQ_MAKER_WEB_URL), font());
    PrepareLink(m_mailLink, QStringLiteral(KQ_MAKER_MAIL), font());
    m_statusLabel->SetLogFont(font());
    m_statusLabel->SetTextColor(QColor(128, 128, 128));
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setMinimumWidth(kStatusMinWidth);
    m_statusLabel->setMaximumWidth(kStatusWidth);
    connect(m_statusLabel, &CLabel::clicked, this, &CAboutDlg::OnStatusClicked);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_versionText);
    texts->addWidget(m_webLink);
    texts->addWidget(m_mailLink);
    texts->addSpacing(8);
    texts->addWidget(m_statusLabel);
    texts->addWidget(m_updateCheckBox);
    auto* top = new QHBoxLayout;
    top->addWidget(m_logo, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_checkStarted) return;
    m_checkStarted = true;
    // The answer arrives as an UpdateCheckEvent, at once when the check has ended.
    m_updateCheck.Start(this, IdUpdateCheckDone);
}

void CAboutDlg::customEvent(QEvent* event) {
    if (event->type() != UpdateCheckEvent::EventType()) {
        QDialog::customEvent(event);
        return;
    }
    const auto* update = static_cast<UpdateCheckEvent*>(event);
    if (update->kind() == UpdateCheckEvent::Kind::Notify && update->id() == IdUpdateCheckDone)
        ShowUpdateStatus();
}

void CAboutDlg::ShowUpdateStatus() {
    const UpdateStatus status =
        DescribeUpdateStatus(m_updateCheck, CUpdateCheck::GetLocalVersion(), CUpdateCheck::GetExeFileDate());
    m_statusLabel->SetText(FitStatusLine(status.text, m_statusLabel->fontMetrics()));
    m_statusLabel->SetTextColor(status.color);
    m_statusLabel->SetLink(status.clickable);
    if (status.clickable) m_statusLabel->SetLinkCursor(Qt::PointingHandCursor);
}

void CAboutDlg::OnStatusClicked() {
    const QString text = m_statusLabel->LabelText();
    m_statusLabel->SetText(KqString(IdsUpdateStarting));
    m_statusLabel->repaint();
    QString failure;
    QString installer;
    {
        // The download shows how far it is and can be cancelled; while it runs the
        // rest of the program takes no input.
        QProgressDialog progress(KqString(IdsUpdateStarting), tr("Abbrechen"), 0, 0, this);
        progress.setObjectName(QStringLiteral("DownloadProgress"));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setAutoReset(false);
        progress.setAutoClose(false);
        progress.setMinimumDuration(0);
        progress.setValue(0);
        installer = m_updateCheck.DownloadInstaller({}, &failure, &progress);
    }
    // A click that ends with nothing must say why (StartInstaller says it itself);
    // a cancelled download needs no word.
    if (installer.isEmpty() && !failure.isEmpty()) m_updateCheck.ShowMessage(failure);
    if (!installer.isEmpty() && m_updateCheck.StartInstaller(installer)) {
        // The installer replaces the running program: end it.
        if (CMainFrame* frame = MainFrame())
            QMetaObject::invokeMethod(frame->Action(IdAppExit), &QAction::trigger, Qt::QueuedConnection);
        reject();
    }
    m_statusLabel->SetText(text);
}

void CAboutDlg::StoreUpdateSetting() {
    ProfileSettings::WriteInt(kVersionSection, kUpdateKey, m_updateCheckBox->isChecked() ? 1 : 0);
}

void CAboutDlg::accept() {
    StoreUpdateSetting();
    QDialog::accept();
}

void CAboutDlg::reject() {
    StoreUpdateSetting();
    QDialog::reject();
}
