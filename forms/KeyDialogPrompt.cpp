#include "forms/KeyDialogPrompt.h"

#include "app/MainFrame.h"
#include "forms/MasterkeyAuthentDlg.h"
#include "forms/SetDesfireKeysDlg.h"

std::optional<TagKey> CKeyDialogPrompt::AskMasterKey(int port, int keyNumber, bool authenticationLayout) {
    CMasterkeyAuthentDlg dialog(port, keyNumber, authenticationLayout, MainFrame());
    if (dialog.exec() != 1) return std::nullopt;
    return dialog.KeyBytes;
}

std::optional<TagKey> CKeyDialogPrompt::AskProtectionKey(int port) {
    CSetDesfireKeysDlg dialog(port, MainFrame());
    if (dialog.exec() != 1) return std::nullopt;
    return dialog.KeyBytes;
}
