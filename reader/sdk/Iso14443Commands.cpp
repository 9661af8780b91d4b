#include "reader/sdk/Iso14443Commands.h"

#include "kqlmx.h"
#include "reader/sdk/ReaderCommands.h"

#include <algorithm>

namespace kq {

namespace {

constexpr int kMaxBlock = 0xFFFF;

bool CheckBlock(CKQ_LMX_Port& port, int block) {
    if (block >= 0 && block <= kMaxBlock) return true;
    port.lastError = KQLMX_ERROR_DATA_TOO_LONG;
    return false;
}

// Selects the bank of `block` unless the reader has it selected already.
bool SelectBank(CKQ_LMX_Port& port, int block) {
    const auto bank = static_cast<uint8_t>(block >> 8);
    if (bank == port.blockBank) return true;
    const uint8_t data[] = {bank};
    if (!SendCommand(port, kCmdBlockBank, data, nullptr)) return false;
    port.blockBank = bank;
    return true;
}

} // namespace

bool RequestTypeA(CKQ_LMX_Port& port, uint16_t& atqa) {
    port.blockBank = 0;
    Bytes answer;
    if (!SendCommand(port, kCmdRequestA, {}, &answer)) return false;
    if (answer.size() != 2) {
        port.lastError = KQLMX_ERROR_ANSWER_TOO_SHORT;
        return false;
    }
    atqa = static_cast<uint16_t>(answer[0] | (answer[1] << 8));
    return true;
}

bool SelectTypeA(CKQ_LMX_Port& port, size_t maxUid, uint8_t& sak, Bytes& uid) {
    port.blockBank = 0;
    Bytes answer;
    if (!SendCommand(port, kCmdSelectA, {}, &answer)) return false;
    if (answer.empty() || answer.size() > maxUid + 1) return false;
    sak = answer[0];
    uid.assign(answer.begin() + 1, answer.end());
    return true;
}

bool RequestAts(CKQ_LMX_Port& port, Bytes& ats) {
    return SendCommand(port, kCmdRequestAts, {}, &ats);
}

bool AuthenticateBlock(CKQ_LMX_Port& port, std::span<const uint8_t> prefix, int keyType,
                       std::span<const uint8_t> key, int block) {
    if (prefix.size() > 255) {
        port.lastError = KQLMX_ERROR_DATA_TOO_LONG;
        return false;
    }
    Bytes data;
    data.push_back(static_cast<uint8_t>(prefix.size()));
    data.insert(data.end(), prefix.begin(), prefix.end());
    data.push_back(static_cast<uint8_t>(block));
    data.push_back(static_cast<uint8_t>(keyType | 2));
    data.insert(data.end(), key.begin(), key.end());
    return SendCommand(port, kCmdAuthenticate, data, nullptr);
}

bool ReadBlock(CKQ_LMX_Port& port, int block, Bytes& data) {
    if (!CheckBlock(port, block) || !SelectBank(port, block)) return false;
    const uint8_t request[] = {static_cast<uint8_t>(block)};
    return SendCommand(port, kCmdReadBlock, request, &data);
}

bool WriteBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> data) {
    if (!CheckBlock(port, block) || !SelectBank(port, block)) return false;
    Bytes request{static_cast<uint8_t>(block)};
    request.insert(request.end(), data.begin(), data.end());
    return SendCommand(port, kCmdWriteBlock, request, nullptr);
}

bool ExchangeApdu(CKQ_LMX_Port& port, std::span<const uint8_t> apdu, size_t capacity, Bytes& answer) {
    answer.clear();
    const size_t limit = std::min(capacity, kMaxApduAnswer);
    uint8_t command = kCmdApdu;
    std::span<const uint8_t> data = apdu;
    for (int part = 1;; ++part) {
        if (part > kMaxApduParts) {
            port.lastError = KQLMX_ERROR_UNEXPECTED_ANSWER;
            return false;
        }
        Bytes payload;
        if (!SendCommand(port, command, data, &payload)) return false;
        const bool more = port.lastError == KQLMX_ERROR_MORE_DATA;
        if (payload.size() > limit - answer.size()) {
            port.lastError = KQLMX_ERROR_BUFFER_TOO_SMALL;
            return false;
        }
        answer.insert(answer.end(), payload.begin(), payload.end());
        if (!more) return true;
        command = kCmdApduNext;
        data = {};
    }
}

} // namespace kq
