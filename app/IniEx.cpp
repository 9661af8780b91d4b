#include "app/IniEx.h"

namespace {

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

QString DropTrailing(QString s, QChar c) {
    qsizetype end = s.size();
    while (end > 0 && s[end - 1] == c)
        --end;
    s.truncate(end);
    return s;
}

QString DropLeading(const QString& s, QChar c) {
    qsizetype begin = 0;
    while (begin < s.size() && s[begin] == c)
        ++begin;
    return s.mid(begin);
}

} // namespace

bool CIniEx::ParseText(const QString& text) {
    const QChar space = QLatin1Char(' ');
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        while (pos < n && IsLineBreak(text[pos]))
            ++pos;
        qsizetype end = pos;
        while (end < n && !IsLineBreak(text[end]))
            ++end;
        if (end == pos) break;
        QString line = text.mid(pos, end - pos);
        pos = end;

        qsizetype len = line.size();
        while (len > 0 && line[len - 1] == QLatin1Char('\t'))
            --len;
        line.truncate(len);

        if (line.size() >= 2 && line.front() == QLatin1Char('[') && line.back() == QLatin1Char(']')) {
            ++m_currentSection;
            m_currentName = line.mid(1, line.size() - 2);
            continue;
        }
        QString key;
        QString value;
        if (line.startsWith(QLatin1Char(';'))) {
            key = line;
        } else if (const qsizetype eq = line.indexOf(QLatin1Char('=')); eq >= 0) {
            key = DropTrailing(line.left(eq), space);
            value = DropLeading(line.mid(eq + 1), space);
        } else {
            key = DropTrailing(line, space);
        }
        EnsureSection();
        CSection& section = m_sections[m_currentSection];
        section.keys.append(key);
        section.values.append(value);
        section.name = m_currentName;
    }
    return true;
}

int CIniEx::FindSection(const QString& name) const {
    for (qsizetype i = 0; i < m_sections.size(); ++i) {
        if (m_sections[i].name.compare(name, CaseRule()) == 0) return int(i);
    }
    return -1;
}

QString CIniEx::GetValue(const QString& section, const QString& key, const QString& defaultValue) const {
    const int index = FindSection(section);
    if (index < 0) return defaultValue;
    const CSection& s = m_sections[index];
    for (qsizetype i = s.keys.size() - 1; i >= 0; --i) {
        if (s.keys[i].compare(key, CaseRule()) == 0) return s.values[i];
    }
    return defaultValue;
}

void CIniEx::EnsureSection() {
    while (m_sections.size() <= m_currentSection)
        m_sections.append(CSection{});
}
