#include "app/MainWndForwarders.h"

#include "app/MainFrame.h"

void ClearStatusViaMainWnd() {
    if (CMainFrame* frame = MainFrame()) frame->ClearStatus();
}

void SetCyclicWriteViaMainWnd(bool on) {
    if (CMainFrame* frame = MainFrame()) frame->SetCyclicWrite(on);
}

void SetCyclicLockViaMainWnd(bool on) {
    if (CMainFrame* frame = MainFrame()) frame->SetCyclicLock(on);
}

void ShowWritingViaMainWnd() {
    if (CMainFrame* frame = MainFrame()) frame->ShowWriting();
}

void ForgetWrittenTagsViaMainWnd() {
    if (CMainFrame* frame = MainFrame()) frame->ForgetWrittenTags();
}

bool IsCyclicWriteRunning() {
    const CMainFrame* frame = MainFrame();
    return frame && frame->IsCyclicWriteRunning();
}

bool IsCyclicLockRunning() {
    const CMainFrame* frame = MainFrame();
    return frame && frame->IsCyclicLockRunning();
}

bool IsCyclicJobRunning() {
    const CMainFrame* frame = MainFrame();
    return frame && frame->IsCyclicJobRunning();
}
