#include "reader/transport/KQ_LMX_Port.h"

#include "kqlmx.h"
#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace kq {

namespace {

// Far more than any answer frame, chained ones included. Between exchanges nothing
// takes a reader's bytes: one that keeps sending must not grow the buffer without
// end. Bytes beyond this are dropped then; the answer taken last stays in front.
constexpr size_t kMaxReceivedIdle = 64 * 1024;

using Clock = std::chrono::steady_clock;

} // namespace

bool CKQ_LMX_Port::Claim() {
    bool idle = false;
    if (exchanging_.compare_exchange_strong(idle, true)) return true;
    // A nested call (from an event pumped by the wait) or a second thread must not
    // disturb the exchange that is waiting: it touches none of its buffers.
    lastError = KQLMX_ERROR_PORT_BUSY;
    return false;
}

bool CKQ_LMX_Port::Transceive() {
    if (!Claim()) return false;
    const bool complete = Exchange();
    exchanging_ = false;
    return complete;
}

bool CKQ_LMX_Port::Transceive(std::span<const uint8_t> command) {
    if (!Claim()) return false;
    send_.assign(command.begin(), command.end());
    const bool complete = Exchange();
    exchanging_ = false;
    return complete;
}

// The port is claimed: every received byte is kept from here on (the wait's time-out
// bounds the flow, and its sync step drops what comes before the answer).
bool CKQ_LMX_Port::Exchange() {
    if (send_.empty()) {
        lastError = KQLMX_ERROR_NOTHING_TO_SEND;
        return false;
    }
    if (int error = BuildFrame(send_, protocolType, static_cast<uint8_t>(readerAddress), &expectedAnswer_)) {
        send_.clear();
        lastError = error;
        return false;
    }
    lastError = 0;
    timedOut = false;
    // A line that has hung up (a reader unplugged) cannot answer: waiting out the
    // time-out on every exchange of an operation would hold the program for seconds
    // while its input is shut out. It is told as the reader being gone.
    ReaderLink* link = OpenLink();
    if (link && link->IsDead()) {
        send_.clear();
        timedOutAt_.reset();
        lastError = KQLMX_ERROR_NO_SUCH_PORT;
        timedOut = true;
        return false;
    }
    std::optional<ActiveWindowDisabled> disabled;
    if (!waitMode) disabled.emplace();
    SettleAfterTimeout(link);
    // Without an open link nothing goes out and the wait below runs into its time-out.
    if (link) {
        link->Discard();
        link->Send(send_);
    } else {
        DiscardReceived();
    }
    send_.clear();
    const WaitEnd end = WaitForAnswer(link);
    if (link && end != WaitEnd::Complete) link->DropUnsent();
    if (end == WaitEnd::TimedOut) {
        timedOutAt_ = std::chrono::steady_clock::now();
        timedOutType_ = protocolType;
        timedOutAfterMs_ = timeoutMs;
    }
    // A call refused during the wait has left its own code here; this exchange's
    // outcome is the wait's alone.
    lastError = end == WaitEnd::Complete   ? 0
                : end == WaitEnd::TimedOut ? KQLMX_ERROR_TIMEOUT
                                           : KQLMX_ERROR_NO_SUCH_PORT;
    // No answer at all, whatever the reason: no verdict of the reader or the tag.
    timedOut = end != WaitEnd::Complete;
    return end == WaitEnd::Complete;
}

void CKQ_LMX_Port::SettleAfterTimeout(ReaderLink* link) {
    if (!timedOutAt_) return;
    const Clock::time_point since = *timedOutAt_;
    timedOutAt_.reset();
    // The open's probe goes on in another protocol type, whose check does not take a
    // frame of the old one: it pays no wait.
    if (!link || timedOutType_ != protocolType) return;
    const auto quiet = std::chrono::milliseconds(timedOutAfterMs_);
    // A line that never falls quiet (a reader that keeps sending) holds it no longer.
    const Clock::time_point cap = since + 4 * quiet;
    for (;;) {
        PumpEvents();
        const bool delivered = link->Poll();
        std::unique_lock lock(rxMutex_);
        if (SyncedAnswerLength() > 0) return; // in whole: the flush drops it
        const Clock::time_point now = Clock::now();
        if (now - std::max(since, lastReceivedAt_) > quiet || now > cap || link->Lost()) return;
        if (!delivered) rxArrived_.wait_for(lock, std::chrono::milliseconds(1));
    }
}

