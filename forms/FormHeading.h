#pragma once

class CLabel;
class QString;
class QWidget;

// The heading at the top of a form in the main window's pane: a CLabel (control
// 1003) whose text wraps.
CLabel* CreateFormHeading(QWidget* form, const QString& text);
// The heading's style, set when the form is activated: 18-point bold.
void ApplyFormHeadingFont(CLabel* heading);
