#include "app/NfcTagAccess.h"

#include "app/ProfileSettings.h"
#include "app/SystemToneSink.h"
#include "app/WarningBox.h"
#include "content/RecordJsonReader.h"
#include "content/RecordJsonWriter.h"
#include "content/TagErrorCode.h"
#include "forms/PortDlg.h"
#include "kqlmx.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <climits>
#include <span>
#include <thread>
#include <vector>

namespace {

constexpr int kDesfireAuthenticationError = 0x100AE; // the card's own status 0xAE

bool IsAuthenticationError(int lastError) {
    return lastError == kDesfireAuthenticationError || lastError == kTagErrorDesfireCardAuthentication ||
           lastError == kTagErrorDesfireAppAuthentication;
}

// The key cache entries (first numbers) offered silently for a master key: a key of
// the NFC application is only ever offered for the NFC application; for the card's
// master key the card's own entry comes first, then the application's.
std::span<const int> KnownKeysFor(int keyNumber) {
    static constexpr int kCard[] = {IKeyPrompt::kCardMasterKey, IKeyPrompt::kNfcApplicationMasterKey};
    static constexpr int kApplication[] = {IKeyPrompt::kNfcApplicationMasterKey};
    if (keyNumber == IKeyPrompt::kCardMasterKey) return kCard;
    return kApplication;
}

// Wait mode on for the length of an operation; off again on every way out.
class WaitModeScope {
public:
    WaitModeScope(ReaderApi& api, int port) : m_api(api), m_port(port) { m_api.SetWaitMode(m_port, 1); }
    ~WaitModeScope() { m_api.SetWaitMode(m_port, 0); }
    WaitModeScope(const WaitModeScope&) = delete;
    WaitModeScope& operator=(const WaitModeScope&) = delete;

private:
    ReaderApi& m_api;
    const int m_port;
};

} // namespace

CNfcTagAccess::CNfcTagAccess(std::unique_ptr<ReaderApi> api)
    : m_api(std::move(api)), m_toneSink(std::make_unique<SystemToneSink>()),
      m_keyPrompt(std::make_unique<CancelledKeyPrompt>()),
      m_messageHook([](const QString& text) { ShowWarningBox(nullptr, text); }) {}

CNfcTagAccess::~CNfcTagAccess() {
    ClosePort();
}

void CNfcTagAccess::SetToneSink(std::unique_ptr<IToneSink> sink) {
    m_toneSink = std::move(sink);
}

void CNfcTagAccess::SetKeyPrompt(std::unique_ptr<IKeyPrompt> prompt) {
    m_keyPrompt = std::move(prompt);
}

void CNfcTagAccess::SetMessageHook(MessageHook hook) {
    m_messageHook = std::move(hook);
}

void CNfcTagAccess::ShowMessage(const QString& text) {
    if (m_messageHook) m_messageHook(text);
}

// ---- Port -------------------------------------------------------------------------

bool CNfcTagAccess::PreparePort() {
    ResetResult();
    if (!EnsurePortOpen()) return false;
    SetResult(OperationResult::kSuccess, OperationResult::kPortReady);
    return true;
}

bool CNfcTagAccess::EnsurePortOpen() {
    if (m_port > 0) return true;
    // Built only to read the stored choice (it also corrects a stored USB reader
    // that is no longer attached); never shown here.
    const CPortDlg settings;
    const QByteArray openName = settings.GetOpenName().toUtf8();
    const int handle =
        m_api->OpenPort(openName.constData(), settings.Baudrate, ProfileSettings::PortTimeout());
    if (handle <= 0) {
        m_port = 0;
        SetResult(OperationResult::kError, OperationResult::kNoConnection);
        return false;
    }
    m_port = handle;
    return true;
}

void CNfcTagAccess::ClosePort() {
    if (m_port > 0 && m_api->ClosePort(m_port) == -1)
        ShowMessage(QCoreApplication::translate("CNfcTagAccess", "KQLMX_ClosePort meldet Fehler"));
    m_port = 0;
}

// ---- Tag operations ---------------------------------------------------------------

