#include "forms/ContactView.h"

#include "content/NfcTagData.h"
#include "content/RecordJsonWriter.h"
#include "forms/WebAddressPrefix.h"
#include "res/StringTable.h"

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Fields in the order of the template keys.
enum ContactField {
    kFirstName,
    kSurname,
    kOrganisation,
    kPhoneType1,
    kPhoneNumber1,
    kPhoneType2,
    kPhoneNumber2,
    kMail,
    kWebPrefix,
    kWebAddress,
};

// Data-list columns in the order of a CSV list.
enum Column {
    kColFirstName,
    kColSurname,
    kColOrganisation,
    kColTypeCode1,
    kColNumber1,
    kColTypeCode2,
    kColNumber2,
    kColMail,
    kColWebAddress,
};

// The two telephone numbers: number and type field.
constexpr std::pair<int, int> kPhoneFields[] = {{kPhoneNumber1, kPhoneType1}, {kPhoneNumber2, kPhoneType2}};

using Telephon = CVCardMime::CTelephon;

struct PhoneType {
    int text; // string id
    int place;
    int device;
    const char* keyword;
    QChar code; // null: no data-list code
};

// The first row is also the type of everything unknown.
constexpr PhoneType kPhoneTypes[] = {
    {IdsPhoneWork, Telephon::kPlaceWork, Telephon::kDeviceVoice, "TEL_WORK", u'1'},
    {IdsPhonePrivate, Telephon::kPlaceHome, Telephon::kDeviceVoice, "TEL_PRIVATE", u'2'},
    {IdsPhoneMobileWork, Telephon::kPlaceWork, Telephon::kDeviceCell, "TEL_MOBILE_WORK", u'3'},
    {IdsPhoneMobile, Telephon::kPlaceHome, Telephon::kDeviceCell, "TEL_MOBILE_PRIVATE", QChar()},
    {IdsPhoneFaxWork, Telephon::kPlaceWork, Telephon::kDeviceFax, "TEL_FAX_WORK", u'4'},
    {IdsPhoneFaxPrivate, Telephon::kPlaceHome, Telephon::kDeviceFax, "TEL_FAX_HOME", u'5'},
};
// An older keyword of "Mobil Arbeit", still read.
constexpr char kOldMobileKeyword[] = "TEL_MOBILE";

// The entries of the type boxes, in this order.
QStringList PhoneTypeList() {
    return {KqString(IdsPhoneWork), KqString(IdsPhonePrivate), KqString(IdsPhoneMobileWork),
            KqString(IdsPhoneFaxWork), KqString(IdsPhoneFaxPrivate)};
}

const PhoneType* FindPhoneType(const QString& typeText) {
    for (const PhoneType& type : kPhoneTypes)
        if (KqString(type.text) == typeText) return &type;
    return nullptr;
}

// The web address of a vCard the form shows: the last of its URLs that begins with
// "http://", "https://" or "www." (letter case aside); none of another form.
QString ShownWebAddress(const std::vector<std::string>& urls) {
    QString shown;
    for (const std::string& url : urls) {
        const QString text = QString::fromStdString(url);
        for (const char* start : {"http://", "https://", "www."})
            if (text.startsWith(QLatin1String(start), Qt::CaseInsensitive)) shown = text;
    }
    return shown;
}

} // namespace

