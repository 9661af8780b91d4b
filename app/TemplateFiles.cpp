#include "app/TemplateFiles.h"

#include "app/TextFileCodec.h"
#include "app/ViewIdTable.h"
#include "res/StringTable.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The record keywords in the order they are tried.
struct RecordKeyword {
    const char* keyword;
    int viewId;
};
constexpr RecordKeyword kKeywords[] = {
    {"BOOKMARK", kViewBookmark}, {"CONTACT", kViewContact},   {"TEXT", kViewText},
    {"SMS", kViewSms},           {"TELEPHON", kViewTelephon}, {"MAIL", kViewMail},
};

const QString kCrLf = QStringLiteral("\r\n");

// The text after the last line end, or an empty text when it is not a line.
void AppendLast(QStringList& lines, const QString& text, qsizetype from) {
    if (from < text.size()) lines << text.mid(from);
}

} // namespace

int TemplateViewId(const QString& firstLine) {
    for (const RecordKeyword& k : kKeywords)
        if (firstLine == QLatin1String(k.keyword)) return k.viewId;
    return 0;
}

int DataListViewId(const QString& header) {
    const QString upper = header.toUpper();
    for (const RecordKeyword& k : kKeywords)
        if (upper.startsWith(QLatin1String(k.keyword))) return k.viewId;
    return 0;
}

RecordFileText ReadRecordFile(const QString& path) {
    // Opened without waiting (a FIFO would wait for a writer for ever) and read only
    // when it is a plain file: a pipe or a device never ends or never begins.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return {{}, KqString(IdsCannotOpenFile)};
    }
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) ::close(fd);
        return {{}, KqString(IdsCannotOpenFile)};
    }
    // One byte more than allowed tells a file that is too large, also where the
    // size is not known beforehand (a pipe, a device).
    const QByteArray bytes = file.read(kMaxRecordFileBytes + 1);
    if (bytes.size() > kMaxRecordFileBytes)
        return {{}, KqFormat(IdsFileTooLarge, {int(kMaxRecordFileBytes)})};
    if (bytes.contains('\0')) return {{}, KqString(IdsNotATextFile)};
    return {DecodeTextFile(bytes), {}};
}

QStringList SplitTemplateLines(const QString& text) {
    QStringList lines;
    qsizetype from = 0;
    for (qsizetype lf = text.indexOf(QLatin1Char('\n')); lf >= 0;
         lf = text.indexOf(QLatin1Char('\n'), from)) {
        qsizetype end = lf;
        while (end > from && text[end - 1] == QLatin1Char('\r'))
            --end;
        lines << text.mid(from, end - from);
        from = lf + 1;
    }
    AppendLast(lines, text, from);
    return lines;
}

bool WriteTemplateFile(const QString& path, const QStringList& lines) {
    QByteArray bytes;
    for (QString line : lines) {
        line.replace(kCrLf, QStringLiteral("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        line.replace(QLatin1Char('\n'), kCrLf);
        bytes += line.toUtf8() + "\r\n";
    }
    // Unbuffered, so that a short write (a full disk) shows at once: a write that
    // fails only while QSaveFile flushes in commit() would still replace the file
    // (Qt 6.4 does not look at that flush's result).
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QStringList SplitCsvLines(const QString& text) {
    QStringList lines;
    qsizetype from = 0;
    // Without CR LF a line break inside a quoted field is an LF as well. A lone CR
    // outside quotes ends a line in every file: old Mac programs write them, also
    // mixed into a list that was extended elsewhere.
    const bool crLf = text.contains(kCrLf);
    bool quoted = false;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c == QLatin1Char('"')) quoted = !quoted;
        qsizetype length = 0;
        if (c == QLatin1Char('\r') && at + 1 < text.size() && text[at + 1] == QLatin1Char('\n'))
            length = 2; // only in a CR LF file, where it ends a line also inside quotes
        else if (!quoted && (c == QLatin1Char('\r') || (c == QLatin1Char('\n') && !crLf)))
            length = 1;
        if (length == 0) continue;
        lines << text.mid(from, at - from);
        from = at + length;
        at += length - 1;
        quoted = false;
    }
    AppendLast(lines, text, from);
    return lines;
}

QString DocumentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) return {};
    return folder + QLatin1Char('/');
}
