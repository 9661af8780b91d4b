#pragma once

class QLineEdit;
class QString;
class QWidget;

// Whole-number edit fields of the dialogs.

// Sets a field up for a number in [min, max]: keys that can never give such a
// number are refused as they are typed, with the range shown in a tip at the field.
void PrepareIntField(QLineEdit* field, int min, int max);

// Takes the number when the dialog is confirmed. A field that holds no whole
// number, or one outside [min, max], is refused: a message box says what is
// expected, the field gets the focus with its text selected, value is left
// unchanged and the answer is false (the dialog stays open). Dialogs check their
// fields in order and stop at the first refusal.
bool ExchangeIntField(QWidget* dialog, QLineEdit* field, int& value, int min, int max);

// "Bitte geben Sie eine ganze Zahl zwischen min und max ein." in the current language.
QString IntRangeMessage(int min, int max);
