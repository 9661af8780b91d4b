#include "EngineTestSupport.h"

#include <cstdio>
#include <thread>

namespace kqtest {
namespace {

std::string Format(const char* format, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

bool IsTagCall(const QString& entry) {
    for (const char* name :
         {"FormatTag(", "LockTag(", "ReadTag(", "GetTagUid(", "ChangeTagKey(", "WriteTag("})
        if (entry.startsWith(QLatin1String(name))) return true;
    return false;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

std::string KeyText(const void* key, int keyLen) {
    if (!key || keyLen <= 0) return "none";
    std::string text;
    for (int i = 0; i < keyLen; ++i)
        text += Format("%02X", static_cast<const unsigned char*>(key)[i]);
    return text;
}

int RecordingReaderApi::OpenPort(const char* name, int baud, int timeoutMs) {
    m_log.append(Q(Format("OpenPort(%s,%d,%d)", name ? name : "(null)", baud, timeoutMs)));
    return m_inner->OpenPort(name, baud, timeoutMs);
}

int RecordingReaderApi::ClosePort(int port) {
    m_log.append(Q(Format("ClosePort(%d)", port)));
    return m_inner->ClosePort(port);
}

int RecordingReaderApi::SetWaitMode(int port, int flag) {
    m_log.append(Q(Format("SetWaitMode(%d,%d)", port, flag)));
    return m_inner->SetWaitMode(port, flag);
}

int RecordingReaderApi::SetOutputs(int port, int mask, int value) {
    m_log.append(Q(Format("SetOutputs(%d,%d,%d)", port, mask, value)));
    return m_inner->SetOutputs(port, mask, value);
}

int RecordingReaderApi::FormatTag(int port, const void* key, int keyLen) {
    m_log.append(Q("FormatTag(key=" + KeyText(key, keyLen) + ")"));
    return m_inner->FormatTag(port, key, keyLen);
}

int RecordingReaderApi::LockTag(int port, const void* key, int keyLen) {
    m_log.append(Q("LockTag(key=" + KeyText(key, keyLen) + ")"));
    return m_inner->LockTag(port, key, keyLen);
}

int RecordingReaderApi::ReadTag(int port, char* buf, int len) {
    m_log.append(Q(Format("ReadTag(%d)", len)));
    return m_inner->ReadTag(port, buf, len);
}

int RecordingReaderApi::GetTagUid(int port, unsigned char* out, int len) {
    m_log.append(Q(Format("GetTagUid(%d)", len)));
    return m_inner->GetTagUid(port, out, len);
}

int RecordingReaderApi::ChangeTagKey(int port, int flag, const void* curKey, int curKeyLen,
                                     const void* newKey, int newKeyLen) {
    m_log.append(Q(Format("ChangeTagKey(%d,", flag) + "cur=" + KeyText(curKey, curKeyLen) +
                   ",new=" + KeyText(newKey, newKeyLen) + ")"));
    return m_inner->ChangeTagKey(port, flag, curKey, curKeyLen, newKey, newKeyLen);
}

int RecordingReaderApi::WriteTag(int port, const char* json, int jsonLen, const void* key, int keyLen,
                                 int lockAfter) {
    m_log.append(Q(Format("WriteTag(len=%d,", jsonLen) + "key=" + KeyText(key, keyLen) +
                   Format(",lock=%d)", lockAfter)));
    return m_inner->WriteTag(port, json, jsonLen, key, keyLen, lockAfter);
}

bool WaitModePaired(const CallLog& log, int& periods, std::string& why) {
    periods = 0;
    int openPort = 0; // the port of the open period, 0 outside one
    for (const QString& entry : log) {
        int port = 0, flag = 0;
        if (std::sscanf(entry.toUtf8().constData(), "SetWaitMode(%d,%d)", &port, &flag) == 2) {
            if (flag != 0 && openPort != 0) return why = "wait mode switched on twice", false;
            if (flag == 0 && openPort != port) return why = "wait mode switched off outside a period", false;
            openPort = flag != 0 ? port : 0;
            if (flag != 0) ++periods;
        } else if (IsTagCall(entry) && openPort == 0) {
            return why = entry.toStdString() + " outside wait mode", false;
        }
    }
    if (openPort != 0) return why = "wait mode left on", false;
    return true;
}

void RecordingToneSink::Beep(int frequencyHz, int ms) {
    m_log.append(Q(Format("Beep(%d,%d)", frequencyHz, ms)));
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    tones.push_back({frequencyHz, ms, start, Clock::now()});
}

std::optional<TagKey> ScriptedKeyPrompt::AskMasterKey(int port, int keyNumber, bool authenticationLayout) {
    questions.push_back({port, keyNumber, authenticationLayout});
    if (masterKeys.empty()) return std::nullopt;
    const std::optional<TagKey> key = masterKeys.front();
    masterKeys.pop_front();
    return key;
}

std::optional<TagKey> ScriptedKeyPrompt::AskProtectionKey(int port) {
    questions.push_back({port, -1, false});
    if (protectionKeys.empty()) return std::nullopt;
    const std::optional<TagKey> key = protectionKeys.front();
    protectionKeys.pop_front();
    return key;
}

EngineRig::EngineRig(std::unique_ptr<ReaderApi> innerApi) : inner(innerApi.get()) {
    engine = std::make_unique<CNfcTagAccess>(std::make_unique<RecordingReaderApi>(std::move(innerApi), log));
    auto keyPrompt = std::make_unique<ScriptedKeyPrompt>();
    prompt = keyPrompt.get();
    engine->SetKeyPrompt(std::move(keyPrompt));
    auto sink = std::make_unique<RecordingToneSink>(log);
    tones = sink.get();
    engine->SetToneSink(std::move(sink));
    engine->SetMessageHook([this](const QString& text) { messages << text; });
}

} // namespace kqtest
