#pragma once

class CLabel;
class QString;
class QWidget;

// The heading at the top of a form in the main window's pane: a CLabel whose text
// wraps, with its control id (1003 on every form but the telephone-number form) as
// its object name.
CLabel* CreateFormHeading(QWidget* form, const QString& text, int id = 1003);
// The heading's style, set when the form is activated: 18-point bold.
void ApplyFormHeadingFont(CLabel* heading);
