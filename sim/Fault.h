// Faults the simulated reader can be told to commit in its answers, so that tests can
// drive the host's frame layer through every error path.
//
//   sim.inject(Fault::silence());                          // next answer not sent
//   sim.inject(Fault::noise({0x55, 0xAA}).forCommand(0xF0));// junk before the start byte
//   sim.inject(Fault::status(0x88).times(3));               // three answers with status 0x88
//   sim.inject(Fault::dropLink().after(2));                 // link gone at the third request
//
// A fault matches answers (optionally only those to one received command code, as it
// stands on the wire, i.e. after the type 2/3 translation); `after(n)` lets n matching
// answers pass first, `times(n)` affects n answers (`always()`: until cleared).
// Several faults can shape the same answer.
#pragma once

#include "Bytes.h"

#include <chrono>

namespace kqsim {

// Pauses inserted into an answer, one per phase of the host's answer wait.
struct PhaseDelays {
    std::chrono::milliseconds beforeAnswer{0}; // before the first byte (noise or frame)
    std::chrono::milliseconds beforeFrame{0};  // after the noise, before the start of the frame
    std::chrono::milliseconds afterHeader{0};  // after the header the host waits for first (answerWaitHeader)
};

struct Fault {
    enum class Kind {
        Silence,   // no answer at all
        Delay,     // PhaseDelays
        Noise,     // `bytes` before the frame
        Trailing,  // `bytes` after the frame
        BadCheck,  // wrong BCC / CRC (types 0, 1)
        Status,    // status byte replaced by `value`
        Chain,     // payload sent as a chained answer with blocks of `value` bytes
        MaxLength, // payload filled with `bytes` (default 00) to the longest plain answer
        Payload,   // payload replaced by `bytes`
        DropLink,  // the link goes down instead of answering
    };

    Kind kind = Kind::Silence;
    Bytes bytes;
    int value = 0;
    PhaseDelays delays;
    int command = -1; // only answers to this received command code; -1: any
    int skip = 0;     // matching answers to let through first
    int count = 1;    // answers to affect; 0: every one until cleared

    static Fault silence();
    static Fault delay(PhaseDelays delays);
    static Fault noise(Bytes bytes);
    static Fault trailing(Bytes bytes);
    static Fault badCheck();
    static Fault status(std::uint8_t status);
    static Fault chain(int blockSize = 32);
    static Fault maxLength(std::uint8_t fill = 0x00);
    static Fault payload(Bytes bytes);
    static Fault dropLink();

    Fault& forCommand(std::uint8_t code) {
        command = code;
        return *this;
    }
    Fault& after(int answers) {
        skip = answers;
        return *this;
    }
    Fault& times(int answers) {
        count = answers;
        return *this;
    }
    Fault& always() {
        count = 0;
        return *this;
    }
};

} // namespace kqsim
