#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A small in-memory INI model for the version file of the update check: sections
// of keys and values, parsed from text and looked up by name. Section names and
// keys are compared without regard to letter case.

// One section: its name (empty for the lines before the first header) and its keys
// with their values, in file order (values[i] belongs to keys[i]).
struct CSection {
    QString name;
    QStringList keys;
    QStringList values;
};

class CIniEx {
public:
    CIniEx() = default;
    virtual ~CIniEx() = default;

    // Appends the text's sections, keys and values; never fails on content.
    // Lines are cut at every run of CR and LF; trailing TABs are dropped. A line
    // "[name]" starts a section (which comes into being only with its first key
    // line); a line starting with ';' is kept as a key with an empty value; any
    // other line is "key = value" (key's trailing and value's leading blanks
    // dropped) or, without '=', a key with an empty value.
    bool ParseText(const QString& text);

    // Index of the first section with that name, or -1.
    int FindSection(const QString& name) const;

    // The value of the key in the first section of that name (the last of equal
    // keys wins), or defaultValue when the section or key is missing.
    QString GetValue(const QString& section, const QString& key, const QString& defaultValue) const;

    // Appends empty sections until there is one at the current section index.
    void EnsureSection();

    const QList<CSection>& Sections() const { return m_sections; }

private:
    Qt::CaseSensitivity CaseRule() const { return m_ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive; }

    QList<CSection> m_sections;
    qint32 m_currentSection = 0;
    QString m_currentName;
    bool m_ignoreCase = true;
};

// The form the update check reads its version file with.
class CPrivateProfile : public CIniEx {
public:
    QString GetString(const QString& section, const QString& key, const QString& defaultValue) const {
        return GetValue(section, key, defaultValue);
    }
};
