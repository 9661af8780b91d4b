#pragma once

class QString;
class QWidget;

// The program's warning: a message box titled "KQ-NFC Programmer" over parent (none:
// over the active window). Without a QApplication (a program or test without
// windows) the text goes to the log instead.
void ShowWarningBox(QWidget* parent, const QString& text);

// The text as a message box shows it: the program's texts put a blank before a
// closing '?' or '!' ("Überschreiben ?"); it becomes a non-breaking one, so that the
// mark never wraps onto a line of its own.
QString BoxText(const QString& text);
