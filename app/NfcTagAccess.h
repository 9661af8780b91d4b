#pragma once

#include "app/CardStatus.h"
#include "app/KeyPrompt.h"
#include "app/OperationResult.h"
#include "app/ReaderApi.h"
#include "app/ToneSink.h"

#include "content/NfcTagData.h"
#include "content/VCardMime.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The tag-operation engine: the one object through which the program acts on the tag
// lying on the reader (write a record, read the tag's record, format, lock, set a
// protection key, poll the UID, write the pending record of a cyclic write). It holds
// the reader port, opened from the "Port" settings on first use and kept open; the
// keys that have opened tags during this run; the pending record; and the result of
// the last operation, which callers read with GetResult.
//
// Every operation starts by resetting the result and reports through it, never by a
// message box. The port's wait mode is on for the length of each operation, so that
// the reader's answer waits leave the windows alone; every way out switches it off
// again. User-interface thread only.
//
// Texts are UTF-8.
class CNfcTagAccess {
public:
    // Shows a message (the only one: a failing port close). Default: a warning box.
    using MessageHook = std::function<void(const QString& text)>;

    // The buffer ReadTag first offers the reader library for the record text: room
    // for the escaped text of the largest message the supported tags hold. A text
    // the library finds too long for it is asked for again in a buffer four times
    // as large, up to kMaxReadBufferSize: an NDEF message has at most 65,535 bytes,
    // whose text, every byte escaped, stays below 1 MiB; past that the reader, not
    // the buffer, is at fault and asking again would only read the tag once more.
    static constexpr int kReadBufferSize = 64 * 1024;
    static constexpr int kMaxReadBufferSize = 1024 * 1024;
    // The reader output that lights while a beep sounds.
    static constexpr int kBeepOutput = 16;

    // `api`: the reader library's calls (tests put their own in its place).
    explicit CNfcTagAccess(std::unique_ptr<ReaderApi> api = std::make_unique<ReaderApi>());
    // Closes the port.
    ~CNfcTagAccess();
    CNfcTagAccess(const CNfcTagAccess&) = delete;
    CNfcTagAccess& operator=(const CNfcTagAccess&) = delete;

    // Where beeps go (default: SystemToneSink), who is asked for keys (default:
    // every question cancelled), how a message is shown.
    void SetToneSink(std::unique_ptr<IToneSink> sink);
    void SetKeyPrompt(std::unique_ptr<IKeyPrompt> prompt);
    void SetMessageHook(MessageHook hook);

    // ---- Port -------------------------------------------------------------------
    // Opens the port when needed; result (0, 4) "port ready" or (1, 12).
    bool PreparePort();
    // True at once when the port is open. Otherwise opens it with the stored "Port"
    // settings (name and address as CPortDlg::GetOpenName forms them, "Baudrate",
    // "Timeout" default 500 ms); failing, sets the result (1, 12). Does not reset the
    // result.
    bool EnsurePortOpen();
    // Closes the port; a close the reader library refuses is shown as a message.
    void ClosePort();
    bool IsPortOpen() const { return m_port > 0; }

    // ---- Tag operations ---------------------------------------------------------
    // The tag's record: `item` receives it, or none when the tag holds no record
    // (result (0, 1), read flag set), a record of an unknown kind (3, 40), or on an
    // error of the reader (its table entry).
    void ReadTag(std::unique_ptr<CNfcTagData>& item);
    // The tag's UID (8 bytes, zeros when there is none); result (0, 1) or the error.
    void ReadUid(std::array<std::uint8_t, 8>& uid);
    // Format for NFC (success (0, 2)), lock for ever (0, 3). On an authentication
    // error they try the keys that worked before, then ask for the card's master key.
    bool Format();
    bool Lock();
    // Protects the tag with a new key asked from the user: flag 0 its configuration,
    // flag 1 its configuration and data. Success (0, 5); cancelled (1, 10).
    bool SetPassword(int flag);

    // Writes one record given as record JSON text, then makes the tag read-only when
    // `lock`. An empty text formats the tag. Success (0, 2); a record that does not
    // fit gives (1, 27) with the number of excess characters as the extra number. On
    // an authentication error the key of the NFC application that worked before is
    // tried, then the user is asked for it.
    bool WriteJson(std::string_view json, bool lock);
    bool WriteBookmark(std::string_view url, std::string_view title, bool lock);
    bool WriteMail(std::string_view address, std::string_view subject, std::string_view message,
                   std::string_view title, bool lock);
    bool WriteVCard(const CVCardMime& contact, bool lock);
    bool WriteSms(std::string_view number, std::string_view message, std::string_view title, bool lock);
    bool WriteTelephon(std::string_view number, std::string_view title, bool lock);
    bool WriteText(std::string_view text, bool lock);

    // The record a cyclic write puts on each new tag, and its lock flag.
    void SetPending(std::string json, bool lock);
    bool WritePending();

    // ---- Result -----------------------------------------------------------------
    // State -1, index 0, extra number 0, extra text empty, read flag clear.
    void ResetResult();
    // Changes state and index only.
    void SetResult(int state, int index);
    void GetResult(int& state, int& index, int* extraNumber = nullptr, QString* extraText = nullptr) const;
    const OperationResult& Result() const { return m_result; }
    // Set by a successful ReadTag: the tag is NFC formatted, maybe without a record.
    bool ReadFlag() const { return m_readFlag; }
    // The template file name shown with "Vorlage gespeichert".
    void SetExtraText(const QString& text) { m_result.extraText = text; }
    // Sets the result from the port's last error; a port that is gone (error 3) is
    // closed, and the next operation opens it anew.
    void MapSdkError();

    // `count` beeps of `frequencyHz` and count-1 pauses between them, all of equal
    // length, filling `totalMs`; the reader's output 16 lights during each beep
    // when the port is open. Nothing when totalMs or count is 0 or less.
    void BeepWithLed(int frequencyHz, int totalMs, int count);

private:
    // One try of a keyed operation: the key, or null and 0 for none. The reader
    // library's answer (below 0: failed).
    using KeyedCall = std::function<int(const std::uint8_t* key, int keyLen)>;
    // Runs `call` without a key, on an authentication error again with a known key,
    // then with one the user types for master key `keyNumber` (IKeyPrompt numbers).
    bool RunKeyed(const KeyedCall& call, int keyNumber, int successIndex, bool isWrite);
    void ShowMessage(const QString& text);

    std::unique_ptr<ReaderApi> m_api;
    std::unique_ptr<IToneSink> m_toneSink;
    std::unique_ptr<IKeyPrompt> m_keyPrompt;
    MessageHook m_messageHook;

    int m_port = 0; // 0 or below: no port open
    CCardStatus m_keys;
    std::string m_pendingJson;
    bool m_pendingLock = false;
    OperationResult m_result;
    bool m_readFlag = false;
};