void CNfcTagAccess::ReadTag(std::unique_ptr<CNfcTagData>& item) {
    item.reset();
    ResetResult();
    if (!EnsurePortOpen()) return;
    const WaitModeScope waitMode(*m_api, m_port);
    // Every record the library can write must read back, and its JSON text can be
    // several times the record's bytes (escaped control characters, a contact's
    // members): a text too long for the buffer is asked for again in a larger one.
    std::vector<char> buffer(kReadBufferSize);
    int length = m_api->ReadTag(m_port, buffer.data(), static_cast<int>(buffer.size()));
    while (length < 0 && static_cast<int>(buffer.size()) < kMaxReadBufferSize &&
           m_api->GetLastError(m_port) == KQLMX_ERROR_BUFFER_TOO_SMALL) {
        buffer.assign(buffer.size() * 4, '\0');
        length = m_api->ReadTag(m_port, buffer.data(), static_cast<int>(buffer.size()));
    }
    if (length < 0) {
        MapSdkError();
        return;
    }
    SetResult(OperationResult::kSuccess, OperationResult::kRead);
    m_readFlag = true;
    // A formatted tag without a record gives an empty text, hence no item; a text
    // that does not parse gives none either.
    const std::string_view text(buffer.data(), std::min(static_cast<size_t>(length), buffer.size()));
    if (JsonToNfcTagData(text, item) == RecordJsonResult::kUnknownKind)
        SetResult(OperationResult::kUnknownRecord, OperationResult::kUnknownDataType);
}

void CNfcTagAccess::ReadUid(std::array<std::uint8_t, 8>& uid) {
    uid.fill(0);
    ResetResult();
    if (!EnsurePortOpen()) return;
    const WaitModeScope waitMode(*m_api, m_port);
    if (m_api->GetTagUid(m_port, uid.data(), static_cast<int>(uid.size())) < 0) {
        uid.fill(0);
        MapSdkError();
        return;
    }
    SetResult(OperationResult::kSuccess, OperationResult::kRead);
}

bool CNfcTagAccess::Format() {
    return RunKeyed(
        [this](const std::uint8_t* key, int keyLen) { return m_api->FormatTag(m_port, key, keyLen); },
        IKeyPrompt::kCardMasterKey, OperationResult::kWritten, false);
}

bool CNfcTagAccess::Lock() {
    return RunKeyed(
        [this](const std::uint8_t* key, int keyLen) { return m_api->LockTag(m_port, key, keyLen); },
        IKeyPrompt::kCardMasterKey, OperationResult::kLocked, false);
}

bool CNfcTagAccess::SetPassword(int flag) {
    ResetResult();
    const std::optional<TagKey> newKey = m_keyPrompt->AskProtectionKey(m_port);
    if (!newKey) {
        SetResult(OperationResult::kError, OperationResult::kCancelled);
        return false;
    }
    return RunKeyed(
        [this, flag, &newKey](const std::uint8_t* currentKey, int currentKeyLen) {
            return m_api->ChangeTagKey(m_port, flag & 0xFF, currentKey, currentKeyLen, newKey->data(),
                                       static_cast<int>(newKey->size()));
        },
        IKeyPrompt::kCardMasterKey, OperationResult::kKeySet, false);
}

bool CNfcTagAccess::WriteJson(std::string_view json, bool lock) {
    const char* text = json.empty() ? "" : json.data();
    const int length = static_cast<int>(std::min<size_t>(json.size(), INT_MAX));
    return RunKeyed(
        [this, text, length, lock](const std::uint8_t* key, int keyLen) {
            return m_api->WriteTag(m_port, text, length, key, keyLen, lock ? 1 : 0);
        },
        IKeyPrompt::kNfcApplicationMasterKey, OperationResult::kWritten, true);
}