size_t CKQ_LMX_Port::SyncedAnswerLength() {
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(LeadingNoise(rx_, protocolType)));
    return CompleteAnswerLength(rx_, protocolType);
}

// Three phases, each with the full time-out: the header minimum, the start byte
// (types 0, 2, 3; leading noise is dropped), the whole frame by its length byte. A
// link that reports itself gone ends the wait at once.
CKQ_LMX_Port::WaitEnd CKQ_LMX_Port::WaitForAnswer(ReaderLink* link) {
    const int type = protocolType;
    const size_t headerMinimum = AnswerHeaderMinimum(type);
    enum class Phase { Header, Sync, Length } phase = Phase::Header;
    auto start = Clock::now();
    for (;;) {
        PumpEvents();
        // HID and Bluetooth deliver here, on this thread: after a step that brought
        // bytes the next report or packet is taken at once, never after a pause.
        const bool delivered = link && link->Poll();
        std::unique_lock lock(rxMutex_);
        for (bool advanced = true; advanced;) {
            advanced = false;
            if (phase == Phase::Header && rx_.size() >= headerMinimum) {
                phase = type == 1 ? Phase::Length : Phase::Sync;
                advanced = true;
            } else if (phase == Phase::Sync) {
                rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(LeadingNoise(rx_, type)));
                if (rx_.size() >= headerMinimum) {
                    phase = Phase::Length;
                    advanced = true;
                }
            } else if (phase == Phase::Length && CompleteAnswerLength(rx_, type) > 0) {
                return WaitEnd::Complete;
            }
            if (advanced) start = Clock::now();
        }
        if (link && link->Lost()) return WaitEnd::LinkLost;
        if (Clock::now() - start > std::chrono::milliseconds(timeoutMs)) return WaitEnd::TimedOut;
        // The serial and TCP threads signal what they deliver; a step of a polled link
        // that took nothing pauses as briefly.
        if (!delivered) rxArrived_.wait_for(lock, std::chrono::milliseconds(1));
    }
}

bool CKQ_LMX_Port::ReceiveAnswer(Bytes& payload) {
    Bytes frame;
    {
        std::lock_guard lock(rxMutex_);
        size_t length = CompleteAnswerLength(rx_, protocolType);
        if (length == 0) length = rx_.size();
        frame.assign(rx_.begin(), rx_.begin() + static_cast<long>(length));
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(length));
    }
    const AnswerVerdict verdict = ParseAnswer(frame, protocolType, expectedAnswer_, payload);
    if (verdict.error) lastError = verdict.error;
    return verdict.good;
}

bool CKQ_LMX_Port::ReceiveAck() {
    Bytes scratch;
    return ReceiveAnswer(scratch);
}

bool CKQ_LMX_Port::ReceiveIso15693Answer(Bytes& payload) {
    if (!ReceiveAnswer(payload)) return false;
    const AnswerVerdict verdict = ParseIso15693Payload(payload, protocolType);
    if (verdict.error) lastError = verdict.error;
    return verdict.good;
}

std::array<ReaderLink*, 5> CKQ_LMX_Port::Links() const {
    return {
        attached_.get(), &serial_, &tcp_, &hid_, &bluetooth_,
    };
}

ReaderLink* CKQ_LMX_Port::OpenLink() const {
    for (ReaderLink* link : Links())
        if (link && link->IsOpen()) return link;
    return nullptr;
}

int CKQ_LMX_Port::GetHandle() const {
    for (const ReaderLink* link : Links())
        if (int handle = link ? link->Handle() : 0) return handle;
    return 0;
}

void CKQ_LMX_Port::Close() {
    // Each link closes only what it has open, so all are asked.
    for (ReaderLink* link : Links())
        if (link) link->Close();
}

void CKQ_LMX_Port::OnReceive(std::span<const uint8_t> bytes) {
    {
        std::lock_guard lock(rxMutex_);
        const size_t room =
            exchanging_ ? bytes.size() : kMaxReceivedIdle - std::min(rx_.size(), kMaxReceivedIdle);
        rx_.insert(rx_.end(), bytes.begin(), bytes.begin() + static_cast<long>(std::min(bytes.size(), room)));
        if (!bytes.empty()) lastReceivedAt_ = Clock::now();
    }
    rxArrived_.notify_all();
}

void CKQ_LMX_Port::DiscardReceived() {
    std::lock_guard lock(rxMutex_);
    rx_.clear();
}

} // namespace kq
