#include "forms/SmsView.h"

#include "content/NfcTagData.h"
#include "content/PercentCodec.h"
#include "content/RecordJsonWriter.h"
#include "res/StringTable.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace {
enum Field { kDescription, kNumber, kMessage };
}

CSmsView::CSmsView(CNfcProgDoc* doc, QWidget* parent)
    : CRecordFormView(doc, parent,
                      {.objectName = QStringLiteral("CSmsView"),
                       .heading = tr("SMS"),
                       .keyword = QStringLiteral("SMS"),
                       .mandatoryField = kNumber,
                       .mandatoryMessage = IdsNoTelephoneNumber}),
      m_message(NewTextEdit(149)) {
    QLineEdit* description = NewLineEdit(133);
    QLineEdit* number = NewLineEdit(148);
    AddField(QStringLiteral("TEXT:"), description);
    AddField(QStringLiteral("NUMBER:"), number);
    AddField(QStringLiteral("MESSAGE:"), m_message);
    AddFieldRow(tr("Beschreibung (optional):"), {description});
    AddFieldRow(tr("Telefonnummer:"), {number});
    AddFieldRow(tr("Nachricht:"), {m_message});
}

std::string CSmsView::RecordJson() const {
    return SmsToJson(FieldUtf8(kNumber), FieldUtf8(kMessage), FieldUtf8(kDescription));
}

void CSmsView::ShowTagFields(const CNfcTagData& data) {
    const CUriScheme* scheme = data.GetUriScheme();
    if (!scheme || scheme->GetSchemeType() != CUriScheme::kSms) return;
    const auto& sms = static_cast<const CSmsScheme&>(*scheme);
    SetFieldText(kDescription, QString::fromStdString(sms.title));
    SetFieldText(kNumber, QString::fromStdString(sms.value));
    SetFieldText(kMessage, QString::fromStdString(sms.body));
}

int CSmsView::ExcessBytes(const QString& piece) const {
    return static_cast<int>(PercentEncode(UnifyLineEnds(piece.toStdString())).size());
}
