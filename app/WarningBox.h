#pragma once

class QString;
class QWidget;

// The program's warning: a message box titled "KQ-NFC Programmer" over parent (none:
// over the active window). Without a QApplication (a program or test without
// windows) the text goes to the log instead.
void ShowWarningBox(QWidget* parent, const QString& text);
