#include "forms/DefaultView.h"

#include "app/MainFrame.h"
#include "app/NfcProgDoc.h"
#include "forms/Label.h"
#include "res/StringTable.h"

#include <QVBoxLayout>

CDefaultView::CDefaultView(CNfcProgDoc* doc, QWidget* parent)
    : CFormView(doc, parent), m_heading(new CLabel(this)) {
    setObjectName(QStringLiteral("CDefaultView"));
    m_heading->setObjectName(QStringLiteral("1003"));
    m_heading->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(m_heading);
    layout->addStretch(1);
}

void CDefaultView::ShowResult() {
    CNfcProgDoc* doc = GetDocument();
    if (!doc) return;
    int state = -1;
    int index = 0;
    int extraNumber = 0;
    QString extraText;
    doc->Engine().GetResult(state, index, &extraNumber, &extraText);
    if (doc->Engine().ReadFlag() && state == 0) {
        m_text = KqString(IdsNfcWithoutUserData);
    } else if (CMainFrame* frame = MainFrame()) {
        m_text = frame->GetResultText(state, index, extraNumber, extraText);
    } else {
        m_text.clear();
    }
    UpdateData();
}

void CDefaultView::Clear() {
    m_text.clear();
    UpdateData();
}

void CDefaultView::OnActivateView(bool activate) {
    if (!activate) return;
    QFont font = m_heading->LogFont();
    font.setPointSize(18);
    font.setBold(true);
    m_heading->SetLogFont(font);
}

void CDefaultView::OnCyclicReadStopped() {
    m_heading->SetText(QString());
}

void CDefaultView::UpdateData() {
    m_heading->SetText(m_text);
}
