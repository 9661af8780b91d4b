#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The file dialogs of the template and data-list commands. The main window asks
// through a FileDialogFunction, which tests replace, so that no dialog ever waits
// for a user there.
struct FileDialogRequest {
    enum Mode { Open, Save };
    Mode mode = Open;
    // The folder and the name proposed; a name with '*' is a pattern ("*.tdp").
    QString proposedPath;
    // Name filters as Qt writes them ("NFC-Daten Vorlage (*.tdp *.TDP)"), and the
    // one selected at first.
    QStringList filters;
    int selectedFilter = 0;
    // Added to a chosen name without an extension ("tdp", "csv", "txt").
    QString defaultSuffix;
};

// Shows the dialog: the path chosen, empty when the user cancelled. A save asks
// before it overwrites a file.
using FileDialogFunction = std::function<QString(QWidget* parent, const FileDialogRequest& request)>;

// The program's dialog (QFileDialog).
QString ShowFileDialog(QWidget* parent, const FileDialogRequest& request);

// Qt name filters from a filter text of the string table, written as pairs of a
// description and its patterns separated by '|' and closed by "||":
// "Textdateien (*.TXT)|*.txt|CSV-Dateien (*.CSV)|*.csv||" gives "Textdateien (*.txt
// *.TXT)" and "CSV-Dateien (*.csv *.CSV)": each pattern in both letter cases, as the
// names of files made on Windows may be written either way.
QStringList NameFilters(const QString& pairs);
