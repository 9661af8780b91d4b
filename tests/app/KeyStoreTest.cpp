// The key store against the real settings file: typed key text to 16 bytes, loading
// up to the first missing value, saving renumbered from 1 with the section replaced,
// the name match, and the file kept private after every save.
#include "app/KeyStore.h"
#include "app/ProfileSettings.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

namespace {

int FileMode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int(st.st_mode & 0777);
}

// The file as another program reads it: "section/key" -> value.
QStringList RawSection(const QString& section) {
    QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
    raw.beginGroup(section);
    QStringList entries;
    for (const QString& key : raw.childKeys())
        entries << key + '=' + raw.value(key).toString();
    entries.sort();
    return entries;
}

void StoreRaw(const QString& key, const QString& value) {
    QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
    raw.setValue("DesfireKeyStore/" + key, value);
    raw.sync();
}

QStringList Items(const CKeyStoreItemList& list) {
    QStringList items;
    for (const CKeyStoreItem& item : list.Items)
        items << item.Name + '=' + item.Value;
    return items;
}

} // namespace

class KeyStoreTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(ProfileSettings::FilePath()); }

    // Up to 16 bytes are taken, missing ones are zero; excess text is dropped.
    void keyTextBecomesSixteenBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        const QString zeros(32, u'0');
        QTest::newRow("empty") << "" << zeros;
        QTest::newRow("3 bytes") << "A0b1C2" << "A0B1C2" + QString(26, u'0');
        QTest::newRow("bytes with blanks") << "01 02 0a" << "01020A" + QString(26, u'0');
        QTest::newRow("16 bytes") << "00112233445566778899AABBCCDDEEFF" << "00112233445566778899AABBCCDDEEFF";
        QTest::newRow("20 bytes keep the first 16")
            << "00112233445566778899AABBCCDDEEFF01020304" << "00112233445566778899AABBCCDDEEFF";
    }
    void keyTextBecomesSixteenBytes() {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(KeyToText(KeyFromText(text)), key);
    }

    // Loading stops at the first entry without a value, even when later ones exist; an
    // entry without a name is kept. The next save renumbers from 1, drops the entries
    // after the gap, and the file stays private.
    void loadStopsAtTheFirstMissingValueAndSaveRenumbers() {
        StoreRaw("KeyName1", "eins");
        StoreRaw("KeyValue1", "11111111111111111111111111111111");
        StoreRaw("KeyValue2", "22222222222222222222222222222222"); // no name
        StoreRaw("KeyName4", "vier");                               // 3 is missing
        StoreRaw("KeyValue4", "44444444444444444444444444444444");
        CKeyStoreItemList list;
        list.Items.push_back({"stale", "FF"});
        list.Load();
        QCOMPARE(Items(list), QStringList({"eins=11111111111111111111111111111111",
                                           "=22222222222222222222222222222222"}));

        list.Items.erase(list.Items.begin()); // the first one is deleted
        list.Items.push_back({"leer", ""});   // an item without a value is not written
        list.Items.push_back({"drei", "33333333333333333333333333333333"});
        QVERIFY(list.Save());
        QCOMPARE(RawSection("DesfireKeyStore"),
                 QStringList({"KeyName1=", "KeyName2=drei", "KeyValue1=22222222222222222222222222222222",
                              "KeyValue2=33333333333333333333333333333333"}));
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);

        // Deleting the last key empties the section; the rest of the file stays.
        ProfileSettings::WriteInt("Settings", "Sprache", 1);
        list.Items.clear();
        QVERIFY(list.Save());
        QCOMPARE(RawSection("DesfireKeyStore"), QStringList());
        QCOMPARE(ProfileSettings::ReadInt("Settings", "Sprache", 0), 1);
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
        list.Load();
        QCOMPARE(Items(list), QStringList());
    }

    // A file someone opened up is private again after the next save.
    void everySaveLeavesTheFilePrivate() {
        CKeyStoreItemList list;
        list.Items.push_back({"a", "00112233445566778899AABBCCDDEEFF"});
        QVERIFY(list.Save());
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
        QFile::setPermissions(ProfileSettings::FilePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QVERIFY(list.Save());
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
        QVERIFY(ProfileSettings::RemoveSection("DesfireKeyStore"));
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
    }

    // Trailing blanks do not count, letter case does; the first match wins.
    void namesMatchIgnoringTrailingBlanks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("found"); // value of the item found, "-" for none
        QTest::newRow("same") << "Büro" << "1";
        QTest::newRow("trailing blanks asked") << "Büro  " << "1";
        QTest::newRow("trailing blanks stored") << "Lager" << "2";
        QTest::newRow("other case") << "büro" << "-";
        QTest::newRow("leading blank") << " Büro" << "-";
        QTest::newRow("first of two") << "doppelt" << "3";
        QTest::newRow("empty name") << "" << "5";
    }
    void namesMatchIgnoringTrailingBlanks() {
        QFETCH(QString, name);
        QFETCH(QString, found);
        CKeyStoreItemList list;
        list.Items = {{"Büro", "1"}, {"Lager ", "2"}, {"doppelt", "3"}, {"doppelt", "4"}, {"  ", "5"}};
        const CKeyStoreItem* item = list.FindByName(name);
        QCOMPARE(item ? item->Value : QStringLiteral("-"), found);
    }
};

QTEST_GUILESS_MAIN(KeyStoreTest)
#include "KeyStoreTest.moc"
