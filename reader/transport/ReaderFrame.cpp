#include "reader/transport/ReaderFrame.h"

#include "kqlmx.h"

namespace kq {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kTypeTwoThreeStart = 0x1E;
constexpr uint8_t kChain = 0xFF;

bool IsTypeTwoThree(int type) {
    return type == 2 || type == 3;
}

size_t LengthIndex(int type) {
    return type == 0 ? 3 : 2;
}

// Frame bytes around the data of a plain answer: header plus check bytes.
size_t FrameOverhead(int type) {
    return IsTypeTwoThree(type) ? 3 : 5;
}

size_t TrailerSize(int type) {
    return type == 0 ? 1 : type == 1 ? 2 : 0;
}

bool IsAddressedIsoCommand(uint8_t isoCommand) {
    return isoCommand == 0x21 || isoCommand == 0x22 || isoCommand == 0x27 || isoCommand == 0x29;
}

// Command translation of protocol types 2 and 3. A data byte that the translation
// needs but the frame lacks reads as 0.
void TranslateCommand(uint8_t& cmd, Bytes& data, int type) {
    const bool two = type == 2;
    switch (cmd) {
    case 0x20: {
        const bool addressed = data.size() > 1 && IsAddressedIsoCommand(data[1]);
        cmd = two ? 0x28 : 0x21;
        const uint8_t mode = two ? (addressed ? 1 : 0) : (addressed ? 8 : 4);
        data.insert(data.begin(), mode);
        break;
    }
    case 0x21:
        cmd = 0x29;
        break;
    case 0xF0:
        cmd = two ? 0x0B : 0x60;
        break;
    case 0xF5:
        cmd = (data.empty() || data[0] == 0) ? 0x0D : 0x0C;
        if (!data.empty()) data.erase(data.begin());
        break;
    case 0xF6:
    case 0xF7:
        cmd = 0x07;
        break;
    case 0xF9:
    case 0xFA:
        if (two) cmd = 0x0E;
        break;
    case 0xFF:
        if (two) cmd = 0x0F;
        break;
    default:
        break;
    }
}

int MapTypeZeroStatus(uint8_t status) {
    switch (status) {
    case 3:
    case 25:
        return 23;
    case 7:
        return 44;
    default:
        return status;
    }
}

// Reader status of types 2/3 that is not the repeated command: 0 when unknown.
int MapTypeTwoThreeStatus(uint8_t status) {
    switch (status) {
    case 0x88:
        return 17;
    case 0xA0:
        return 24;
    case 0xA4:
        return 20;
    case 0xC4:
    case 0xC5:
        return 21;
    case 0xCC:
        return 23;
    default:
        return 0;
    }
}

int MapIso15693Error(uint8_t code) {
    switch (code) {
    case 0x01:
        return 32;
    case 0x02:
        return 33;
    case 0x03:
        return 34;
    case 0x0F:
        return 35;
    case 0x10:
        return 36;
    case 0x11:
        return 37;
    case 0x12:
        return 38;
    case 0x13:
        return 39;
    case 0x14:
        return 40;
    default:
        return (code >= 0xA0 && code <= 0xDF) ? code : 41;
    }
}

} // namespace

uint16_t Crc16Modbus(std::span<const uint8_t> bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

uint8_t XorCheck(std::span<const uint8_t> bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes)
        x ^= b;
    return x;
}

int BuildFrame(Bytes& buffer, int type, uint8_t address, uint8_t* expectedAnswer) {
    uint8_t cmd = buffer.front();
    Bytes data(buffer.begin() + 1, buffer.end());
    if (IsTypeTwoThree(type)) TranslateCommand(cmd, data, type);
    if (data.size() > 255) return KQLMX_ERROR_DATA_TOO_LONG;
    *expectedAnswer = cmd;
    const auto len = static_cast<uint8_t>(data.size());
    Bytes frame;
    frame.reserve(data.size() + 6);
    if (type == 0) frame.push_back(kStx);
    if (IsTypeTwoThree(type))
        frame.push_back(kTypeTwoThreeStart);
    else
        frame.push_back(address);
    frame.push_back(cmd);
    frame.push_back(len);
    frame.insert(frame.end(), data.begin(), data.end());
    if (type == 0) {
        frame.push_back(XorCheck(std::span(frame).subspan(1)));
    } else if (type == 1) {
        const uint16_t crc = Crc16Modbus(frame);
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
    }
    buffer = std::move(frame);
    return 0;
}

