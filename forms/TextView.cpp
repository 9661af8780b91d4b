#include "forms/TextView.h"

#include "content/NfcTagData.h"
#include "content/RecordJsonWriter.h"
#include "res/StringTable.h"

#include <QPlainTextEdit>

namespace {
enum Field { kText };
}

CTextView::CTextView(CNfcProgDoc* doc, QWidget* parent)
    : CRecordFormView(doc, parent,
                      {.objectName = QStringLiteral("CTextView"),
                       .heading = tr("Text"),
                       .keyword = QStringLiteral("TEXT"),
                       .mandatoryField = kText,
                       .mandatoryMessage = IdsNoText}),
      m_text(NewTextEdit(133)) {
    AddField(QStringLiteral("TEXT:"), m_text);
    AddFieldRow(tr("Text:"), {m_text});
}

std::string CTextView::RecordJson() const {
    return TextToJson(FieldUtf8(kText));
}

void CTextView::ShowTagFields(const CNfcTagData& data) {
    if (const std::string* text = data.GetText()) SetFieldText(kText, QString::fromStdString(*text));
}
