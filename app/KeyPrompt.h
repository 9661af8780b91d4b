#pragma once

#include "app/TagKey.h"

#include <optional>

// How the tag-operation engine asks the user for a key in the middle of an
// operation (the port's wait mode is on meanwhile). The key dialogs implement it;
// the default answers every question with "cancelled".
class IKeyPrompt {
public:
    // Which master key is asked for.
    static constexpr int kCardMasterKey = 0;
    static constexpr int kNfcApplicationMasterKey = 1;

    virtual ~IKeyPrompt() = default;

    // The master key that should open the tag on `port`. `authenticationLayout`
    // true: the "Authentifizierung" form; false: the form that says the tag is write
    // protected. Nothing when the user cancels.
    virtual std::optional<TagKey> AskMasterKey(int port, int keyNumber, bool authenticationLayout) = 0;

    // The new key that is to protect the tag; nothing when the user cancels.
    virtual std::optional<TagKey> AskProtectionKey(int port) = 0;
};

// Until the key dialogs are installed: every question is cancelled.
class CancelledKeyPrompt : public IKeyPrompt {
public:
    std::optional<TagKey> AskMasterKey(int, int, bool) override { return std::nullopt; }
    std::optional<TagKey> AskProtectionKey(int) override { return std::nullopt; }
};