size_t AnswerHeaderMinimum(int type) {
    return IsTypeTwoThree(type) ? 3 : 4;
}

size_t LeadingNoise(std::span<const uint8_t> received, int type) {
    if (type == 1) return 0;
    const uint8_t start = type == 0 ? kStx : kTypeTwoThreeStart;
    size_t n = 0;
    while (n < received.size() && received[n] != start)
        ++n;
    return n;
}

size_t CompleteAnswerLength(std::span<const uint8_t> received, int type) {
    if (received.size() < AnswerHeaderMinimum(type)) return 0;
    const size_t lengthIndex = LengthIndex(type);
    const uint8_t len = received[lengthIndex];
    if (len != kChain) {
        const size_t total = len + FrameOverhead(type);
        return received.size() >= total ? total : 0;
    }
    size_t pos = lengthIndex + 1;
    while (pos < received.size()) {
        const uint8_t count = received[pos];
        if (count == kChain) {
            const size_t total = pos + 1 + TrailerSize(type);
            return received.size() >= total ? total : 0;
        }
        pos += count + 1;
    }
    return 0;
}

AnswerVerdict ParseAnswer(std::span<const uint8_t> frame, int type, uint8_t expectedAnswer, Bytes& payload) {
    payload.clear();
    if (frame.empty()) return {false, KQLMX_ERROR_EMPTY_ANSWER};
    const size_t header = type == 0 ? 4 : 3;
    const bool chained = frame.size() > LengthIndex(type) && frame[LengthIndex(type)] == kChain;
    const size_t trailer = TrailerSize(type) + (chained ? 1 : 0);
    if (frame.size() < header + trailer) return {false, KQLMX_ERROR_ANSWER_TOO_SHORT};

    if (type == 0 && XorCheck(frame.subspan(1, frame.size() - 2)) != frame.back())
        return {false, KQLMX_ERROR_CHECK_BYTES};
    if (type == 1) {
        const uint16_t crc = Crc16Modbus(frame.first(frame.size() - 2));
        if (crc != (frame[frame.size() - 2] | (frame.back() << 8))) return {false, KQLMX_ERROR_CHECK_BYTES};
    }

    AnswerVerdict verdict{true, 0};
    if (type == 0) {
        const uint8_t status = frame[2];
        if (status == 0x20)
            verdict.error = KQLMX_ERROR_MORE_DATA;
        else if (status != 0)
            return {false, MapTypeZeroStatus(status)};
    } else if (type == 1) {
        if (frame[1] != 0) return {false, frame[1]};
    } else {
        const uint8_t status = frame[1];
        if (int mapped = MapTypeTwoThreeStatus(status)) return {false, mapped};
        if (status != expectedAnswer) return {false, KQLMX_ERROR_UNEXPECTED_ANSWER};
    }
    payload.assign(frame.begin() + static_cast<long>(header), frame.end() - static_cast<long>(trailer));
    return verdict;
}

AnswerVerdict ParseIso15693Payload(Bytes& payload, int type) {
    if (payload.empty()) return {false, 42};
    if (type == 2) {
        const uint8_t readerStatus = payload.front();
        payload.erase(payload.begin());
        if (readerStatus == 1) return {false, 21};
        if (readerStatus == 2) return {false, 23};
        if (readerStatus == 8) return {false, KQLMX_ERROR_CHECK_BYTES};
        if (payload.empty()) return {false, KQLMX_ERROR_ANSWER_TOO_SHORT};
    }
    const uint8_t flags = payload.front();
    payload.erase(payload.begin());
    if ((flags & 0x01) == 0) return {true, 0};
    if (payload.empty()) return {false, 42};
    return {false, MapIso15693Error(payload.front())};
}

} // namespace kq
