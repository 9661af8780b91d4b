#include "forms/MailView.h"

#include "content/NfcTagData.h"
#include "content/PercentCodec.h"
#include "content/RecordJsonWriter.h"
#include "res/StringTable.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace {
enum Field { kDescription, kRecipient, kSubject, kMessage };
}

CMailView::CMailView(CNfcProgDoc* doc, QWidget* parent)
    : CRecordFormView(doc, parent,
                      {.objectName = QStringLiteral("CMailView"),
                       .heading = tr("E-Mail"),
                       .keyword = QStringLiteral("MAIL"),
                       .mandatoryField = kRecipient,
                       .mandatoryMessage = IdsNoRecipient}),
      m_message(NewTextEdit(149)) {
    QLineEdit* description = NewLineEdit(133);
    QLineEdit* recipient = NewLineEdit(148);
    QLineEdit* subject = NewLineEdit(150);
    AddField(QStringLiteral("TEXT:"), description);
    AddField(QStringLiteral("ADDRESS:"), recipient);
    AddField(QStringLiteral("SUBJECT:"), subject);
    AddField(QStringLiteral("MESSAGE:"), m_message);
    AddFieldRow(tr("Beschreibung (optional):"), {description});
    AddFieldRow(tr("An: (E-Mail Adresse)"), {recipient});
    AddFieldRow(tr("Betreff:"), {subject});
    AddFieldRow(tr("Nachricht:"), {m_message});
}

std::string CMailView::RecordJson() const {
    return MailToJson(FieldUtf8(kRecipient), FieldUtf8(kSubject), FieldUtf8(kMessage),
                      FieldUtf8(kDescription));
}

void CMailView::ShowTagFields(const CNfcTagData& data) {
    const CUriScheme* scheme = data.GetUriScheme();
    if (!scheme || scheme->GetSchemeType() != CUriScheme::kMail) return;
    const auto& mail = static_cast<const CMailScheme&>(*scheme);
    SetFieldText(kDescription, QString::fromStdString(mail.title));
    SetFieldText(kRecipient, QString::fromStdString(mail.value));
    SetFieldText(kSubject, QString::fromStdString(mail.subject));
    SetFieldText(kMessage, QString::fromStdString(mail.body));
}

int CMailView::ExcessBytes(const QString& piece) const {
    return static_cast<int>(PercentEncode(UnifyLineEnds(piece.toStdString())).size());
}
