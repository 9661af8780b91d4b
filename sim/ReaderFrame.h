// The reader's side of the wire frames: taking host requests out of the received
// byte stream and laying out answers, for protocol types 0 to 3.
//
//   type 0  request 02 addr cmd len data.. BCC      answer 02 addr status len data.. BCC
//           (BCC = XOR of addr through the last data byte)
//   type 1  request addr cmd len data.. CRClo CRChi answer addr status len data.. CRClo CRChi
//           (CRC-16/MODBUS over addr through the last data byte)
//   type 2/3 request 1E cmd len data..              answer 1E status len data..
//
// An answer whose length byte is 0xFF is chained: count-prefixed blocks ended by a
// 0xFF count, then the check bytes of the whole frame.
#pragma once

#include "Bytes.h"

#include <string>
#include <vector>

namespace kqsim {

struct Request {
    std::uint8_t command = 0;
    Bytes data;
    Bytes raw; // the whole frame as received
};

// Bytes that formed no request addressed to this reader, with the reason.
struct Discarded {
    Bytes bytes;
    std::string reason;
};

// Collects received bytes and cuts them into requests. Bytes in front of a start byte,
// frames with a wrong check and frames for another address are handed back as
// discarded; an unfinished frame waits for more bytes.
class RequestParser {
public:
    RequestParser(int protocolType, int address);

    void reset(int protocolType, int address);
    void feed(const std::uint8_t* data, std::size_t size, std::vector<Request>& requests,
              std::vector<Discarded>& discarded);
    bool hasPartial() const { return !buffer_.empty(); }
    // Gives up an unfinished frame (the line went quiet in the middle of it).
    void dropPartial(std::vector<Discarded>& discarded);

private:
    bool takeOne(std::vector<Request>& requests, std::vector<Discarded>& discarded);
    void drop(std::size_t count, const std::string& reason, std::vector<Discarded>& discarded);

    int type_;
    std::uint8_t address_;
    Bytes buffer_;
};

struct AnswerLayout {
    bool chained = false;      // send the payload as a chain of count-prefixed blocks
    int chainBlock = 32;       // payload bytes per chain block (1..254)
    bool corruptCheck = false; // invert the check byte(s) (types 0 and 1)
};

// Largest payload of a plain answer, so that the frame stays within 255 bytes:
// 250 for types 0 and 1, 252 for types 2 and 3.
std::size_t maxPlainPayload(int protocolType);

// Header bytes of an answer up to and including the length byte (4 for type 0,
// 3 otherwise).
std::size_t answerHeaderSize(int protocolType);

// Bytes a host's answer wait takes in before it reads on by the length byte: 4 for
// types 0 and 1 (type 1's length byte is its third, but no answer is shorter than
// 5 bytes), 3 for types 2 and 3.
std::size_t answerWaitHeader(int protocolType);

Bytes encodeAnswer(int protocolType, std::uint8_t address, std::uint8_t status, const Bytes& payload,
                   const AnswerLayout& layout = {});

} // namespace kqsim
