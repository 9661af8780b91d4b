// What the simulated reader does with a request: the reader commands (version, baud
// rate, RF field, outputs, USB mode) and the tag commands it carries out on the tags in
// its field. The frame around requests and answers is ReaderFrame's; faults and the
// line are the Simulator's.
//
// Tag commands and their answers (payloads; the frame adds status and length):
//   30 request          -> ATQA, low byte first. The reader halts the tag selected
//                          before and sends WUPA (once more if nothing answered), so a
//                          tag can be found again and again without leaving the field.
//   31 select           -> SAK, UID. Full anticollision over the cascade levels; among
//                          several tags the one with a 1 at the first differing bit wins.
//   33 authenticate     prefix length, prefix, block, key type|2, 6-byte key -> ack
//   34 read block       block -> the tag's READ answer (16 bytes for Type 2)
//   35 write block      block, 4 bytes (WRITE) or 16 bytes (COMPATIBILITY_WRITE) -> ack
//   3A block bank       bank -> ack; SECTOR_SELECT of that sector on the selected tag
//   41 activation       -> ATS (RATS with FSDI 5, CID 0)
//   45 APDU             APDU -> response; with protocol type 0 a response longer than one
//                          answer comes in parts, status 20 while more follows
//   46 next part        -> the next response part
//   20 ISO 15693        flags, command, parameters (types 2/3: a mode byte first)
//                          -> the tag's response (type 2: a reader status byte first,
//                          00 good, 01 no tag, 02 collision). Inventory (command 01):
//                          slot records [len][status][flags DSFID UID]: status 00 tag,
//                          01 empty, 02 collision (type 3: CC); one record per slot,
//                          16 slots, or 1 with the one-slot flag. One-slot inventory
//                          of type 3 answers the bare response (or no tag / collision
//                          status), of type 2 a lone reader status when no tag or a
//                          collision. Two tags in one slot always collide.
//
// Wire command codes by protocol type (types 2 and 3 use their own codes for some
// commands; the host translates them):
//
//   meaning                    type 0/1   type 2     type 3
//   version                    F0         0B         60
//   baud rate                  F2         F2         F2
//   RF field off / on          F5 00/01   0D / 0C    0D / 0C
//   outputs (mask, value)      F6         07         07
//   USB mode                   FF         0F         FF
//   ISO 15693 transparent      20         28 +mode   21 +mode
//   type A request .. APDU     30 31 33 34 35 3A 41 45 46 (all types)
#pragma once

#include "Bytes.h"
#include "Field.h"
#include "FrameLog.h"
#include "ReaderConfig.h"
#include "ReaderFrame.h"
#include <chrono>
#include <utility>

#include <optional>

namespace kqsim {

class TypeATag;

// Why a command failed, as the reader reports it in the answer's status byte.
enum class ReaderError {
    NoTag,          // no tag answered (field off, tag gone, tag not selected)
    Collision,      // several tags answered at once
    AuthFailed,     // authentication refused by the tag
    TagRefused,     // the tag answered with a NAK or an error
    UnknownCommand, // the reader has no such command
    BadParameter,   // missing or malformed command data
    AnswerTooLong,  // an answer that no frame of this protocol type can hold
};

struct ReaderReply {
    enum class Kind { Ok, More, Error };
    Kind kind = Kind::Ok;
    ReaderError error = ReaderError::BadParameter;
    Bytes payload;