CContactView::CContactView(CNfcProgDoc* doc, QWidget* parent)
    : CRecordFormView(doc, parent,
                      {.objectName = QStringLiteral("CContactView"),
                       .heading = tr("Kontakt"),
                       .keyword = QStringLiteral("CONTACT"),
                       .mandatoryField = -1,
                       .mandatoryMessage = IdsNoName}),
      m_phoneType1(NewComboBox(1010, PhoneTypeList(), 0)),
      m_phoneType2(NewComboBox(1009, PhoneTypeList(), 0)),
      m_webPrefix(NewComboBox(1007, WebAddressPrefixes(), kDefaultWebAddressPrefix)),
      m_webAddress(NewLineEdit(1006)) {
    QLineEdit* firstName = NewLineEdit(1005);
    QLineEdit* surname = NewLineEdit(1008);
    QLineEdit* organisation = NewLineEdit(137);
    QLineEdit* number1 = NewLineEdit(134);
    QLineEdit* number2 = NewLineEdit(135);
    QLineEdit* mail = NewLineEdit(136);
    AddField(QStringLiteral("FIRSTNAME:"), firstName);
    AddField(QStringLiteral("SURNAME:"), surname);
    AddField(QStringLiteral("ORGINISATION:"), organisation); // spelt so in every template
    AddField(QStringLiteral("TEL1TYP:"), m_phoneType1);
    AddField(QStringLiteral("PHONE1NR:"), number1);
    AddField(QStringLiteral("TEL2TYP:"), m_phoneType2);
    AddField(QStringLiteral("PHONE2NR:"), number2);
    AddField(QStringLiteral("MAIL:"), mail);
    AddField(QStringLiteral("WEB_PREPEND:"), m_webPrefix);
    AddField(QStringLiteral("WEB_ADDRESS:"), m_webAddress);
    AddFieldRow(tr("Vorname:"), {firstName});
    AddFieldRow(tr("Nachname:"), {surname});
    AddFieldRow(tr("Organisation:"), {organisation});
    AddFieldRow(tr("Telefonnummern:"), {m_phoneType1, number1});
    AddFieldRow(QString(), {m_phoneType2, number2});
    AddFieldRow(tr("E-Mail:"), {mail});
    AddFieldRow(tr("Webseite:"), {m_webPrefix, m_webAddress});
    SplitTypedWebAddresses(m_webPrefix, m_webAddress);
    // Both type boxes as wide as the prefix box, so that the fields line up.
    const int boxWidth = std::max(m_webPrefix->sizeHint().width(), m_phoneType1->sizeHint().width());
    for (QComboBox* box : {m_phoneType1, m_phoneType2, m_webPrefix})
        box->setFixedWidth(boxWidth);
}

// ---- Telephone types -----------------------------------------------------------------

QString CContactView::PhoneTypeFromCode(const QString& code) {
    const QChar first = code.isEmpty() ? QChar() : code.front();
    for (const PhoneType& type : kPhoneTypes)
        if (!type.code.isNull() && type.code == first) return KqString(type.text);
    return KqString(kPhoneTypes[0].text);
}

QString CContactView::PhoneTypeFromKeyword(const QString& keyword) {
    if (keyword == QLatin1String(kOldMobileKeyword)) return KqString(IdsPhoneMobileWork);
    for (const PhoneType& type : kPhoneTypes)
        if (keyword == QLatin1String(type.keyword)) return KqString(type.text);
    return KqString(kPhoneTypes[0].text);
}

QString CContactView::PhoneTypeToKeyword(const QString& typeText) {
    const PhoneType* type = FindPhoneType(typeText);
    return type ? QString::fromLatin1(type->keyword) : QString();
}

std::optional<CVCardMime::CTelephon> CContactView::MakeTelephon(const QString& number,
                                                                const QString& typeText) {
    if (number.isEmpty()) return std::nullopt;
    Telephon phone;
    phone.number = number.toStdString();
    if (const PhoneType* type = FindPhoneType(typeText)) {
        phone.place = type->place;
        phone.device = type->device;
    }
    return phone;
}

QString CContactView::TelephonTypeText(const CVCardMime::CTelephon& phone) {
    const bool home = phone.place == Telephon::kPlaceHome;
    switch (phone.device) {
    case Telephon::kDeviceCell:
        return KqString(home ? IdsPhoneMobile : IdsPhoneMobileWork);
    case Telephon::kDeviceFax:
        return KqString(home ? IdsPhoneFaxPrivate : IdsPhoneFaxWork);
    case Telephon::kDeviceVoice:
        return KqString(home ? IdsPhonePrivate : IdsPhoneWork);
    default:
        return KqString(IdsPhoneWork);
    }
}

// ---- The contact -----------------------------------------------------------------------

QString CContactView::GetPrefixText() const {
    return m_webPrefix->currentText();
}

