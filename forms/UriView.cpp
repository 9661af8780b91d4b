#include "forms/UriView.h"

#include "content/NfcTagData.h"
#include "forms/FormHeading.h"
#include "forms/Label.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kFieldAreaWidth = 820;

QLineEdit* ReadOnlyField(QWidget* parent, const char* id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(id));
    edit->setReadOnly(true);
    return edit;
}

} // namespace

CUriView::CUriView(CNfcProgDoc* doc, QWidget* parent)
    : CFormView(doc, parent), m_heading(CreateFormHeading(this, tr("Unbekannte Internetresource"))),
      m_descriptionEdit(ReadOnlyField(this, "133")), m_addressEdit(ReadOnlyField(this, "131")) {
    setObjectName(QStringLiteral("CUriView"));
    // As wide as the record forms' fields.
    auto* fieldArea = new QWidget(this);
    fieldArea->setMaximumWidth(kFieldAreaWidth);
    auto* fields = new QFormLayout(fieldArea);
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setLabelAlignment(Qt::AlignLeft);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields->setVerticalSpacing(12);
    fields->addRow(tr("Beschreibung (optional):"), m_descriptionEdit);
    fields->addRow(tr("Adresse:"), m_addressEdit);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    column->addWidget(m_heading);
    column->addWidget(fieldArea);
    column->addStretch(1);
}

void CUriView::ShowTagRecord(const CNfcTagData& data) {
    m_description.clear();
    m_address.clear();
    const CUriScheme* scheme = data.GetUriScheme();
    if (scheme && scheme->GetSchemeType() == CUriScheme::kUnknown) {
        // For an unknown scheme the value is the whole URI.
        m_address = QString::fromStdString(scheme->value);
        m_description = QString::fromStdString(scheme->title);
    }
    UpdateData();
}

void CUriView::OnActivateView(bool activate) {
    if (activate) ApplyFormHeadingFont(m_heading);
}

void CUriView::UpdateData() {
    m_descriptionEdit->setText(m_description);
    m_descriptionEdit->setCursorPosition(0);
    m_addressEdit->setText(m_address);
    m_addressEdit->setCursorPosition(0);
}