    static ReaderReply ok(Bytes payload = {}) {
        return {Kind::Ok, ReaderError::BadParameter, std::move(payload)};
    }
    static ReaderReply more(Bytes payload) {
        return {Kind::More, ReaderError::BadParameter, std::move(payload)};
    }
    static ReaderReply fail(ReaderError error) { return {Kind::Error, error, {}}; }
};

// The answer's status byte for a reply to `wireCommand`:
//   types 0/1: 00 good, 20 good with more data to fetch (type 0), else the error code
//              01 no tag, 03 collision, 04 authentication, 11 tag refused (the number
//              that 88 of types 2/3 becomes on the host, and none of the host's own
//              codes), 0A unknown command, 0B bad parameter, 0C answer too long;
//   types 2/3: the command byte itself when good, else C4 no tag, CC collision,
//              A4 authentication, 88 tag refused, A0 unknown command or bad parameter
//              or answer too long.
// These codes are the simulator's choice where the host only maps them.
std::uint8_t answerStatus(int protocolType, std::uint8_t wireCommand, const ReaderReply& reply);

class ReaderFirmware {
public:
    ReaderFirmware(const ReaderConfig& config, FrameLog& log, Field& field);

    ReaderReply execute(const Request& request);
    // The time the tags took on the air and in their memory for the requests executed
    // since the last call (the reader answers only after it); resets it.
    std::chrono::microseconds takeTagTime() { return std::exchange(tagTime_, std::chrono::microseconds(0)); }
    // True for the commands that go to the tags in the field.
    bool isTagCommand(std::uint8_t command) const;

    // A baud-rate command switches the line only after its acknowledgement has gone out
    // at the old rate; the simulator takes the new setting here once it has answered.
    std::optional<LineSettings> takeLineChange();

    ReaderConfig& config() { return config_; }
    const ReaderConfig& config() const { return config_; }
    int baud() const { return baud_; }
    int lineMode() const { return lineMode_; }
    void setLine(int baud, int lineMode);
    bool rfField() const { return rfField_; }
    std::uint8_t outputs() const { return outputs_; }
    int usbMode() const { return usbMode_; }
    const std::vector<OutputChange>& outputHistory() const { return outputHistory_; }
    void clearOutputHistory() { outputHistory_.clear(); }

private:
    enum class Op {
        Version,
        BaudRate,
        RfField,
        RfOn,
        RfOff,
        Outputs,
        UsbMode,
        Request,
        Select,
        Authenticate,
        ReadBlock,
        WriteBlock,
        Bank,
        Activate,
        Apdu,
        ApduNext,
        Iso15693,
        Unknown,
    };
    Op decode(std::uint8_t command) const;

    ReaderReply version(const Bytes& data) const;
    ReaderReply baudRate(const Bytes& data);
    ReaderReply setRfField(bool on);
    ReaderReply setOutputs(const Bytes& data);
    ReaderReply setUsbMode(const Bytes& data);

    // ISO 14443-3A / -4
    ReaderReply requestA();
    ReaderReply selectA();
    ReaderReply authenticate(const Bytes& data);
    ReaderReply readBlock(const Bytes& data);
    ReaderReply writeBlock(const Bytes& data);
    ReaderReply selectBank(const Bytes& data);
    ReaderReply activate();
    ReaderReply apdu(const Bytes& data);
    ReaderReply apduNext();
    ReaderReply apduPart();
    // Sends a frame to the type A tags; only an ACTIVE one answers.
    ReaderReply toActiveTag(const Bytes& frame, ReaderError nakError = ReaderError::TagRefused);
    std::vector<TypeATag*> typeATags() const;

    // ISO 15693
    ReaderReply iso15693(const Bytes& data);
    ReaderReply inventory(const Bytes& frame);
    ReaderReply vicinityAnswer(const Bytes& response) const;
    ReaderReply vicinityFailure(ReaderError error) const;

    ReaderConfig config_;
    FrameLog& log_;
    Field& field_;
    Bytes apduPending_;
    int baud_;
    int lineMode_;
    bool rfField_;
    std::uint8_t outputs_ = 0;
    int usbMode_ = 0; // 0 until the host sets one (1 HID, 2 virtual COM)
    std::optional<LineSettings> lineChange_;
    std::chrono::microseconds tagTime_{0};
    std::vector<OutputChange> outputHistory_;
};

} // namespace kqsim
