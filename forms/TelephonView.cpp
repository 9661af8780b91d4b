#include "forms/TelephonView.h"

#include "content/NfcTagData.h"
#include "content/RecordJsonWriter.h"
#include "res/StringTable.h"

#include <QLineEdit>

namespace {
enum Field { kDescription, kNumber };
}

CTelephonView::CTelephonView(CNfcProgDoc* doc, QWidget* parent)
    : CRecordFormView(doc, parent,
                      {.objectName = QStringLiteral("CTelephonView"),
                       .heading = tr("Telefonnummer"),
                       .headingId = 1004,
                       .keyword = QStringLiteral("TELEPHON"),
                       .mandatoryField = kNumber,
                       .mandatoryMessage = IdsNoTelephoneNumber}) {
    QLineEdit* description = NewLineEdit(133);
    QLineEdit* number = NewLineEdit(151);
    AddField(QStringLiteral("TEXT:"), description);
    AddField(QStringLiteral("NUMBER:"), number);
    AddFieldRow(tr("Beschreibung (optional):"), {description});
    AddFieldRow(tr("Telefonnummer:"), {number});
}

std::string CTelephonView::RecordJson() const {
    return TelephonToJson(FieldUtf8(kNumber), FieldUtf8(kDescription));
}

void CTelephonView::ShowTagFields(const CNfcTagData& data) {
    const CUriScheme* scheme = data.GetUriScheme();
    if (!scheme || scheme->GetSchemeType() != CUriScheme::kTelephon) return;
    SetFieldText(kDescription, QString::fromStdString(scheme->title));
    SetFieldText(kNumber, QString::fromStdString(scheme->value));
}
