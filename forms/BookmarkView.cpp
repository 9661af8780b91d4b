#include "forms/BookmarkView.h"

#include "content/NfcTagData.h"
#include "content/RecordJsonWriter.h"
#include "forms/WebAddressPrefix.h"
#include "res/StringTable.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
// Fields in the order of the template keys.
enum Field { kLinkText, kPrefix, kAddress };
// Data-list columns.
enum Column { kColumnLinkText, kColumnAddress };
} // namespace

CBookmarkView::CBookmarkView(CNfcProgDoc* doc, QWidget* parent)
    : CRecordFormView(doc, parent,
                      {.objectName = QStringLiteral("CBookmarkView"),
                       .heading = tr("Webadresse"),
                       .keyword = QStringLiteral("BOOKMARK"),
                       .mandatoryField = kAddress,
                       .mandatoryMessage = IdsNoWebAddress}),
      m_linkText(NewLineEdit(133)),
      m_prefix(NewComboBox(132, WebAddressPrefixes(), kDefaultWebAddressPrefix)),
      m_address(NewLineEdit(131)) {
    AddField(QStringLiteral("TEXT:"), m_linkText);
    AddField(QStringLiteral("PREPEND:"), m_prefix);
    AddField(QStringLiteral("ADDRESS:"), m_address);
    AddFieldRow(tr("Beschreibung (optional):"), {m_linkText});
    AddFieldRow(tr("Webseite:"), {m_prefix, m_address});
    SplitTypedWebAddresses(m_prefix, m_address);
}

QString CBookmarkView::GetPrefixText() const {
    return m_prefix->currentText();
}

QString CBookmarkView::GetFullAddress() const {
    return FullWebAddress(GetPrefixText(), m_address->text());
}

std::string CBookmarkView::RecordJson() const {
    return BookmarkToJson(GetFullAddress().toStdString(), FieldUtf8(kLinkText));
}

void CBookmarkView::ShowTagFields(const CNfcTagData& data) {
    const CUriScheme* scheme = data.GetUriScheme();
    if (!scheme || scheme->GetSchemeType() != CUriScheme::kBookmark) return;
    SetFieldText(kLinkText, QString::fromStdString(scheme->title));
    ShowWebAddress(QString::fromStdString(scheme->Compose(false)), m_prefix, m_address);
}

bool CBookmarkView::HasMandatoryField() const {
    return !SplitWebAddress(m_address->text()).rest.isEmpty();
}

void CBookmarkView::SetTemplateValue(int field, const QString& value) {
    if (field == kPrefix)
        SelectWebAddressPrefix(value, m_prefix);
    else
        CRecordFormView::SetTemplateValue(field, value);
}

bool CBookmarkView::KeepRow(QStringList& columns) const {
    if (columns[kColumnAddress].isEmpty()) {
        columns[kColumnAddress] = columns[kColumnLinkText];
        columns[kColumnLinkText].clear();
    }
    return !columns[kColumnAddress].isEmpty();
}

void CBookmarkView::ShowRow(const QStringList& columns) {
    SetFieldText(kLinkText, columns.value(kColumnLinkText));
    ShowWebAddress(columns.value(kColumnAddress), m_prefix, m_address);
}
