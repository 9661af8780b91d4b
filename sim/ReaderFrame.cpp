#include "ReaderFrame.h"

#include "Checksum.h"

#include <algorithm>

namespace kqsim {

namespace {
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kSync = 0x1E;
} // namespace

RequestParser::RequestParser(int protocolType, int address) {
    reset(protocolType, address);
}

void RequestParser::reset(int protocolType, int address) {
    type_ = protocolType;
    address_ = static_cast<std::uint8_t>(address);
    buffer_.clear();
}

void RequestParser::feed(const std::uint8_t* data, std::size_t size, std::vector<Request>& requests,
                         std::vector<Discarded>& discarded) {
    buffer_.insert(buffer_.end(), data, data + size);
    while (takeOne(requests, discarded)) {
    }
}

void RequestParser::dropPartial(std::vector<Discarded>& discarded) {
    if (!buffer_.empty()) drop(buffer_.size(), "unfinished frame", discarded);
}

void RequestParser::drop(std::size_t count, const std::string& reason, std::vector<Discarded>& discarded) {
    count = std::min(count, buffer_.size());
    Bytes bytes(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
    // Consecutive drops for the same reason (noise byte by byte) make one entry.
    if (!discarded.empty() && discarded.back().reason == reason) {
        discarded.back().bytes.insert(discarded.back().bytes.end(), bytes.begin(), bytes.end());
    } else {
        discarded.push_back({std::move(bytes), reason});
    }
}

// Takes one request, or drops bytes that cannot start one; false when it has to wait
// for more bytes.
bool RequestParser::takeOne(std::vector<Request>& requests, std::vector<Discarded>& discarded) {
    if (buffer_.empty()) return false;
    if (type_ == 1) {
        // No start byte: a frame begins with our address and is recognised by its CRC.
        if (buffer_[0] != address_) {
            drop(1, "no frame start", discarded);
            return true;
        }
    } else {
        std::uint8_t start = type_ == 0 ? kStx : kSync;
        if (buffer_[0] != start) {
            auto it = std::find(buffer_.begin(), buffer_.end(), start);
            drop(static_cast<std::size_t>(it - buffer_.begin()), "no frame start", discarded);
            return !buffer_.empty();
        }
    }
    // [start] [address] command length data... [check]
    const std::size_t lengthAt = type_ == 0 ? 3 : 2;
    const std::size_t trailer = type_ == 0 ? 1 : type_ == 1 ? 2 : 0;
    if (buffer_.size() <= lengthAt) return false;
    const std::size_t total = lengthAt + 1 + buffer_[lengthAt] + trailer;
    if (buffer_.size() < total) return false;
    if (type_ == 0 && xorCheck(buffer_.data() + 1, total - 2) != buffer_[total - 1]) {
        drop(1, "wrong BCC", discarded);
        return true;
    }
    if (type_ == 1) {
        std::uint16_t crc = crc16Modbus(buffer_.data(), total - 2);
        if (buffer_[total - 2] != (crc & 0xFF) || buffer_[total - 1] != (crc >> 8)) {
            drop(1, "wrong CRC", discarded);
            return true;
        }
    }
    if (type_ == 0 && buffer_[1] != address_) {
        drop(total, "frame for address " + std::to_string(buffer_[1]), discarded);
        return true;
    }
    auto at = [this](std::size_t i) { return buffer_.begin() + static_cast<std::ptrdiff_t>(i); };
    Request r;
    r.command = buffer_[lengthAt - 1];
    r.data.assign(at(lengthAt + 1), at(total - trailer));
    r.raw.assign(at(0), at(total));
    buffer_.erase(at(0), at(total));
    requests.push_back(std::move(r));
    return true;
}

std::size_t maxPlainPayload(int protocolType) {
    return protocolType <= 1 ? 250 : 252;
}

std::size_t answerHeaderSize(int protocolType) {
    return protocolType == 0 ? 4 : 3;
}

std::size_t answerWaitHeader(int protocolType) {
    return protocolType <= 1 ? 4 : 3;
}

Bytes encodeAnswer(int protocolType, std::uint8_t address, std::uint8_t status, const Bytes& payload,
                   const AnswerLayout& layout) {
    Bytes frame;
    if (protocolType == 0) frame.push_back(kStx);
    if (protocolType <= 1) frame.push_back(address);
    if (protocolType >= 2) frame.push_back(kSync);
    frame.push_back(status);
    if (layout.chained) {
        frame.push_back(0xFF);
        std::size_t block = static_cast<std::size_t>(std::clamp(layout.chainBlock, 1, 254));
        for (std::size_t pos = 0; pos < payload.size(); pos += block) {
            std::size_t n = std::min(block, payload.size() - pos);
            frame.push_back(static_cast<std::uint8_t>(n));
            frame.insert(frame.end(), payload.begin() + static_cast<std::ptrdiff_t>(pos),
                         payload.begin() + static_cast<std::ptrdiff_t>(pos + n));
        }
        frame.push_back(0xFF);
    } else {
        frame.push_back(static_cast<std::uint8_t>(payload.size()));
        frame.insert(frame.end(), payload.begin(), payload.end());
    }
    if (protocolType == 0) {
        std::uint8_t bcc = xorCheck(frame.data() + 1, frame.size() - 1);
        frame.push_back(layout.corruptCheck ? static_cast<std::uint8_t>(~bcc) : bcc);
    } else if (protocolType == 1) {
        std::uint16_t crc = crc16Modbus(frame.data(), frame.size());
        if (layout.corruptCheck) crc = static_cast<std::uint16_t>(~crc);
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    }
    return frame;
}

} // namespace kqsim
