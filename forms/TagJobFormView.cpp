#include "forms/TagJobFormView.h"

#include "app/MainWndForwarders.h"
#include "app/NfcProgDoc.h"
#include "forms/FormHeading.h"
#include "forms/Label.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kButtonWidth = 130;
constexpr int kButtonHeight = 52;

} // namespace

CTagJobFormView::CTagJobFormView(CNfcProgDoc* doc, QWidget* parent, CyclicJob job, const QString& heading)
    : CFormView(doc, parent), m_job(job), m_heading(CreateFormHeading(this, heading)),
      m_write(CreateOnceButton(1001)), m_cyclic(CreateCyclicButton(1016)), m_column(new QVBoxLayout(this)) {
    m_column->setContentsMargins(24, 24, 24, 24);
    m_column->setSpacing(16);
    m_column->addWidget(m_heading);
    connect(m_write, &QPushButton::clicked, this, [this] { OnWrite(); });
    connect(m_cyclic, &QPushButton::clicked, this, &CTagJobFormView::OnCyclic);
}

QPushButton* CTagJobFormView::CreateOnceButton(int id) {
    auto* button = new QPushButton(tr("Schreiben"), this);
    button->setObjectName(QString::number(id));
    button->setFixedSize(kButtonWidth, kButtonHeight);
    m_onceButtons << button;
    return button;
}

QPushButton* CTagJobFormView::CreateCyclicButton(int id) {
    // A check box drawn as a button that stays down while the job runs.
    auto* button = new QPushButton(tr("Zyklisch\nschreiben"), this);
    button->setObjectName(QString::number(id));
    button->setCheckable(true);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    return button;
}

void CTagJobFormView::AddButtonRow(QPushButton* once, QPushButton* cyclic) {
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    row->addWidget(once);
    row->addWidget(cyclic);
    row->addStretch(1);
    m_column->addLayout(row);
}

void CTagJobFormView::OnActivateView(bool activate) {
    if (!activate) return;
    ApplyFormHeadingFont(m_heading);
    // Another job than this form's own (cyclic reading) shuts 1016 as well.
    const bool ownJob = IsJobRunning();
    EnableOperations(!IsCyclicJobRunning());
    m_cyclic->setEnabled(ownJob || !IsCyclicJobRunning());
    m_cyclic->setChecked(ownJob);
    m_write->setFocus(Qt::OtherFocusReason);
}

void CTagJobFormView::OnCyclicJobEnded() {
    ShowCyclic(false);
}

void CTagJobFormView::OnCyclicReadStarted() {
    EnableOperations(false);
    m_cyclic->setEnabled(false);
}

void CTagJobFormView::OnCyclicReadStopped() {
    EnableOperations(!IsJobRunning());
    m_cyclic->setEnabled(true);
}

void CTagJobFormView::RunOnce(const std::function<void(CNfcTagAccess&)>& operation) {
    CNfcProgDoc* doc = GetDocument();
    if (!doc) return;
    ShowWritingViaMainWnd();
    operation(doc->Engine());
    doc->ReportResult(false);
}

void CTagJobFormView::OnCyclic() {
    if (IsJobRunning()) {
        ShowCyclic(false);
        SetJob(false);
        return;
    }
    CNfcProgDoc* doc = GetDocument();
    if (doc && doc->Engine().PreparePort()) {
        ShowCyclic(true);
        // An empty pending record makes the cyclic write format each new tag.
        if (m_job == CyclicJob::Write) doc->Engine().SetPending({}, false);
        SetJob(true);
        return;
    }
    if (doc) doc->ReportResult(false);
    ShowCyclic(false);
    SetJob(false);
}

bool CTagJobFormView::IsJobRunning() const {
    return m_job == CyclicJob::Write ? IsCyclicWriteRunning() : IsCyclicLockRunning();
}

void CTagJobFormView::SetJob(bool on) const {
    if (m_job == CyclicJob::Write)
        SetCyclicWriteViaMainWnd(on);
    else
        SetCyclicLockViaMainWnd(on);
}

void CTagJobFormView::ShowCyclic(bool cyclic) {
    EnableOperations(!cyclic);
    m_cyclic->setChecked(cyclic);
}

void CTagJobFormView::EnableOperations(bool enable) const {
    // A tag laid down while a key dialog is open would meet the job's next tick.
    for (QPushButton* button : m_onceButtons)
        button->setEnabled(enable);
}
