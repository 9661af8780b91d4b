// The settings store: QSettings groups and keys, the private file mode, and the
// clamping of the settings dialog's values.
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

void StoreRaw(const QString& section, const QString& key, const QVariant& value) {
    QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
    raw.setValue(section + '/' + key, value);
    raw.sync();
}

} // namespace

class ProfileSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(ProfileSettings::FilePath()); }

    void livesInTheProgramsOwnFileUnderTheTestsConfigFolder() {
        const QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY2(!home.isEmpty(), "tests run with their own XDG_CONFIG_HOME");
        QCOMPARE(ProfileSettings::FilePath(), home + "/Vek Applikationen/KQ-NFC Programmer.conf");
    }

    void missingKeysGiveTheDefaults() {
        QCOMPARE(ProfileSettings::ReadInt("Port", "Baudrate", 19200), 19200);
        QCOMPARE(ProfileSettings::ReadString("Port", "Name", "none"), QString("none"));
        QCOMPARE(ProfileSettings::BeepTime(), 150);
        QCOMPARE(ProfileSettings::ZyklusZeit(), 250);
        QVERIFY(!QFile::exists(ProfileSettings::FilePath())); // reading creates nothing
    }

    // One group per section in the file; the values come back as stored.
    void valuesRoundTripOneGroupPerSection() {
        QVERIFY(ProfileSettings::WriteInt("Port", "Baudrate", 9600));
        QVERIFY(ProfileSettings::WriteString("Template", "Directory", QString::fromUtf8("/home/ä b/")));
        QCOMPARE(ProfileSettings::ReadString("Template", "Directory"), QString::fromUtf8("/home/ä b/"));
        QCOMPARE(ProfileSettings::ReadInt("Settings", "Baudrate", -1), -1); // sections are apart
        QSettings raw(ProfileSettings::FilePath(), QSettings::IniFormat);
        QCOMPARE(raw.value("Port/Baudrate").toInt(), 9600);
    }

    void textThatIsNoNumberGivesTheDefault() {
        StoreRaw("Port", "Timeout", "fast");
        QCOMPARE(ProfileSettings::ReadInt("Port", "Timeout", 500), 500);
        StoreRaw("Port", "Timeout", " 750 ");
        QCOMPARE(ProfileSettings::ReadInt("Port", "Timeout", 500), 750);
    }

    void fileIsKeptPrivate() {
        QVERIFY(
            ProfileSettings::WriteString("DesfireKeyStore", "KeyValue0", "00112233445566778899AABBCCDDEEFF"));
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
        QVERIFY(ProfileSettings::WriteInt("Settings", "Sprache", 1));
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
        // A file that someone opened up is closed again by the next write.
        QFile::setPermissions(ProfileSettings::FilePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
        QVERIFY(ProfileSettings::WriteInt("Settings", "Sprache", 0));
        QCOMPARE(FileMode(ProfileSettings::FilePath()), 0600);
        QCOMPARE(ProfileSettings::ReadString("DesfireKeyStore", "KeyValue0"),
                 QString("00112233445566778899AABBCCDDEEFF"));
    }

    // Stored beep and cycle times are clamped to the settings dialog's ranges, so a
    // damaged file never gives a 0 ms timer or a negative beep; the reader's answer
    // time-out to the interface dialog's (no open that fails at once, no wait of hours).
    void dialogValuesAreClampedWhenRead_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("read");
        QTest::newRow("zyklus 0") << "ZyklusZeit" << QVariant(0) << 100;
        QTest::newRow("zyklus negative") << "ZyklusZeit" << QVariant(-250) << 100;
        QTest::newRow("zyklus 99") << "ZyklusZeit" << QVariant(99) << 100;
        QTest::newRow("zyklus in range") << "ZyklusZeit" << QVariant(333) << 333;
        QTest::newRow("zyklus huge") << "ZyklusZeit" << QVariant(2000000) << 10000;
        QTest::newRow("zyklus garbage") << "ZyklusZeit" << QVariant("x") << 250;
        QTest::newRow("beep negative") << "BeepTime" << QVariant(-5) << 0;
        QTest::newRow("beep 0") << "BeepTime" << QVariant(0) << 0;
        QTest::newRow("beep 1001") << "BeepTime" << QVariant(1001) << 1000;
        QTest::newRow("timeout 0") << "Timeout" << QVariant(0) << 10;
        QTest::newRow("timeout negative") << "Timeout" << QVariant(-5) << 10;
        QTest::newRow("timeout in range") << "Timeout" << QVariant(750) << 750;
        QTest::newRow("timeout 99999999") << "Timeout" << QVariant(99999999) << 300000;
        QTest::newRow("timeout garbage") << "Timeout" << QVariant("x") << 500;
    }
    void dialogValuesAreClampedWhenRead() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(int, read);
        const QString section = key == "Timeout" ? "Port" : "Settings";
        StoreRaw(section, key, stored);
        const int defaultValue = key == "BeepTime" ? 150 : key == "Timeout" ? 500 : 250;
        QCOMPARE(ProfileSettings::ReadInt(section, key, defaultValue), read);
        QCOMPARE(key == "BeepTime"  ? ProfileSettings::BeepTime()
                 : key == "Timeout" ? ProfileSettings::PortTimeout()
                                    : ProfileSettings::ZyklusZeit(),
                 read);
    }

    void otherValuesAreNotClamped() {
        StoreRaw("Port", "ZyklusZeit", 0);
        QCOMPARE(ProfileSettings::ReadInt("Port", "ZyklusZeit", 7), 0);
        StoreRaw("Port", "Baudrate", -5);
        QCOMPARE(ProfileSettings::ReadInt("Port", "Baudrate", 500), -5);
    }
};

QTEST_GUILESS_MAIN(ProfileSettingsTest)
#include "ProfileSettingsTest.moc"