QString CContactView::GetFullAddress() const {
    return FullWebAddress(GetPrefixText(), m_webAddress->text());
}

void CContactView::FillVCard(CVCardMime& contact) const {
    contact.Clear();
    contact.givenName = FieldUtf8(kFirstName);
    contact.familyName = FieldUtf8(kSurname);
    contact.organisation = FieldUtf8(kOrganisation);
    contact.mails.push_back(FieldUtf8(kMail));
    if (!m_webAddress->text().isEmpty()) contact.urls.push_back(GetFullAddress().toStdString());
    for (const auto& [number, type] : kPhoneFields)
        if (auto phone = MakeTelephon(FieldText(number), FieldText(type))) contact.phones.push_back(*phone);
}

std::string CContactView::RecordJson() const {
    CVCardMime contact;
    FillVCard(contact);
    return VCardToJson(contact);
}

bool CContactView::HasMandatoryField() const {
    return !FieldText(kFirstName).isEmpty() || !FieldText(kSurname).isEmpty();
}

void CContactView::ShowTagFields(const CNfcTagData& data) {
    const CMime* mime = data.GetMime();
    if (!mime || mime->GetMimeKind() != CMime::kVCard) return;
    const auto& contact = static_cast<const CVCardMime&>(*mime);
    SetFieldText(kSurname, QString::fromStdString(contact.familyName));
    SetFieldText(kFirstName, QString::fromStdString(contact.givenName));
    SetFieldText(kOrganisation, QString::fromStdString(contact.organisation));
    // Two numbers are shown; further ones are not.
    for (size_t i = 0; i < std::size(kPhoneFields) && i < contact.phones.size(); ++i) {
        SetFieldText(kPhoneFields[i].first, QString::fromStdString(contact.phones[i].number));
        SetFieldText(kPhoneFields[i].second, TelephonTypeText(contact.phones[i]));
    }
    if (!contact.mails.empty()) SetFieldText(kMail, QString::fromStdString(contact.mails.front()));
    ShowWebAddress(ShownWebAddress(contact.urls), m_webPrefix, m_webAddress);
}

// ---- Templates and data lists ------------------------------------------------------------

QString CContactView::TemplateValue(int field) const {
    if (field == kPhoneType1 || field == kPhoneType2) return PhoneTypeToKeyword(FieldText(field));
    return CRecordFormView::TemplateValue(field);
}

void CContactView::SetTemplateValue(int field, const QString& value) {
    if (field == kPhoneType1 || field == kPhoneType2)
        SetFieldText(field, PhoneTypeFromKeyword(value));
    else if (field == kWebPrefix)
        SelectWebAddressPrefix(value, m_webPrefix);
    else
        CRecordFormView::SetTemplateValue(field, value);
}

QStringList CContactView::TxtColumns(const QStringList& fields) const {
    // A TXT record names the surname first, also when it holds nothing else.
    QStringList columns = fields;
    if (!columns.isEmpty() && columns.size() < 2) columns.resize(2);
    if (columns.size() >= 2) columns.swapItemsAt(kColFirstName, kColSurname);
    return columns;
}

bool CContactView::KeepRow(QStringList& columns) const {
    for (int i = 0; i < columns.size(); ++i)
        if (i != kColTypeCode1 && i != kColTypeCode2 && !columns[i].isEmpty()) return true;
    return false;
}

void CContactView::ShowRow(const QStringList& columns) {
    SetFieldText(kFirstName, columns.value(kColFirstName));
    SetFieldText(kSurname, columns.value(kColSurname));
    SetFieldText(kOrganisation, columns.value(kColOrganisation));
    SetFieldText(kPhoneType1, PhoneTypeFromCode(columns.value(kColTypeCode1)));
    SetFieldText(kPhoneNumber1, columns.value(kColNumber1));
    SetFieldText(kPhoneType2, PhoneTypeFromCode(columns.value(kColTypeCode2)));
    SetFieldText(kPhoneNumber2, columns.value(kColNumber2));
    SetFieldText(kMail, columns.value(kColMail));
    ShowWebAddress(columns.value(kColWebAddress), m_webPrefix, m_webAddress);
}
