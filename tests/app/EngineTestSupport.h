// Test doubles around the tag-operation engine: a reader API that logs every call the
// engine makes before passing it on (to the real library or to a scripted fake), a
// tone sink and a key prompt that record what they are asked.
#pragma once

#include "app/KeyPrompt.h"
#include "app/NfcTagAccess.h"
#include "app/ReaderApi.h"
#include "app/ToneSink.h"

#include <QStringList>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kqtest {

using Clock = std::chrono::steady_clock;
using CallLog = QStringList; // QCOMPARE shows where two logs differ

// "none" or the key's 32 hex digits.
std::string KeyText(const void* key, int keyLen);

// Logs each call ("SetWaitMode(1,0)", "FormatTag(key=none)", ...; GetLastError is
// not logged) and passes it on to `inner`.
class RecordingReaderApi : public ReaderApi {
public:
    RecordingReaderApi(std::unique_ptr<ReaderApi> inner, CallLog& log)
        : m_inner(std::move(inner)), m_log(log) {}

    int OpenPort(const char* name, int baud, int timeoutMs) override;
    int ClosePort(int port) override;
    int GetLastError(int port) override { return m_inner->GetLastError(port); }
    int SetWaitMode(int port, int flag) override;
    int SetOutputs(int port, int mask, int value) override;
    int FormatTag(int port, const void* key, int keyLen) override;
    int LockTag(int port, const void* key, int keyLen) override;
    int ReadTag(int port, char* buf, int len) override;
    int GetTagUid(int port, unsigned char* out, int len) override;
    int ChangeTagKey(int port, int flag, const void* curKey, int curKeyLen, const void* newKey,
                     int newKeyLen) override;
    int WriteTag(int port, const char* json, int jsonLen, const void* key, int keyLen,
                 int lockAfter) override;

private:
    std::unique_ptr<ReaderApi> m_inner;
    CallLog& m_log;
};

// What each wait-mode period of a call log holds: true when the log is well formed
// (every SetWaitMode(p,1) closed by exactly one SetWaitMode(p,0) on the same port,
// no tag call outside a period), with `periods` counting the periods.
bool WaitModePaired(const CallLog& log, int& periods, std::string& why);

// Records each beep (and logs "Beep(440,50)"), then takes the tone's time as a real
// sound output does.
class RecordingToneSink : public IToneSink {
public:
    struct Tone {
        int frequencyHz;
        int ms;
        Clock::time_point start;
        Clock::time_point end;
    };
    explicit RecordingToneSink(CallLog& log) : m_log(log) {}
    void Beep(int frequencyHz, int ms) override;
    std::vector<Tone> tones;

private:
    CallLog& m_log;
};

// Answers the key questions from queues (nothing left: cancelled) and keeps them.
class ScriptedKeyPrompt : public IKeyPrompt {
public:
    struct Question {
        int port;
        int keyNumber; // -1 for the protection key
        bool authenticationLayout;
    };
    std::optional<TagKey> AskMasterKey(int port, int keyNumber, bool authenticationLayout) override;
    std::optional<TagKey> AskProtectionKey(int port) override;

    std::deque<std::optional<TagKey>> masterKeys;
    std::deque<std::optional<TagKey>> protectionKeys;
    std::vector<Question> questions;
};

// An engine whose reader calls are logged on their way to `inner`, with a scripted
// key prompt, a recording tone sink and the messages it would have shown.
struct EngineRig {
    explicit EngineRig(std::unique_ptr<ReaderApi> inner);
    ~EngineRig() { engine.reset(); }      // before the doubles' log
    EngineRig(const EngineRig&) = delete; // the message hook knows this object
    EngineRig& operator=(const EngineRig&) = delete;

    CallLog log;
    ReaderApi* inner;
    ScriptedKeyPrompt* prompt;
    RecordingToneSink* tones;
    QStringList messages;
    std::unique_ptr<CNfcTagAccess> engine;

    std::pair<int, int> Result() const { return {engine->Result().state, engine->Result().index}; }
};

} // namespace kqtest

// Runs one operation of `rig` and checks that it held wait mode exactly once, around
// all its tag calls, with exactly one switch-off.
#define KQ_RUN_PAIRED(rig, operation)                                                                        \
    do {                                                                                                     \
        const qsizetype from_ = (rig).log.size();                                                            \
        operation;                                                                                           \
        int periods_ = 0;                                                                                    \
        std::string why_;                                                                                    \
        QVERIFY2(kqtest::WaitModePaired((rig).log.mid(from_), periods_, why_), why_.c_str());                \
        QCOMPARE(periods_, 1);                                                                               \
    } while (0)
