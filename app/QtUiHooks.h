#pragma once

// The Qt side of the reader library's answer wait (KQLMX_SetUiHooks). While the
// library waits for a reader's answer it pumps events without user input (timers
// and painting go on; a click or key waits until the answer is there, so no second
// exchange can start in the middle of one), disables the active window and takes the
// keyboard focus away, restoring both afterwards (windows are held weakly: a pumped
// event may delete them), and shows the wait cursor around long link operations.
void InstallQtUiHooks();
// Back to the library's defaults, which do nothing.
void RemoveQtUiHooks();

// Waits ms milliseconds the same way: timers and painting go on, user input waits.
void WaitWithoutUserInput(int ms);
