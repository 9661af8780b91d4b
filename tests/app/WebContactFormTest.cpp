// The web address and contact forms: their boxes, the prefix split wherever a whole
// address comes in (template, data-list row, tag; letter case aside), the telephone
// types in their three encodings (text, template keyword, data-list code), template
// lines out and in, data-list rows and the contact read from a tag.
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "forms/BookmarkView.h"
#include "forms/ContactView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using kqtest::ControlById;
using kqtest::FrameBench;

const QStringList kPrefixes{"http://www.", "http://", "https://www.", "https://"};
const QStringList kPhoneTypes{"Dienstlich", "Privat", "Mobil Arbeit", "Fax dienstlich", "Fax privat"};

CBookmarkView* Bookmark(FrameBench& bench) {
    return qobject_cast<CBookmarkView*>(kqtest::ChooseRecordForm(*bench.frame, kViewBookmark));
}

CContactView* Contact(FrameBench& bench) {
    return qobject_cast<CContactView*>(kqtest::ChooseRecordForm(*bench.frame, kViewContact));
}

QStringList Entries(const QComboBox* box) {
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

// The rows of the form's data list, each joined with '|'.
QStringList Rows(const CRecordFormView& form) {
    QStringList rows;
    for (int i = 0; i < form.RowCount(); ++i)
        rows << form.Row(i).join('|');
    return rows;
}

// A contact from a tag, as the vCard reader gives it.
CNfcTagData TagContact(const std::vector<CVCardMime::CTelephon>& phones,
                       const std::vector<std::string>& urls) {
    auto contact = std::make_unique<CVCardMime>();
    contact->givenName = "Anna";
    contact->familyName = "Berg";
    contact->organisation = "Kiel, Nord";
    contact->phones = phones;
    contact->mails = {"anna@example.org", "zweite@example.org"};
    contact->urls = urls;
    return CNfcTagData(std::unique_ptr<CMime>(std::move(contact)));
}

using Phone = CVCardMime::CTelephon;

} // namespace

class WebContactFormTest : public QObject {
    Q_OBJECT
private slots:
    // The entries of the boxes (drop-down lists: nothing can be typed into them) and
    // the fields' first values.
    void theBoxesAndTheFirstValues() {
        FrameBench bench;
        CBookmarkView* web = Bookmark(bench);
        QCOMPARE(Entries(ControlById<QComboBox>(*web, 132)), kPrefixes);
        QVERIFY(!ControlById<QComboBox>(*web, 132)->isEditable());
        QCOMPARE(kqtest::FieldTexts(*web), (QStringList{"", "http://", ""}));

        CContactView* contact = Contact(bench);
        QCOMPARE(Entries(ControlById<QComboBox>(*contact, 1010)), kPhoneTypes);
        QCOMPARE(Entries(ControlById<QComboBox>(*contact, 1009)), kPhoneTypes);
        QCOMPARE(Entries(ControlById<QComboBox>(*contact, 1007)), kPrefixes);
        QCOMPARE(kqtest::FieldTexts(*contact),
                 (QStringList{"", "", "", "Dienstlich", "", "Dienstlich", "", "", "http://", ""}));
    }

