#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// Cutting a data list into records and fields. The text is already decoded
// (DecodeTextFile); positions are QString indexes.

// One line of a *.csv data list into its fields (out is emptied first).
// A field that starts with '"' is quoted: it runs to the '"' followed by the
// separator or by the line's end, and a doubled quote inside it stands for one
// quote. Any other field runs to the next separator; a line that ends with the
// separator gets no empty last field. Line breaks inside a field become CR LF.
// False for a malformed line (a quote never closed, or a closing quote followed by
// something else); the fields before the fault stay in out.
bool SplitDataListLine(const QString& line, QChar separator, QStringList& out);

// The next record of a *.txt data list: the text from pos up to the next run of
// ';' of length two or more ("x;;;y" gives "x;" then "y": an odd run leaves one ';'
// with the record). nextPos is set past the run, or to the text's length when no
// ";;" follows. At or past the end the token is empty and nextPos is left alone.
// CR and LF are trimmed from both ends of the token.
QString NextSemicolonPairToken(const QString& text, qsizetype pos, qsizetype& nextPos);

// The next field of a *.txt record: up to the next '|' (nextPos after it) or the
// rest of the text; CR and LF trimmed at both ends; empty and nextPos untouched at
// or past the end.
QString NextPipeToken(const QString& text, qsizetype pos, qsizetype& nextPos);
