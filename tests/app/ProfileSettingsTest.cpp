// The settings store: QSettings groups and keys, the private file mode, and the
// clamping of the settings dialog's values.
#include "app/ProfileSettings.h"
#include "PrivateTmpfs.h"
#include "app/KeyStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>
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

QByteArray FileBytes() {
    QFile file(ProfileSettings::FilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

QString KeyHex(int n) {
    return QStringLiteral("%1").arg(n, 32, 16, QLatin1Char('0')).toUpper();
}

// A key store of `count` keys "Key<n>" with their own values.
CKeyStoreItemList KeysUpTo(int count) {
    CKeyStoreItemList store;
    for (int n = 1; n <= count; ++n)
        store.Items.push_back({QStringLiteral("Key%1").arg(n), KeyHex(n)});
    return store;
}

} // namespace

class ProfileSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (!qEnvironmentVariableIsSet("KQ_SAVE_UNTIL_KILLED")) QFile::remove(ProfileSettings::FilePath());
    }

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

    // On a full or nearly full disk (a small private tmpfs) a settings write (what
    // closing the main window writes) and a key-store save either complete or keep
    // the old file byte for byte and answer false; on a full one they answer false.
    void fullDiskKeepsTheSettingsWhole_data() {
        QTest::addColumn<int>("freeBytes");
        QTest::newRow("full") << 0;
        QTest::newRow("one page free") << 4096;
        QTest::newRow("two pages free") << 8192;
        QTest::newRow("four pages free") << 16384;
    }
    void fullDiskKeepsTheSettingsWhole() {
        const QString folder = QFileInfo(ProfileSettings::FilePath()).absolutePath();
        if (!InPrivateTmpfs()) return RunInPrivateTmpfs("fullDiskKeepsTheSettingsWhole", folder, 64);
        QFETCH(int, freeBytes);
        for (int n = 0; n < 40; ++n)
            QVERIFY(ProfileSettings::WriteString("Keys", QStringLiteral("Key%1").arg(n), KeyHex(n)));
        CKeyStoreItemList store = KeysUpTo(100);
        QVERIFY(store.Save());
        const QByteArray before = FileBytes();
        QVERIFY(FillUp(folder, freeBytes));

        const bool written = ProfileSettings::WriteInt("Settings", "MainWindowPosX", 200);
        store.Items.push_back({"neu", KeyHex(101)});
        const bool saved = store.Save();
        if (freeBytes == 0) QVERIFY(!written && !saved);
        if (!written && !saved) QCOMPARE(FileBytes(), before);
        QCOMPARE(ProfileSettings::ReadInt("Settings", "MainWindowPosX", -1), written ? 200 : -1);
        for (int n = 0; n < 40; ++n)
            QCOMPARE(ProfileSettings::ReadString("Keys", QStringLiteral("Key%1").arg(n)), KeyHex(n));
        CKeyStoreItemList loaded;
        loaded.Load();
        QCOMPARE(loaded.Items.size(), saved ? size_t(101) : size_t(100));
        for (size_t i = 0; i < loaded.Items.size(); ++i)
            QCOMPARE(loaded.Items[i].Value, store.Items[i].Value);
    }

    // A key-store save killed at any moment leaves the old store or the new one,
    // never a part of either: the child saves 101 and 100 keys in turn until killed.
    void keyStoreSaveSurvivesAKill() {
        if (qEnvironmentVariableIsSet("KQ_SAVE_UNTIL_KILLED")) {
            fputs("saving\n", stderr);
            QDeadlineTimer limit(60000);
            for (int count = 101; !limit.hasExpired(); count = 201 - count)
                KeysUpTo(count).Save();
            return;
        }
        QVERIFY(KeysUpTo(100).Save());
        for (const int delayMs : {0, 1, 3, 7, 15, 30, 60}) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("KQ_SAVE_UNTIL_KILLED", "1");
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), {"keyStoreSaveSurvivesAKill"});
            QByteArray output;
            QDeadlineTimer ready(30000);
            while (!output.contains("saving") && !ready.hasExpired() && child.waitForReadyRead(1000))
                output += child.readAll();
            QVERIFY2(output.contains("saving"), output.constData());
            QThread::msleep(delayMs); // the moment of the kill, not a wait for anything
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            CKeyStoreItemList loaded;
            loaded.Load();
            QVERIFY2(loaded.Items.size() == 100 || loaded.Items.size() == 101,
                     qPrintable(QString::number(loaded.Items.size())));
            const CKeyStoreItemList all = KeysUpTo(101);
            for (size_t i = 0; i < loaded.Items.size(); ++i) {
                QCOMPARE(loaded.Items[i].Name, all.Items[i].Name);
                QCOMPARE(loaded.Items[i].Value, all.Items[i].Value);
            }
        }
    }

    // A settings file kept elsewhere behind a link stays there: a write replaces the
    // file the link names, not the link; a file with a line QSettings cannot parse
    // is still written (the write rewrites it whole), not refused for ever.
    void oddSettingsFilesAreStillWritten_data() {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("a link to the file") << true << QByteArray("[Keys]\nKey1=a\n");
        QTest::newRow("a section header without its bracket") << false << QByteArray("[Keys\nKey1=a\n");
    }
    void oddSettingsFilesAreStillWritten() {
        QFETCH(bool, linked);
        QFETCH(QByteArray, before);
        const QString path = ProfileSettings::FilePath();
        const QString real = QFileInfo(path).absolutePath() + "/kept/real.conf";
        QVERIFY(QDir().mkpath(QFileInfo(real).absolutePath()));
        QFile file(linked ? real : path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(before);
        file.close();
        if (linked) QVERIFY(QFile::link(real, path));
        QVERIFY(ProfileSettings::WriteInt("Settings", "BeepTime", 300));
        QCOMPARE(ProfileSettings::ReadInt("Settings", "BeepTime", -1), 300);
        QCOMPARE(QFileInfo(path).isSymLink(), linked);
        if (linked) {
            QCOMPARE(ProfileSettings::ReadString("Keys", "Key1"), QString("a"));
            QVERIFY(QFile(real).open(QIODevice::ReadOnly));
            QCOMPARE(FileMode(real), 0600);
        }
        QVERIFY(ProfileSettings::WriteInt("Settings", "BeepTime", 400));
        QCOMPARE(ProfileSettings::ReadInt("Settings", "BeepTime", -1), 400);
        QFile::remove(path);
        QFile::remove(real);
    }

    // Every numbered key is read, in the order of the numbers, also behind a gap in
    // a hand-edited file; the next save numbers them from 1 again.
    void keyStoreReadsEveryNumberedEntry() {
        StoreRaw("DesfireKeyStore", "KeyName1", "a");
        StoreRaw("DesfireKeyStore", "KeyValue1", KeyHex(1));
        StoreRaw("DesfireKeyStore", "KeyName12", "c");
        StoreRaw("DesfireKeyStore", "KeyValue12", KeyHex(12));
        StoreRaw("DesfireKeyStore", "KeyName3", "b");
        StoreRaw("DesfireKeyStore", "KeyValue3", KeyHex(3));
        StoreRaw("DesfireKeyStore", "KeyValue4", ""); // no key
        CKeyStoreItemList store;
        store.Load();
        QCOMPARE(store.Items.size(), size_t(3));
        QCOMPARE(store.Items[1].Name + store.Items[1].Value, "b" + KeyHex(3));
        QCOMPARE(store.Items[2].Name + store.Items[2].Value, "c" + KeyHex(12));
        QVERIFY(store.Save());
        QCOMPARE(ProfileSettings::ReadString("DesfireKeyStore", "KeyValue3"), KeyHex(12));
        QCOMPARE(ProfileSettings::ReadSection("DesfireKeyStore").size(), 6);
    }
};

QTEST_GUILESS_MAIN(ProfileSettingsTest)
#include "ProfileSettingsTest.moc"