    // Template lines in, and out again. The prefix line is split (its rest dropped),
    // so "https://" selects "https://", not the longer "https://www." that also begins
    // with it; capitals count as the prefix.
    void webTemplateLines_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("as written") << QStringList{"BOOKMARK", "TEXT:Start", "PREPEND:https://www.",
                                                   "ADDRESS:example.org"}
                                    << QStringList{"Start", "https://www.", "example.org"};
        QTest::newRow("https:// is not https://www.")
            << QStringList{"BOOKMARK", "PREPEND:https://", "ADDRESS:example.org"}
            << QStringList{"", "https://", "example.org"};
        QTest::newRow("capitals") << QStringList{"BOOKMARK", "PREPEND:HTTPS://WWW.", "ADDRESS:x.de"}
                                  << QStringList{"", "https://www.", "x.de"};
        QTest::newRow("a prefix with more after it")
            << QStringList{"BOOKMARK", "PREPEND:http://www.example.org", "ADDRESS:x.de"}
            << QStringList{"", "http://www.", "x.de"};
        QTest::newRow("unknown prefix") << QStringList{"BOOKMARK", "PREPEND:ftp://", "ADDRESS:x.de"}
                                        << QStringList{"", "http://", "x.de"};
        QTest::newRow("empty prefix")
            << QStringList{"BOOKMARK", "PREPEND:", "ADDRESS:x.de"} << QStringList{"", "http://", "x.de"};
        QTest::newRow("no prefix line")
            << QStringList{"BOOKMARK", "ADDRESS: x.de", "TEXT:a:b"} << QStringList{"a:b", "http://", " x.de"};
    }
    void webTemplateLines() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, fields);
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        CBookmarkView* form = Bookmark(bench);
        kqtest::FillFields(*form, {"vorher", "https://", "vorher.de"});
        QVERIFY(form->SetFromTemplateLines(lines, "web.tdp"));
        QCOMPARE(kqtest::FieldTexts(*form), fields);

        QStringList out;
        QVERIFY(form->GetTemplateLines(out));
        QCOMPARE(out, (QStringList{"BOOKMARK", "TEXT:" + fields[0], "PREPEND:" + fields[1],
                                   "ADDRESS:" + fields[2]}));
        QCOMPARE(watcher.seen, QStringList{});
    }

    // The full address: the prefix, then the field; a prefix typed into the field
    // itself (any letter case) is taken instead of the selected one.
    void theFullWebAddress() {
        FrameBench bench;
        CBookmarkView* form = Bookmark(bench);
        const std::pair<QStringList, QString> cases[] = {
            {{"", "https://", "example.org"}, "https://example.org"},
            {{"", "http://", "HTTPS://example.org"}, "https://example.org"},
            {{"", "http://", "ftp://a.de"}, "http://ftp://a.de"},
        };
        for (const auto& [fields, full] : cases) {
            kqtest::FillFields(*form, fields);
            QCOMPARE(form->GetFullAddress(), full);
        }
    }

    // A whole address typed into the address field is split when the field is left:
    // the prefix box then shows the prefix that will be written.
    void aWholeAddressTypedIsSplit_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<int>("prefixId");
        QTest::addColumn<int>("addressId");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("address");
        QTest::newRow("web, capitals") << int(kViewBookmark) << 132 << 131 << u"HTTPS://Example.org"_s
                                       << u"https://"_s << u"Example.org"_s;
        QTest::newRow("contact, www")
            << int(kViewContact) << 1007 << 1006 << u"http://www.vek.de"_s << u"http://www."_s << u"vek.de"_s;
        QTest::newRow("no prefix: as typed")
            << int(kViewBookmark) << 132 << 131 << u"ftp://a.de"_s << u"https://"_s << u"ftp://a.de"_s;
    }
    void aWholeAddressTypedIsSplit() {
        QFETCH(int, viewId);
        QFETCH(int, prefixId);
        QFETCH(int, addressId);
        QFETCH(QString, typed);
        QFETCH(QString, prefix);
        QFETCH(QString, address);
        FrameBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        auto* box = ControlById<QComboBox>(*form, prefixId);
        auto* field = ControlById<QLineEdit>(*form, addressId);
        box->setCurrentText("https://");
        field->setText(typed);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(box->currentText(), prefix);
        QCOMPARE(field->text(), address);
    }

    // Web address rows: link text and whole address; a lone first column is an
    // address; the address is split into prefix and field when shown.
    void webRows() {
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        CBookmarkView* form = Bookmark(bench);
        form->LoadCsvDataList({"Start;https://www.example.org", "www.beispiel.de;", ";",
                               "Groß;HTTPS://Shop.de/a", "Alt;ftp://files.example.org", "\"a;b\";http://www"},
                              ';', "web.csv");
        QCOMPARE(watcher.seen, QStringList{});
        QCOMPARE(Rows(*form),
                 (QStringList{"Start|https://www.example.org", "|www.beispiel.de", "Groß|HTTPS://Shop.de/a",
                              "Alt|ftp://files.example.org", "a;b|http://www"}));
        const QStringList shown[] = {
            {"Start", "https://www.", "example.org"},
            {"", "http://", "www.beispiel.de"},
            {"Groß", "https://", "Shop.de/a"},
            {"Alt", "http://", "ftp://files.example.org"},
            {"a;b", "http://", "www"},
        };
        for (int n = 0; n < form->RowCount(); ++n) {
            form->ShowDataRecord(n);
            QCOMPARE(kqtest::FieldTexts(*form), shown[n]);
        }

        form->LoadTxtDataList("BOOKMARK\r\nLink|http://www.a.de;;\r\nwww.b.de;;||;;", 10, "web.txt");
        QCOMPARE(Rows(*form), (QStringList{"Link|http://www.a.de", "|www.b.de"}));
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"Link", "http://www.", "a.de"}));
    }

    // The telephone types: data-list codes by their first character, template
    // keywords exactly, unknown ones as "Dienstlich".
    void phoneTypeCodesAndKeywords() {
        const struct {
            const char* code;
            const char* text;
        } codes[] = {{"1", "Dienstlich"},     {"2", "Privat"},     {"3", "Mobil Arbeit"},
                     {"4", "Fax dienstlich"}, {"5", "Fax privat"}, {"35", "Mobil Arbeit"},
                     {"7", "Dienstlich"},     {"", "Dienstlich"},  {" 3", "Dienstlich"},
                     {"0", "Dienstlich"}};
        for (const auto& c : codes)
            QCOMPARE(CContactView::PhoneTypeFromCode(c.code), QString::fromUtf8(c.text));
        const struct {
            const char* keyword;
            const char* text;
        } keywords[] = {{"TEL_WORK", "Dienstlich"},          {"TEL_PRIVATE", "Privat"},
                        {"TEL_MOBILE_WORK", "Mobil Arbeit"}, {"TEL_MOBILE", "Mobil Arbeit"},
                        {"TEL_MOBILE_PRIVATE", "Mobil"},     {"TEL_FAX_WORK", "Fax dienstlich"},
                        {"TEL_FAX_HOME", "Fax privat"},      {"tel_fax_home", "Dienstlich"},
                        {"TEL_FAX", "Dienstlich"},           {"", "Dienstlich"}};
        for (const auto& k : keywords)
            QCOMPARE(CContactView::PhoneTypeFromKeyword(k.keyword), QString::fromUtf8(k.text));
        const struct {
            const char* text;
            const char* keyword;
            int place;
            int device;
        } types[] = {{"Dienstlich", "TEL_WORK", 1, 0},
                     {"Privat", "TEL_PRIVATE", 2, 0},
                     {"Mobil Arbeit", "TEL_MOBILE_WORK", 1, 1},
                     {"Mobil", "TEL_MOBILE_PRIVATE", 2, 1},
                     {"Fax dienstlich", "TEL_FAX_WORK", 1, 2},
                     {"Fax privat", "TEL_FAX_HOME", 2, 2},
                     {"Pager", "", 0, 0}};
        for (const auto& t : types) {
            QCOMPARE(CContactView::PhoneTypeToKeyword(t.text), QString::fromUtf8(t.keyword));
            const std::optional<Phone> phone = CContactView::MakeTelephon("+49 1", t.text);
            QVERIFY(phone);
            QCOMPARE(phone->number, std::string("+49 1"));
            QCOMPARE(std::make_pair(phone->place, phone->device), std::make_pair(t.place, t.device));
            if (t.keyword[0] != '\0')
                QCOMPARE(CContactView::TelephonTypeText(*phone), QString::fromUtf8(t.text));
        }
        QVERIFY(!CContactView::MakeTelephon("", "Privat"));
        // Entries of a vCard without a place count as at work; an unknown device as voice at work.
        QCOMPARE(CContactView::TelephonTypeText({"1", 0, 0}), QStringLiteral("Dienstlich"));
        QCOMPARE(CContactView::TelephonTypeText({"1", 0, 1}), QStringLiteral("Mobil Arbeit"));
        QCOMPARE(CContactView::TelephonTypeText({"1", 0, 2}), QStringLiteral("Fax dienstlich"));
        QCOMPARE(CContactView::TelephonTypeText({"1", 2, 7}), QStringLiteral("Dienstlich"));
    }

    // Template lines in and out: the types as keywords, the web prefix split. An old
    // keyword is read and written back as the current one; "Mobil" (a home mobile)
    // shows as, and is written back as, "Mobil Arbeit".
    void contactTemplateLines_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("out");
        const QStringList names{"FIRSTNAME:Max", "SURNAME:Mustermann", "ORGINISATION:Vek GmbH"};
        QTest::newRow("as written") << QStringList{"CONTACT"} + names +
                                           QStringList{"TEL1TYP:TEL_FAX_WORK",   "PHONE1NR:+49 1",
                                                       "TEL2TYP:TEL_PRIVATE",    "PHONE2NR:+49 2",
                                                       "MAIL:max@example.org",   "WEB_PREPEND:https://",
                                                       "WEB_ADDRESS:example.org"}
                                    << QStringList{"Max",      "Mustermann", "Vek GmbH", "Fax dienstlich",
                                                   "+49 1",    "Privat",     "+49 2",    "max@example.org",
                                                   "https://", "example.org"}
                                    << QStringList{"TEL_FAX_WORK", "TEL_PRIVATE", "https://"};
        QTest::newRow("old and private mobile keywords")
            << u"CONTACT|SURNAME:Berg|TEL1TYP:TEL_MOBILE|PHONE1NR:1|TEL2TYP:TEL_MOBILE_PRIVATE|PHONE2NR:2|"
               u"WEB_PREPEND:HTTP://WWW.|WEB_ADDRESS:b.de"_s.split('|')
            << QStringList{"", "Berg",        "",    "Mobil Arbeit", "1", "Mobil Arbeit", "2",
                           "", "http://www.", "b.de"}
            << QStringList{"TEL_MOBILE_WORK", "TEL_MOBILE_WORK", "http://www."};
        QTest::newRow("unknown keywords and prefix")
            << QStringList{"CONTACT", "FIRSTNAME:Eva", "TEL1TYP:FAX", "TEL2TYP:", "WEB_PREPEND:ftp://"}
            << QStringList{"Eva", "", "", "Dienstlich", "", "Dienstlich", "", "", "http://", ""}
            << QStringList{"TEL_WORK", "TEL_WORK", "http://"};
    }
    void contactTemplateLines() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, out);
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        CContactView* form = Contact(bench);
        QVERIFY(form->SetFromTemplateLines(lines, "kontakt.tdp"));
        QCOMPARE(kqtest::FieldTexts(*form), fields);

        QStringList written;
        QVERIFY(form->GetTemplateLines(written));
        QCOMPARE(written,
                 (QStringList{"CONTACT", "FIRSTNAME:" + fields[0], "SURNAME:" + fields[1],
                              "ORGINISATION:" + fields[2], "TEL1TYP:" + out[0], "PHONE1NR:" + fields[4],
                              "TEL2TYP:" + out[1], "PHONE2NR:" + fields[6], "MAIL:" + fields[7],
                              "WEB_PREPEND:" + out[2], "WEB_ADDRESS:" + fields[9]}));
        QCOMPARE(watcher.seen, QStringList{});
    }

    // Contact rows: nine columns; a TXT list has the surname first; a row with only
    // type codes is dropped; the codes become types, the web address is split.
    void contactRows() {
        FrameBench bench;
        kqtest::ModalWatcher watcher;
        CContactView* form = Contact(bench);
        form->LoadCsvDataList({"Max;Muster;Vek;3;+49 1;4;+49 2;max@example.org;https://www.vek.de",
                               ";;;3;;4;;;", "Eva;;;35;1;x;2;;HTTPS://eva.de", ";Nur;;;;;;;"},
                              ';', "kontakte.csv");
        QCOMPARE(watcher.seen, QStringList{});
        QCOMPARE(form->RowCount(), 3);
        const QStringList shown[] = {
            {"Max", "Muster", "Vek", "Mobil Arbeit", "+49 1", "Fax dienstlich", "+49 2", "max@example.org",
             "https://www.", "vek.de"},
            {"Eva", "", "", "Mobil Arbeit", "1", "Dienstlich", "2", "", "https://", "eva.de"},
            {"", "Nur", "", "Dienstlich", "", "Dienstlich", "", "", "http://", ""},
        };
        for (int n = 0; n < 3; ++n) {
            form->ShowDataRecord(n);
            QCOMPARE(kqtest::FieldTexts(*form), shown[n]);
        }

        // The same names in the first two columns of a TXT list: surname, first name.
        form->LoadTxtDataList("CONTACT\r\nMuster|Max|Vek|2|+49 1|5|+49 2|max@example.org|www.vek.de;;"
                              "||||||||;;|||3||4|||;;",
                              9, "kontakte.txt");
        QCOMPARE(form->RowCount(), 1);
        QCOMPARE(kqtest::FieldTexts(*form),
                 (QStringList{"Max", "Muster", "Vek", "Privat", "+49 1", "Fax privat", "+49 2",
                              "max@example.org", "http://", "www.vek.de"}));
        // A record of one field holds the surname too.
        form->LoadTxtDataList("CONTACT\r\nMuster;;", 9, "kontakte.txt");
        QCOMPARE(form->RowCount(), 1);
        QCOMPARE(kqtest::FieldTexts(*form).mid(0, 2), (QStringList{"", "Muster"}));
    }

    // A contact from a tag: names, organisation, the first two numbers with their
    // types, the first e-mail, the last web address of the forms http://, https://
    // or www. (letter case aside), split; other URLs are not shown.
    void aContactFromATag_data() {
        QTest::addColumn<std::vector<Phone>>("phones");
        QTest::addColumn<std::vector<std::string>>("urls");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("one number without type, web address of another scheme")
            << std::vector<Phone>{{"+49 1", 0, 0}} << std::vector<std::string>{"ftp://berg.de"}
            << QStringList{"Anna",       "Berg", "Kiel, Nord",       "Dienstlich", "+49 1",
                           "Dienstlich", "",     "anna@example.org", "http://",    ""};
        QTest::newRow("the last web address wins")
            << std::vector<Phone>{} << std::vector<std::string>{"HTTP://A.DE", "www.b.de", "mailto:x@y.de"}
            << QStringList{"Anna",       "Berg", "Kiel, Nord",       "Dienstlich", "",
                           "Dienstlich", "",     "anna@example.org", "http://",    "www.b.de"};
    }
    void aContactFromATag() {
        QFETCH(std::vector<Phone>, phones);
        QFETCH(std::vector<std::string>, urls);
        QFETCH(QStringList, fields);
        FrameBench bench;
        CContactView* form = Contact(bench);
        kqtest::FillFields(
            *form, {"vorher", "vorher", "vorher", "Privat", "9", "Privat", "9", "v@x", "https://", "v"});
        form->ShowTagRecord(TagContact(phones, urls));
        QCOMPARE(kqtest::FieldTexts(*form), fields);

        // Another kind leaves the fields empty.
        form->ShowTagRecord(CNfcTagData(std::make_unique<std::string>("Text")));
        QCOMPARE(kqtest::FieldTexts(*form),
                 (QStringList{"", "", "", "Dienstlich", "", "Dienstlich", "", "", "http://", ""}));
    }
};

QTEST_MAIN(WebContactFormTest)
#include "WebContactFormTest.moc"
