#include "app/ProfileSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Settings whose dialogs accept only a range; reading clamps to it.
struct ClampedSetting {
    const char* section;
    const char* key;
    int min;
    int max;
};
constexpr ClampedSetting kClamped[] = {
    {"Settings", "BeepTime", ProfileSettings::kBeepTimeMin, ProfileSettings::kBeepTimeMax},
    {"Settings", "ZyklusZeit", ProfileSettings::kZyklusZeitMin, ProfileSettings::kZyklusZeitMax},
    {"Port", "Timeout", ProfileSettings::kPortTimeoutMin, ProfileSettings::kPortTimeoutMax},
};

QSettings Open() {
    return QSettings(ProfileSettings::kOrganization, ProfileSettings::kApplication);
}

// Makes sure the file exists with mode 0600 before QSettings writes to it. QSettings
// saves through a temporary file that takes over the existing file's permissions, so
// the keys are never readable by others, not even for a moment.
void MakePrivate(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        file.open(QIODevice::WriteOnly, kPrivate);
    }
    QFile::setPermissions(path, kPrivate);
}

// Changes the file through `change`, which is handed the open settings; the file is
// private before and after.
template <class Change> bool Write(Change change) {
    QSettings settings = Open();
    const QString path = settings.fileName();
    MakePrivate(path);
    change(settings);
    settings.sync();
    QFile::setPermissions(path, kPrivate);
    return settings.status() == QSettings::NoError;
}

bool Write(const QString& section, const QString& key, const QVariant& value) {
    return Write([&](QSettings& settings) {
        settings.beginGroup(section);
        settings.setValue(key, value);
        settings.endGroup();
    });
}

} // namespace

int ProfileSettings::ReadInt(const QString& section, const QString& key, int defaultValue) {
    QSettings settings = Open();
    settings.beginGroup(section);
    const QVariant stored = settings.value(key);
    settings.endGroup();
    bool ok = false;
    int value = stored.isValid() ? stored.toString().trimmed().toInt(&ok) : 0;
    if (!ok) value = defaultValue;
    for (const ClampedSetting& c : kClamped) {
        if (section == QLatin1String(c.section) && key == QLatin1String(c.key))
            value = std::clamp(value, c.min, c.max);
    }
    return value;
}

QString ProfileSettings::ReadString(const QString& section, const QString& key, const QString& defaultValue) {
    QSettings settings = Open();
    settings.beginGroup(section);
    const QVariant stored = settings.value(key);
    settings.endGroup();
    return stored.isValid() ? stored.toString() : defaultValue;
}

bool ProfileSettings::WriteInt(const QString& section, const QString& key, int value) {
    return Write(section, key, value);
}

bool ProfileSettings::WriteString(const QString& section, const QString& key, const QString& value) {
    return Write(section, key, value);
}

bool ProfileSettings::RemoveSection(const QString& section) {
    return Write([&](QSettings& settings) { settings.remove(section); });
}

QString ProfileSettings::FilePath() {
    return Open().fileName();
}
