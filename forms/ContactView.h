#pragma once

#include "content/VCardMime.h"
#include "forms/RecordFormView.h"

#include <optional>

class QComboBox;
class QLineEdit;

// The contact form: first name (1005), surname (1008), organisation (137), two
// telephone numbers each with its type (type boxes 1010 / 1009, numbers 134 / 135),
// an e-mail address (136) and a web address (prefix box 1007 and the rest, 1006, as
// in the web address form). It goes on the tag as a vCard 2.1 MIME record. Keyword
// "CONTACT"; first name or surname must be given.
//
// A telephone type has three encodings: its text (the type box shows five of the six,
// "Mobil" only arises from a tag or a template), its template keyword and its
// data-list code:
//
//   text              place  device  keyword written       read as well   code
//   "Dienstlich"       work   voice   TEL_WORK              any unknown    1, any unknown
//   "Privat"           home   voice   TEL_PRIVATE                          2
//   "Mobil Arbeit"     work   cell    TEL_MOBILE_WORK       TEL_MOBILE     3
//   "Mobil"            home   cell    TEL_MOBILE_PRIVATE
//   "Fax dienstlich"   work   fax     TEL_FAX_WORK                         4
//   "Fax privat"       home   fax     TEL_FAX_HOME                         5
//
// A type text is put into its box as every combo box of the record forms takes a
// text: the first entry that begins with it, letter case aside, so "Mobil" shows (and
// is read back) as "Mobil Arbeit" and an empty text as "Dienstlich". The texts are
// those of the current language.
class CContactView : public CRecordFormView {
    Q_OBJECT
public:
    explicit CContactView(CNfcProgDoc* doc, QWidget* parent = nullptr);

    // The type text of a data-list code, by its first character ("35" is 3); anything
    // else is "Dienstlich".
    static QString PhoneTypeFromCode(const QString& code);
    // The type text of a template keyword (exact); anything else is "Dienstlich".
    static QString PhoneTypeFromKeyword(const QString& keyword);
    // The template keyword of a type text; "" for a text outside the table.
    static QString PhoneTypeToKeyword(const QString& typeText);
    // A telephone entry of the vCard; none for an empty number. A type text outside
    // the table gives place 0 and device 0.
    static std::optional<CVCardMime::CTelephon> MakeTelephon(const QString& number, const QString& typeText);
    // The type text of a telephone entry from a vCard.
    static QString TelephonTypeText(const CVCardMime::CTelephon& phone);

    // The contact of the fields: names and organisation, the e-mail field (also when
    // it is empty), the web address when given, the telephone entries of the numbers
    // given.
    void FillVCard(CVCardMime& contact) const;
    // The selected web prefix, and the web address written (see CBookmarkView).
    QString GetPrefixText() const;
    QString GetFullAddress() const;

protected:
    std::string RecordJson() const override;
    void ShowTagFields(const CNfcTagData& data) override;
    bool HasMandatoryField() const override;
    QString TemplateValue(int field) const override;
    void SetTemplateValue(int field, const QString& value) override;
    int ColumnCount() const override { return 9; }
    // A TXT list has the surname first, then the first name.
    QStringList TxtColumns(const QStringList& fields) const override;
    // A row is kept when a column other than the two type codes is given.
    bool KeepRow(QStringList& columns) const override;
    void ShowRow(const QStringList& columns) override;

private:
    QComboBox* m_phoneType1;
    QComboBox* m_phoneType2;
    QComboBox* m_webPrefix;
    QLineEdit* m_webAddress;
};
