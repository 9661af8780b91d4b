#include "app/ProfileSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

// How long a write waits for another instance of the program that writes the file.
constexpr int kLockWaitMs = 10000;
// A write holds the lock for milliseconds. A lock file older than this was left by a
// write that was killed; one killed while making it is empty and names no process
// whose end would tell it is stale, so its age has to.
constexpr int kStaleLockMs = 2000;

QSettings Open() {
    return QSettings(ProfileSettings::kOrganization, ProfileSettings::kApplication);
}

// What a settings object holds, each value as text (a list joined by NUL), so that a
// value as written and as read back from the file compare equal.
QMap<QString, QString> Snapshot(const QSettings& settings) {
    QMap<QString, QString> values;
    for (const QString& key : settings.allKeys()) {
        const QVariant value = settings.value(key);
        values.insert(key, value.typeId() == QMetaType::QStringList ? value.toStringList().join(QChar(0))
                                                                    : value.toString());
    }
    return values;
}

bool SyncToDisk(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// A new private (0600) file in `folder` whose name starts with `prefix`; empty when
// none could be made.
QString NewPrivateFile(const QString& folder, const QString& prefix) {
    QTemporaryFile file(folder + u'/' + prefix + QStringLiteral("XXXXXX"));
    file.setAutoRemove(false);
    return file.open() ? file.fileName() : QString();
}

bool WriteWhole(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

// Readers in this process find the file through QSettings' cache, which reads it
// again only when its size or time differs from what it read last: the new file is
// made later than the one it replaces.
void MakeNewer(const QString& replacement, const QString& path) {
    struct stat old {};
    struct stat fresh {};
    if (::stat(QFile::encodeName(path).constData(), &old) != 0 ||
        ::stat(QFile::encodeName(replacement).constData(), &fresh) != 0)
        return;
    const auto ms = [](const timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    if (ms(fresh.st_mtim) > ms(old.st_mtim)) return;
    const qint64 later = ms(old.st_mtim) + 1;
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(later / 1000), long(later % 1000) * 1000000}};
    ::utimensat(AT_FDCWD, QFile::encodeName(replacement).constData(), times, 0);
}

// The file a link (or a chain of links) names, where QSettings' own save writes as
// well: a settings file kept elsewhere behind a link stays there.
QString LinkTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; depth < 32 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// Changes the settings through `change`, which is handed a QSettings object on a
// private copy of the file. QSettings saves through a buffered QSaveFile whose
// commit (Qt 6.4) ignores a final flush that failed, and then reports success with
// an empty or cut file in place of the settings. So the copy is checked by reading
// it back under a name QSettings has never seen, and only a copy that holds exactly
// what was written, synced to the disk, is renamed over the file.
template <class Change> bool Write(Change change) {
    const QString settingsPath = ProfileSettings::FilePath();
    if (!QDir().mkpath(QFileInfo(settingsPath).absolutePath())) return false;
    QLockFile lock(settingsPath + QStringLiteral(".lock")); // the lock QSettings takes for the file
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) return false;
    const QString path = LinkTarget(settingsPath);
    const QString folder = QFileInfo(path).absolutePath();
    // Copies left by a write that was killed; none of a running write, which holds the lock.
    const QString prefix = u'.' + QFileInfo(path).fileName() + u'.';
    for (const QString& stale : QDir(folder).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden))
        QFile::remove(QDir(folder).filePath(stale));

    QString staged = NewPrivateFile(folder, prefix);
    QString checked;
    const auto fail = [&] {
        QFile::remove(staged);
        QFile::remove(checked);
        return false;
    };
    if (staged.isEmpty()) return false;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly)) return fail();
        if (!WriteWhole(staged, current.readAll())) return fail();
    }
    QMap<QString, QString> written;
    {
        QSettings settings(staged, QSettings::IniFormat);
        change(settings);
        settings.sync();
        // A file with a line QSettings could not parse (FormatError) is written anew
        // whole, as QSettings' own save does, and read back below; refusing it
        // would refuse every later write as well.
        if (settings.status() == QSettings::AccessError) return fail();
        written = Snapshot(settings);
    }
    checked = NewPrivateFile(folder, prefix);
    if (checked.isEmpty() ||
        ::rename(QFile::encodeName(staged).constData(), QFile::encodeName(checked).constData()) != 0)
        return fail();
    staged.clear();
    if (Snapshot(QSettings(checked, QSettings::IniFormat)) != written || !SyncToDisk(checked)) return fail();
    MakeNewer(checked, path);
    if (::rename(QFile::encodeName(checked).constData(), QFile::encodeName(path).constData()) != 0)
        return fail();
    SyncToDisk(folder); // the rename itself; the file is whole either way
    return true;
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

bool ProfileSettings::ReplaceSection(const QString& section, const QList<QPair<QString, QString>>& entries) {
    return Write([&](QSettings& settings) {
        settings.remove(section);
        settings.beginGroup(section);
        for (const auto& [key, value] : entries)
            settings.setValue(key, value);
        settings.endGroup();
    });
}

QMap<QString, QString> ProfileSettings::ReadSection(const QString& section) {
    QSettings settings = Open();
    settings.beginGroup(section);
    return Snapshot(settings);
}

QString ProfileSettings::FilePath() {
    return Open().fileName();
}
