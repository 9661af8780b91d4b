// Test doubles around the tag-operation engine: a reader API that logs every call the
// engine makes before passing it on (to the real library or to a scripted fake), a
// scripted reader API whose tag needs keys, a tone sink and a key prompt that record what they are asked.
#pragma once

#include "app/KeyPrompt.h"
#include "app/NfcTagAccess.h"
#include "app/ReaderApi.h"
#include "app/ToneSink.h"

#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
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

// Answers in place of the reader library. Tag calls answer through `tag` from the
// call's name and the key offered ("none" or hex).
class FakeReaderApi : public ReaderApi {
public:
    struct Answer {
        int result;
        int lastError;
    };
    using TagModel = std::function<Answer(const std::string& call, const std::string& key)>;

    int openAnswer = 7;
    int closeAnswer = 0;
    std::string readText;
    std::array<std::uint8_t, 8> uid{};
    TagModel tag = [](const std::string&, const std::string&) { return Answer{0, 0}; };

    int OpenPort(const char*, int, int) override { return openAnswer; }
    int ClosePort(int) override { return closeAnswer; }
    int GetLastError(int) override { return m_lastError; }
    int SetWaitMode(int, int) override { return 1; }
    int SetOutputs(int, int, int) override { return 0; }
    int FormatTag(int, const void* key, int keyLen) override { return Call("Format", key, keyLen); }
    int LockTag(int, const void* key, int keyLen) override { return Call("Lock", key, keyLen); }
    int ReadTag(int, char* buf, int len) override {
        const int result = Call("Read", nullptr, 0);
        if (result < 0) return result;
        if (static_cast<int>(readText.size()) + 1 > len) return -1;
        std::memcpy(buf, readText.c_str(), readText.size() + 1);
        return static_cast<int>(readText.size());
    }
    int GetTagUid(int, unsigned char* out, int) override {
        const int result = Call("Uid", nullptr, 0);
        if (result >= 0) std::memcpy(out, uid.data(), uid.size());
        return result < 0 ? result : 8;
    }
    int ChangeTagKey(int, int, const void* curKey, int curKeyLen, const void*, int) override {
        return Call("ChangeKey", curKey, curKeyLen);
    }
    int WriteTag(int, const char*, int, const void* key, int keyLen, int) override {
        return Call("Write", key, keyLen);
    }

private:
    int Call(const std::string& name, const void* key, int keyLen) {
        const Answer answer = tag(name, KeyText(key, keyLen));
        m_lastError = answer.lastError;
        return answer.result;
    }
    int m_lastError = 0;
};

// A tag that opens only with `key` (per call name), failing otherwise with `error`.
FakeReaderApi::TagModel Requires(std::map<std::string, std::string> keys, int error);

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
