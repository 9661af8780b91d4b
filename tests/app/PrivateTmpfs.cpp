#include "PrivateTmpfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <sys/statvfs.h>

namespace {

constexpr char kFolderVariable[] = "KQ_PRIVATE_TMPFS";
constexpr int kMountRefused = 77;
constexpr int kChildTimeoutMs = 120000;

qint64 FreeBytes(const QString& folder) {
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0) return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

} // namespace

bool InPrivateTmpfs() {
    return qEnvironmentVariableIsSet(kFolderVariable);
}

QString PrivateTmpfsFolder() {
    return qEnvironmentVariable(kFolderVariable);
}

void RunInPrivateTmpfs(const char* testFunction, const QString& folder, int sizeKiB) {
    QVERIFY(QDir().mkpath(folder));
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")});
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP(qPrintable("private mount namespaces are not permitted here (unshare -m): " +
                         QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));
    // The mount is made by the shell in the new namespace, so the test program sees
    // the small file system from its start.
    const QString script =
        QStringLiteral("mount -t tmpfs -o size=%1k,mode=0700 kq-test \"$1\" || exit %2; shift; exec \"$@\"")
            .arg(sizeKiB)
            .arg(kMountRefused);
    // The row of a data-driven case only, on a tmpfs of its own.
    QString function = QString::fromLatin1(testFunction);
    if (const char* tag = QTest::currentDataTag()) function += u':' + QString::fromLatin1(tag);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kFolderVariable), folder);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                 QStringLiteral("sh"), folder, QCoreApplication::applicationFilePath(), function});
    QVERIFY(child.waitForStarted(30000));
    if (!child.waitForFinished(kChildTimeoutMs)) {
        child.kill();
        child.waitForFinished(10000);
        QFAIL("the case in the private tmpfs did not end in time");
    }
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == kMountRefused)
        QSKIP(qPrintable("a tmpfs cannot be mounted here: " + output.trimmed()));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
}

bool FillUp(const QString& folder, qint64 leaveBytes) {
    QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return false;
    const QByteArray page(4096, 'f');
    while (filler.write(page) == page.size()) {
    }
    const qint64 full = filler.size();
    if (!filler.resize(qMax<qint64>(0, full - leaveBytes))) return false;
    return FreeBytes(folder) >= leaveBytes && FreeBytes(folder) < leaveBytes + 2 * page.size();
}
