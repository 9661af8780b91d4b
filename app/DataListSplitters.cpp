#include "app/DataListSplitters.h"

namespace {

// A field shown in a multi-line edit needs CR LF line ends. Only bare LFs and bare
// CRs (old Mac line ends) are widened, so a CR LF that is already there stays.
QString WithCrLf(const QString& field) {
    if (!field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r'))) return field;
    QString out;
    out.reserve(field.size() + 8);
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == QLatin1Char('\n') && (i == 0 || field[i - 1] != QLatin1Char('\r')))
            out.append(QLatin1Char('\r'));
        out.append(field[i]);
        if (field[i] == QLatin1Char('\r') && (i + 1 == field.size() || field[i + 1] != QLatin1Char('\n')))
            out.append(QLatin1Char('\n'));
    }
    return out;
}

QString TrimCrLf(QString token) {
    const auto isCrLf = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };
    qsizetype begin = 0;
    qsizetype end = token.size();
    while (begin < end && isCrLf(token[begin]))
        ++begin;
    while (end > begin && isCrLf(token[end - 1]))
        --end;
    return token.mid(begin, end - begin);
}

// The token from pos up to cutAt, the next one starting at resumeAt; without a cut
// (cutAt < 0) the rest of the text, and the next position is the end.
QString TakeToken(const QString& text, qsizetype pos, qsizetype cutAt, qsizetype resumeAt,
                  qsizetype& nextPos) {
    if (cutAt < 0) {
        nextPos = text.size();
        return TrimCrLf(text.mid(pos));
    }
    nextPos = resumeAt;
    return TrimCrLf(text.mid(pos, cutAt - pos));
}

} // namespace

bool SplitDataListLine(const QString& line, QChar separator, QStringList& out) {
    const QChar quote = QLatin1Char('"');
    out.clear();
    const qsizetype n = line.size();
    qsizetype pos = 0;
    while (pos < n) {
        if (line[pos] != quote) {
            const qsizetype sep = line.indexOf(separator, pos);
            const qsizetype end = sep < 0 ? n : sep;
            out.append(WithCrLf(line.mid(pos, end - pos)));
            pos = sep < 0 ? n : sep + 1;
            continue;
        }
        QString field;
        qsizetype from = pos + 1;
        for (;;) {
            const qsizetype close = line.indexOf(quote, from);
            if (close < 0) return false; // never closed
            field.append(QStringView(line).mid(from, close - from));
            if (close + 1 == n) {
                pos = n;
                break;
            }
            const QChar next = line[close + 1];
            if (next == separator) {
                pos = close + 2;
                break;
            }
            if (next != quote) return false; // closing quote followed by something else
            field.append(quote);             // "" inside a quoted field stands for one quote
            from = close + 2;
        }
        out.append(WithCrLf(field));
    }
    return true;
}

QString NextSemicolonPairToken(const QString& text, qsizetype pos, qsizetype& nextPos) {
    if (pos < 0 || pos >= text.size()) return {};
    const qsizetype run = text.indexOf(QLatin1String(";;"), pos);
    if (run < 0) return TakeToken(text, pos, -1, 0, nextPos);
    qsizetype runEnd = run;
    while (runEnd < text.size() && text[runEnd] == QLatin1Char(';'))
        ++runEnd;
    const qsizetype keep = (runEnd - run) % 2; // an odd run leaves one ';' with the token
    return TakeToken(text, pos, run + keep, runEnd, nextPos);
}

QString NextPipeToken(const QString& text, qsizetype pos, qsizetype& nextPos) {
    if (pos < 0 || pos >= text.size()) return {};
    const qsizetype bar = text.indexOf(QLatin1Char('|'), pos);
    return TakeToken(text, pos, bar, bar + 1, nextPos);
}