bool CNfcTagAccess::RunKeyed(const KeyedCall& call, int keyNumber, int successIndex, bool isWrite) {
    ResetResult();
    if (!EnsurePortOpen()) return false;
    const WaitModeScope waitMode(*m_api, m_port);

    int answer = call(nullptr, 0);
    if (answer < 0 && IsAuthenticationError(m_api->GetLastError(m_port))) {
        TagKey key{};
        for (int first : KnownKeysFor(keyNumber)) {
            if (m_keys.FindKey(first, 0, &key)) {
                answer = call(key.data(), static_cast<int>(key.size()));
                break;
            }
        }
        if (answer < 0) {
            // A write that now meets a write-protected tag asks with the form that
            // says so.
            const bool authenticationLayout =
                !(isWrite && m_api->GetLastError(m_port) == kTagErrorWriteProtected);
            const std::optional<TagKey> entered =
                m_keyPrompt->AskMasterKey(m_port, keyNumber, authenticationLayout);
            if (!entered) {
                SetResult(OperationResult::kError, OperationResult::kCancelled);
                return false;
            }
            answer = call(entered->data(), static_cast<int>(entered->size()));
            // Kept under the number it was asked for, which is where the next
            // authentication error of the same kind looks first.
            if (answer >= 0) m_keys.SetKey(keyNumber, 0, *entered);
        }
    }
    if (answer < 0) {
        MapSdkError();
        if (isWrite && m_api->GetLastError(m_port) == kTagErrorMessageTooLarge && answer > INT_MIN)
            m_result.extraNumber = -answer;
        return false;
    }
    SetResult(OperationResult::kSuccess, successIndex);
    return true;
}

bool CNfcTagAccess::WriteBookmark(std::string_view url, std::string_view title, bool lock) {
    return WriteJson(BookmarkToJson(url, title), lock);
}

bool CNfcTagAccess::WriteMail(std::string_view address, std::string_view subject, std::string_view message,
                              std::string_view title, bool lock) {
    return WriteJson(MailToJson(address, subject, message, title), lock);
}

bool CNfcTagAccess::WriteVCard(const CVCardMime& contact, bool lock) {
    return WriteJson(VCardToJson(contact), lock);
}

bool CNfcTagAccess::WriteSms(std::string_view number, std::string_view message, std::string_view title,
                             bool lock) {
    return WriteJson(SmsToJson(number, message, title), lock);
}

bool CNfcTagAccess::WriteTelephon(std::string_view number, std::string_view title, bool lock) {
    return WriteJson(TelephonToJson(number, title), lock);
}

bool CNfcTagAccess::WriteText(std::string_view text, bool lock) {
    return WriteJson(TextToJson(text), lock);
}

void CNfcTagAccess::SetPending(std::string json, bool lock) {
    m_pendingJson = std::move(json);
    m_pendingLock = lock;
}

bool CNfcTagAccess::WritePending() {
    return WriteJson(m_pendingJson, m_pendingLock);
}

// ---- Result -----------------------------------------------------------------------

void CNfcTagAccess::ResetResult() {
    m_result = OperationResult{};
    m_readFlag = false;
}

void CNfcTagAccess::SetResult(int state, int index) {
    m_result.state = state;
    m_result.index = index;
}

void CNfcTagAccess::GetResult(int& state, int& index, int* extraNumber, QString* extraText) const {
    state = m_result.state;
    index = m_result.index;
    if (extraNumber) *extraNumber = m_result.extraNumber;
    if (extraText) *extraText = m_result.extraText;
}

void CNfcTagAccess::MapSdkError() {
    const int error = m_api->GetLastError(m_port);
    const ResultCode code = SdkErrorToResultIndex(error);
    SetResult(code.state, code.index);
    // The port is gone (its reader unplugged): the line is let go, so that the next
    // operation opens the stored port again and finds a reader plugged back in.
    if (error == KQLMX_ERROR_NO_SUCH_PORT) ClosePort();
}

void CNfcTagAccess::BeepWithLed(int frequencyHz, int totalMs, int count) {
    if (totalMs <= 0 || count <= 0) return;
    const int length = totalMs / (2 * count - 1); // of each beep and each pause
    for (int i = 0; i < count; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(length));
        if (m_port > 0) m_api->SetOutputs(m_port, kBeepOutput, kBeepOutput);
        m_toneSink->Beep(frequencyHz, length);
        if (m_port > 0) m_api->SetOutputs(m_port, kBeepOutput, 0);
    }
}
