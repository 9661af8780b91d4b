#pragma once

// The calls through which the forms reach the main window (MainFrame()). Without a
// main window they do nothing and answer false.

// Empties the result text, shows the neutral icon, resets the engine's result.
void ClearStatusViaMainWnd();
// Starts or stops cyclic writing (timer 2) / cyclic locking (timer 3), without
// messages to the form.
void SetCyclicWriteViaMainWnd(bool on);
void SetCyclicLockViaMainWnd(bool on);
// Shows "Schreiben..." with the waiting icon.
void ShowWritingViaMainWnd();
// The form's data list was loaded or dropped: the tags written from it are forgotten.
void ForgetWrittenTagsViaMainWnd();

bool IsCyclicWriteRunning();
bool IsCyclicLockRunning();
// Any of cyclic reading, writing and locking.
bool IsCyclicJobRunning();
