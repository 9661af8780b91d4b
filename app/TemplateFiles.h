#pragma once

#include <QString>
#include <QStringList>

// Template (*.tdp) and data-list (*.csv, *.txt) files: reading and writing them, and
// the record keyword that chooses their form.
//
// Both are text files, read as UTF-8 when they are valid UTF-8 and else as
// Windows-1252 (files made by the Windows program), and written as UTF-8 with CR LF
// line ends.

// Files larger than this are refused: no record of a tag comes near it.
inline constexpr qsizetype kMaxRecordFileBytes = 100000;

// The view id of the form whose keyword a template's first line is, compared
// exactly; 0 for none.
int TemplateViewId(const QString& firstLine);
// The view id of the form whose keyword a data list's header begins with, letter
// case aside; 0 for none.
int DataListViewId(const QString& header);

// A whole template or data list, decoded. On failure text is empty and error says
// why: the file could not be opened or is no plain file (a FIFO, a device), is
// larger than kMaxRecordFileBytes, or holds
// NUL bytes (binary data or UTF-16, which is not read).
struct RecordFileText {
    QString text;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
RecordFileText ReadRecordFile(const QString& path);

// A template's lines without their line ends (LF, CR LF, or the CR CR LF that the
// Windows program wrote for a line break inside a value); the end of the last line
// makes no empty line after it.
QStringList SplitTemplateLines(const QString& text);
// Writes the lines, each ended by CR LF (a line break inside a line is written as CR
// LF too), through a temporary file that replaces the file only when all of it is
// written: a failed save leaves the file as it was. False when the save failed.
bool WriteTemplateFile(const QString& path, const QStringList& lines);

// The lines of a CSV data list: separated by CR LF (a lone LF inside a quoted field
// belongs to the field); a text without any CR LF, as Linux programs write them, is
// separated by the LFs outside quoted fields. A lone CR outside quoted fields (old
// Mac line ends, also mixed with the others) separates lines in every text. The end
// of the last line makes no empty line after it.
QStringList SplitCsvLines(const QString& text);

// The user's documents folder with a '/' at its end, made when missing; empty when
// there is none.
QString DocumentsFolder();
