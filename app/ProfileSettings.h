#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// The program's settings: QSettings("Vek Applikationen", "KQ-NFC Programmer"),
// one group per section, the key names as the program has always used them
// ("Settings"/"ZyklusZeit", "Port"/"Baudrate", ...). The settings file is kept
// readable by its owner only (mode 0600): it holds keys.
//
// Every part of the program reads and writes its settings here. Values that a
// dialog limits to a range are clamped to that range when read, so a hand-edited
// or damaged file never yields a value the dialog would refuse.
class ProfileSettings {
public:
    static constexpr char kOrganization[] = "Vek Applikationen";
    static constexpr char kApplication[] = "KQ-NFC Programmer";

    // "Settings"/"BeepTime": length of the reader's beep in ms, 0 = no beep.
    static constexpr int kBeepTimeDefault = 150;
    static constexpr int kBeepTimeMin = 0;
    static constexpr int kBeepTimeMax = 1000;
    // "Settings"/"ZyklusZeit": period of the cyclic read/write/lock jobs in ms.
    static constexpr int kZyklusZeitDefault = 250;
    static constexpr int kZyklusZeitMin = 100;
    static constexpr int kZyklusZeitMax = 10000;

    // The stored number, or defaultValue when the key is missing or holds no number.
    static int ReadInt(const QString& section, const QString& key, int defaultValue);
    // The stored text, or defaultValue when the key is missing.
    static QString ReadString(const QString& section, const QString& key, const QString& defaultValue = {});

    // Every write below replaces the file whole or not at all: a write that cannot be
    // completed (a full disk, a quota, a folder the program may not write) keeps the
    // old file as it was and answers false.
    static bool WriteInt(const QString& section, const QString& key, int value);
    static bool WriteString(const QString& section, const QString& key, const QString& value);
    // Removes the section with all its keys.
    static bool RemoveSection(const QString& section);
    // Replaces the section's keys by `entries` (key, value), in one write.
    static bool ReplaceSection(const QString& section, const QList<QPair<QString, QString>>& entries);
    // Every key of the section with its text.
    static QMap<QString, QString> ReadSection(const QString& section);

    // The two settings of the settings dialog, clamped to its ranges.
    static int BeepTime() { return ReadInt("Settings", "BeepTime", kBeepTimeDefault); }
    static int ZyklusZeit() { return ReadInt("Settings", "ZyklusZeit", kZyklusZeitDefault); }

    // "Port"/"Timeout": the reader's answer time-out in ms that the program opens its
    // port with, clamped to the interface dialog's range; the dialog proposes 1000
    // when none is stored.
    static constexpr int kPortTimeoutDefault = 500;
    static constexpr int kPortTimeoutMin = 10;
    static constexpr int kPortTimeoutMax = 300000;
    static int PortTimeout() { return ReadInt("Port", "Timeout", kPortTimeoutDefault); }

    // Where the settings live (for messages and tests).
    static QString FilePath();
};
