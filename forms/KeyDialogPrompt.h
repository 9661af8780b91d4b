#pragma once

#include "app/KeyPrompt.h"

// The engine's key questions answered by the key dialogs, shown modally over the
// main window: the master-key dialog, the protection-key dialog.
class CKeyDialogPrompt : public IKeyPrompt {
public:
    std::optional<TagKey> AskMasterKey(int port, int keyNumber, bool authenticationLayout) override;
    std::optional<TagKey> AskProtectionKey(int port) override;
};
