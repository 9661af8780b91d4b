#include "app/UpdateStatus.h"

#include "app/UpdateCheck.h"
#include "res/StringTable.h"

UpdateStatus DescribeUpdateStatus(const CUpdateCheck& check, const QString& localVersion,
                                  const QString& localBuild) {
    const QString title = KqString(IdsAppTitle);
    QString version;
    QString build;
    // Nothing was looked for, so nothing failed.
    if (check.VersionFileUrl().isEmpty())
        return {UpdateStatus::Kind::NoServer, QString(), QColor(128, 128, 128), false};
    if (!check.ReadRemoteVersion(version, build))
        return {UpdateStatus::Kind::NoConnection, KqString(IdsUpdateNoConnection), QColor(255, 0, 0), false};
    if (version.isEmpty() || build.isEmpty())
        return {UpdateStatus::Kind::NoFile, KqString(IdsUpdateNoFile), QColor(255, 0, 0), false};
    if (check.IsNewer(localVersion, localBuild)) {
        const QString text = KqString(IdsUpdateNewVersion) + title + QStringLiteral(" V ") + version +
                             QStringLiteral(" (") + build + u')';
        return {UpdateStatus::Kind::Newer, text, QColor(192, 0, 0), true};
    }
    return {UpdateStatus::Kind::Current, title + KqString(IdsUpdateIsCurrent), QColor(128, 128, 128), false};
}
