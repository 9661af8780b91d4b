#include "forms/DefaultView.h"

#include "app/MainFrame.h"
#include "app/NfcProgDoc.h"
#include "forms/FormHeading.h"
#include "forms/Label.h"
#include "res/StringTable.h"

#include <QVBoxLayout>

CDefaultView::CDefaultView(CNfcProgDoc* doc, QWidget* parent)
    : CFormView(doc, parent), m_heading(CreateFormHeading(this, QString())) {
    setObjectName(QStringLiteral("CDefaultView"));
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
    if (activate) ApplyFormHeadingFont(m_heading);
}

void CDefaultView::OnCyclicReadStopped() {
    m_heading->SetText(QString());
}

void CDefaultView::UpdateData() {
    m_heading->SetText(m_text);
}
