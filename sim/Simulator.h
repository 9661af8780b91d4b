// The reader simulator: one simulated reader (identity, protocol type, address, serial
// line, RF field, outputs, USB mode), the tags in its field, the faults it is told to
// commit and the log of everything on the line. Thread-safe: a transport thread feeds
// it received bytes while a test places and removes tags, injects faults or reads the
// log; every public call takes the simulator's lock for its own length only.
//
// Start it on a pty (see PtyTransport.h):
//
//   kqsim::Simulator sim({.typeCode = 0x184, .protocolType = 0});
//   kqsim::PtyTransport pty(sim);            // serves the pty master in its own thread
//   std::string path = pty.slavePath();      // open this as the serial port
//
// or in-process for unit tests (InProcessEndpoint.h). Destroy transports before their
// simulator (declare the simulator first). Tags come from TagFactory.h or
// the family classes:
//
//   kqsim::TagId id = sim.placeTag(kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213));
//   sim.removeTagAfter(id, 3);               // vanishes after 3 more tag commands
//   kqsim::Bytes mem = *sim.tagMemory(id);   // what the host wrote
//   std::unique_ptr<kqsim::Tag> tag = sim.removeTag(id);
#pragma once

#include "ByteService.h"
#include "Fault.h"
#include "Field.h"
#include "FrameLog.h"
#include "ReaderConfig.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace kqsim {

class ReaderFirmware;
class RequestParser;
struct Request;

// A snapshot of the reader's changeable state.
struct ReaderState {
    int protocolType = 0;
    int address = 1;
    int baud = 19200;
    int lineMode = kLine8N1;
    bool pacing = false;
    bool rfField = true;
    std::uint8_t outputs = 0;
    int usbMode = 0;
};

class Simulator : public ByteService {
public:
    explicit Simulator(const ReaderConfig& config = {});
    ~Simulator() override;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // --- reader -------------------------------------------------------------------
    ReaderConfig config() const;
    ReaderState readerState() const;
    void setIdentity(int typeCode, int firmwareDigit);
    void setProtocolType(int protocolType); // also forgets a half-received frame
    void setAddress(int address);
    // The reader's own line. It understands only bytes sent at this rate and mode.
    void setLine(int baud, int lineMode = kLine8N1);
    void setPacing(bool on);

    // --- field --------------------------------------------------------------------
    // Places a tag in the field (it powers up idle); 0 for a null tag.
    TagId placeTag(std::unique_ptr<Tag> tag);
    // Takes a tag out of the field and hands it back (null when there is no such tag).
    std::unique_ptr<Tag> removeTag(TagId id);
    std::vector<std::unique_ptr<Tag>> removeAllTags();
    // Takes tag `id` out and puts `replacement` in, in one step; returns the new id (0
    // when `id` names no tag; `replacement` is then not placed). The tag taken out goes
    // to `removed` when given.
    TagId swapTag(TagId id, std::unique_ptr<Tag> replacement, std::unique_ptr<Tag>* removed = nullptr);
    // Tag `id` leaves the field after it has seen `commands` more tag commands (0: before
    // the next one), wherever the host is in its operation. False when there is no such tag.
    bool removeTagAfter(TagId id, int commands);
    // Tag `id` answers `commands` more tag commands, then misses the next one once (as
    // after a lost frame or a weak field) and halts: it is back, in its power-up state,
    // for the command after, and answers again once the host re-activates it. False
    // when there is no such tag.
    bool blipTagAfter(TagId id, int commands);
    // A tag that left the field through removeTagAfter, handed back once (null when
    // there is none), so that a test can put it back as the host left it.
    std::unique_ptr<Tag> takeVanished(TagId id);
    std::vector<TagId> tagIds() const;
    // Runs `fn` on the tag under the simulator's lock; false when there is no such tag.
    // `fn` must not call the simulator (its lock is held).
    bool withTag(TagId id, const std::function<void(Tag&)>& fn);
    std::optional<Bytes> tagMemory(TagId id) const;
    std::string describeTags() const; // one line per tag: "1 ntag213 04 A1 ..."

    // --- faults -------------------------------------------------------------------
    void inject(const Fault& fault);
    void clearFaults();
    // Takes the link down now: every attached transport closes its side.
    void dropLink();

    // --- log ----------------------------------------------------------------------
    std::vector<LogEntry> log() const;
    std::vector<LogEntry> log(LogKind kind) const; // entries of one kind only
    std::vector<OutputChange> outputHistory() const;
    std::string formatLog(std::size_t lastEntries = 0) const; // 0: all
    void clearLog();
    // What the tags took on the air and in their memory (datasheet times) since the
    // last clearLog(); each answer waits for it.
    std::chrono::microseconds tagTime() const;
    // The tag commands the reader took since the last clearLog() (requests, selects,
    // authentications, block, ISO 15693 and APDU commands), the count removeTagAfter
    // goes by.
    int tagCommandCount() const;
    void logEvent(const std::string& text);

    // --- transports ---------------------------------------------------------------
    // Hands received bytes to the reader. `line` is how the host has set up the line;
    // bytes sent at another rate or mode are not understood (logged as discarded).
    // Without `line` the line is taken to match.
    Outgoing receive(const std::uint8_t* data, std::size_t size,
                     const std::optional<LineSettings>& line) override;
    void attach(LinkControl* link) override;
    void detach(LinkControl* link) override;

private:
    struct AppliedFaults;
    AppliedFaults takeFaults(std::uint8_t command);
    void answer(const Request& request, Outgoing& out);
    std::unique_ptr<Tag> takeOut(TagId id, const char* how);
    void removeDueTags(bool afterCommand);

    struct PendingRemoval {
        TagId id;
        int commands;
    };

    mutable std::mutex mutex_;
    FrameLog log_;
    Field field_;
    std::vector<PendingRemoval> removals_;
    std::vector<PendingRemoval> blips_;
    std::unique_ptr<ReaderFirmware> firmware_;
    std::unique_ptr<RequestParser> parser_;
    std::vector<Fault> faults_;
    std::vector<LinkControl*> links_;
    Clock::time_point lastReceived_;
    std::chrono::microseconds tagTime_{0};
    int tagCommands_ = 0;
    std::vector<std::pair<TagId, std::unique_ptr<Tag>>> vanished_;
};

} // namespace kqsim
