#include "Simulator.h"

#include "ReaderFirmware.h"
#include "ReaderFrame.h"
#include "Tag.h"

#include <algorithm>
#include <cstdio>

namespace kqsim {

namespace {
// A frame that stops arriving for this long is given up, as a reader's receiver does
// after a pause in the middle of a frame.
constexpr auto kFrameGap = std::chrono::milliseconds(50);

std::string lineText(int baud, int lineMode) {
    return std::to_string(baud) + " " + lineModeName(lineMode);
}
} // namespace

Simulator::Simulator(const ReaderConfig& config)
    : firmware_(std::make_unique<ReaderFirmware>(config, log_, field_)),
      parser_(std::make_unique<RequestParser>(config.protocolType, config.address)) {}

Simulator::~Simulator() = default;

ReaderConfig Simulator::config() const {
    std::lock_guard lock(mutex_);
    return firmware_->config();
}

ReaderState Simulator::readerState() const {
    std::lock_guard lock(mutex_);
    const ReaderConfig& c = firmware_->config();
    return {c.protocolType,
            c.address,
            firmware_->baud(),
            firmware_->lineMode(),
            c.pacing,
            firmware_->rfField(),
            firmware_->outputs(),
            firmware_->usbMode()};
}

void Simulator::setIdentity(int typeCode, int firmwareDigit) {
    std::lock_guard lock(mutex_);
    firmware_->config().typeCode = typeCode;
    firmware_->config().firmwareDigit = firmwareDigit;
}

void Simulator::setProtocolType(int protocolType) {
    std::lock_guard lock(mutex_);
    firmware_->config().protocolType = protocolType;
    parser_->reset(protocolType, firmware_->config().address);
    log_.event("protocol type " + std::to_string(protocolType));
}

void Simulator::setAddress(int address) {
    std::lock_guard lock(mutex_);
    firmware_->config().address = address;
    parser_->reset(firmware_->config().protocolType, address);
}

void Simulator::setLine(int baud, int lineMode) {
    std::lock_guard lock(mutex_);
    firmware_->setLine(baud, lineMode);
    log_.event("line " + lineText(baud, lineMode));
}

void Simulator::setPacing(bool on) {
    std::lock_guard lock(mutex_);
    firmware_->config().pacing = on;
}

TagId Simulator::placeTag(std::unique_ptr<Tag> tag) {
    std::lock_guard lock(mutex_);
    if (!tag) return 0;
    std::string text = tag->describe();
    TagId id = field_.place(std::move(tag));
    log_.event("tag " + std::to_string(id) + " placed: " + text);
    return id;
}

std::unique_ptr<Tag> Simulator::takeOut(TagId id, const char* how) {
    std::unique_ptr<Tag> tag = field_.remove(id);
    if (tag) log_.event("tag " + std::to_string(id) + " " + how + ": " + tag->describe());
    auto named = [id](const PendingRemoval& r) { return r.id == id; };
    removals_.erase(std::remove_if(removals_.begin(), removals_.end(), named), removals_.end());
    blips_.erase(std::remove_if(blips_.begin(), blips_.end(), named), blips_.end());
    return tag;
}

std::unique_ptr<Tag> Simulator::removeTag(TagId id) {
    std::lock_guard lock(mutex_);
    return takeOut(id, "removed");
}

std::vector<std::unique_ptr<Tag>> Simulator::removeAllTags() {
    std::lock_guard lock(mutex_);
    std::vector<std::unique_ptr<Tag>> tags;
    std::vector<TagId> ids;
    for (const Field::Entry& e : field_.entries())
        ids.push_back(e.id);
    for (TagId id : ids)
        tags.push_back(takeOut(id, "removed"));
    return tags;
}

TagId Simulator::swapTag(TagId id, std::unique_ptr<Tag> replacement, std::unique_ptr<Tag>* removed) {
    std::lock_guard lock(mutex_);
    if (!field_.find(id) || !replacement) return 0;
    std::unique_ptr<Tag> old = takeOut(id, "swapped out");
    if (removed) *removed = std::move(old);
    std::string text = replacement->describe();
    TagId newId = field_.place(std::move(replacement));
    log_.event("tag " + std::to_string(newId) + " swapped in: " + text);
    return newId;
}

bool Simulator::removeTagAfter(TagId id, int commands) {
    std::lock_guard lock(mutex_);
    if (!field_.find(id)) return false;
    removals_.push_back({id, std::max(0, commands)});
    return true;
}

bool Simulator::blipTagAfter(TagId id, int commands) {
    std::lock_guard lock(mutex_);
    if (!field_.find(id)) return false;
    blips_.push_back({id, std::max(0, commands)});
    return true;
}

std::vector<TagId> Simulator::tagIds() const {
    std::lock_guard lock(mutex_);
    std::vector<TagId> ids;
    for (const Field::Entry& e : field_.entries())
        ids.push_back(e.id);
    return ids;
}

bool Simulator::withTag(TagId id, const std::function<void(Tag&)>& fn) {
    std::lock_guard lock(mutex_);
    Tag* tag = field_.find(id);
    if (!tag) return false;
    fn(*tag);
    return true;
}

std::optional<Bytes> Simulator::tagMemory(TagId id) const {
    std::lock_guard lock(mutex_);
    Tag* tag = field_.find(id);
    if (!tag) return std::nullopt;
    return tag->memory();
}

std::string Simulator::describeTags() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const Field::Entry& e : field_.entries())
        text += std::to_string(e.id) + " " + e.tag->describe() + "\n";
    return text;
}

void Simulator::removeDueTags(bool afterCommand) {
    std::vector<TagId> due;
    for (PendingRemoval& r : removals_) {
        if (afterCommand) --r.commands;
        if (r.commands <= 0) due.push_back(r.id);
    }
    for (TagId id : due)
        vanished_.emplace_back(id, takeOut(id, "vanished"));
}

std::unique_ptr<Tag> Simulator::takeVanished(TagId id) {
    std::lock_guard lock(mutex_);
    for (auto it = vanished_.begin(); it != vanished_.end(); ++it) {
        if (it->first != id) continue;
        std::unique_ptr<Tag> tag = std::move(it->second);
        vanished_.erase(it);
        return tag;
    }
    return nullptr;
}

int Simulator::tagCommandCount() const {
    std::lock_guard lock(mutex_);
    return tagCommands_;
}

void Simulator::inject(const Fault& fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void Simulator::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void Simulator::dropLink() {
    std::lock_guard lock(mutex_);
    log_.event("link dropped");
    for (LinkControl* link : links_)
        link->dropLink();
}

std::vector<LogEntry> Simulator::log() const {
    std::lock_guard lock(mutex_);
    return log_.entries();
}

std::vector<LogEntry> Simulator::log(LogKind kind) const {
    std::lock_guard lock(mutex_);
    std::vector<LogEntry> out;
    for (const LogEntry& e : log_.entries())
        if (e.kind == kind) out.push_back(e);
    return out;
}

std::vector<OutputChange> Simulator::outputHistory() const {
    std::lock_guard lock(mutex_);
    return firmware_->outputHistory();
}

std::string Simulator::formatLog(std::size_t lastEntries) const {
    std::lock_guard lock(mutex_);
    const auto& entries = log_.entries();
    std::size_t first = lastEntries == 0 || lastEntries >= entries.size() ? 0 : entries.size() - lastEntries;
    std::string text;
    for (std::size_t i = first; i < entries.size(); ++i)
        text += log_.format(entries[i]) + "\n";
    return text;
}

void Simulator::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    firmware_->clearOutputHistory();
    tagTime_ = std::chrono::microseconds(0);
    tagCommands_ = 0;
}

std::chrono::microseconds Simulator::tagTime() const {
    std::lock_guard lock(mutex_);
    return tagTime_;
}

void Simulator::logEvent(const std::string& text) {
    std::lock_guard lock(mutex_);
    log_.event(text);
}

void Simulator::attach(LinkControl* link) {
    std::lock_guard lock(mutex_);
    links_.push_back(link);
}

void Simulator::detach(LinkControl* link) {
    std::lock_guard lock(mutex_);
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

Outgoing Simulator::receive(const std::uint8_t* data, std::size_t size,
                            const std::optional<LineSettings>& line) {
    std::lock_guard lock(mutex_);
    Outgoing out;
    auto now = Clock::now();
    if (size == 0) return out;
    if (line && !lineMatches(firmware_->baud(), firmware_->lineMode(), *line)) {
        log_.add(LogKind::Discarded, Bytes(data, data + size),
                 "line at " + lineText(line->baud, line->lineMode) + ", reader at " +
                     lineText(firmware_->baud(), firmware_->lineMode()),
                 now);
        return out;
    }
    std::vector<Discarded> discarded;
    if (parser_->hasPartial() && now - lastReceived_ > kFrameGap) parser_->dropPartial(discarded);
    lastReceived_ = now;
    std::vector<Request> requests;
    parser_->feed(data, size, requests, discarded);
    for (Discarded& d : discarded)
        log_.add(LogKind::Discarded, std::move(d.bytes), d.reason, now);
    out.paceBaud = firmware_->config().pacing ? firmware_->baud() : 0;
    for (const Request& request : requests) {
        log_.add(LogKind::Received, request.raw, {}, now);
        answer(request, out);
        if (out.dropLink) break;
    }
    return out;
}

struct Simulator::AppliedFaults {
    bool silence = false;
    bool dropLink = false;
    bool badCheck = false;
    std::optional<int> status;
    std::optional<int> chainBlock;
    std::optional<Bytes> payload;
    std::optional<std::uint8_t> maxLengthFill;
    Bytes noise;
    Bytes trailing;
    PhaseDelays delays;
    std::vector<std::string> names;
};

Simulator::AppliedFaults Simulator::takeFaults(std::uint8_t command) {
    AppliedFaults applied;
    for (auto it = faults_.begin(); it != faults_.end();) {
        Fault& f = *it;
        if (f.command >= 0 && f.command != command) {
            ++it;
            continue;
        }
        if (f.skip > 0) {
            --f.skip;
            ++it;
            continue;
        }
        switch (f.kind) {
        case Fault::Kind::Silence:
            applied.silence = true;
            applied.names.push_back("silence");
            break;
        case Fault::Kind::DropLink:
            applied.dropLink = true;
            applied.names.push_back("link drop");
            break;
        case Fault::Kind::BadCheck:
            applied.badCheck = true;
            applied.names.push_back("bad check");
            break;
        case Fault::Kind::Status:
            applied.status = f.value;
            applied.names.push_back("status");
            break;
        case Fault::Kind::Chain:
            applied.chainBlock = f.value;
            applied.names.push_back("chained");
            break;
        case Fault::Kind::Payload:
            applied.payload = f.bytes;
            applied.names.push_back("payload");
            break;
        case Fault::Kind::MaxLength:
            applied.maxLengthFill = f.bytes.empty() ? 0 : f.bytes[0];
            applied.names.push_back("max length");
            break;
        case Fault::Kind::Noise:
            applied.noise.insert(applied.noise.end(), f.bytes.begin(), f.bytes.end());
            applied.names.push_back("noise");
            break;
        case Fault::Kind::Trailing:
            applied.trailing.insert(applied.trailing.end(), f.bytes.begin(), f.bytes.end());
            applied.names.push_back("trailing");
            break;
        case Fault::Kind::Delay:
            applied.delays.beforeAnswer += f.delays.beforeAnswer;
            applied.delays.beforeFrame += f.delays.beforeFrame;
            applied.delays.afterHeader += f.delays.afterHeader;
            applied.names.push_back("delay");
            break;
        }
        if (f.count > 0 && --f.count == 0) {
            it = faults_.erase(it);
        } else {
            ++it;
        }
    }
    return applied;
}

void Simulator::answer(const Request& request, Outgoing& out) {
    bool tagCommand = firmware_->isTagCommand(request.command);
    // A tag whose blip is due sits this command out and comes back unpowered.
    std::vector<std::pair<TagId, std::unique_ptr<Tag>>> blipped;
    if (tagCommand) {
        removeDueTags(false);
        ++tagCommands_;
        for (auto it = blips_.begin(); it != blips_.end();) {
            if (it->commands > 0) {
                --it->commands;
                ++it;
                continue;
            }
            if (std::unique_ptr<Tag> tag = field_.remove(it->id)) {
                log_.event("tag " + std::to_string(it->id) + " missed a command");
                blipped.emplace_back(it->id, std::move(tag));
            }
            it = blips_.erase(it);
        }
    }
    ReaderReply reply = firmware_->execute(request);
    const std::chrono::microseconds tagTime = firmware_->takeTagTime();
    tagTime_ += tagTime;
    for (auto& [id, tag] : blipped)
        field_.putBack(id, std::move(tag));
    if (tagCommand) removeDueTags(true);
    const ReaderConfig& c = firmware_->config();
    AppliedFaults f = takeFaults(request.command);

    std::uint8_t status = answerStatus(c.protocolType, request.command, reply);
    Bytes payload = std::move(reply.payload);
    if (f.payload) payload = *f.payload;
    if (f.maxLengthFill) payload.resize(maxPlainPayload(c.protocolType), *f.maxLengthFill);
    if (payload.size() > 254) payload.resize(254); // a length byte cannot say more
    if (f.status) status = static_cast<std::uint8_t>(*f.status);
    AnswerLayout layout;
    layout.corruptCheck = f.badCheck;
    if (f.chainBlock) {
        layout.chained = true;
        layout.chainBlock = *f.chainBlock;
    }
    Bytes frame = encodeAnswer(c.protocolType, static_cast<std::uint8_t>(c.address), status, payload, layout);

    // The line switches once the acknowledgement has been planned at the old rate.
    if (auto change = firmware_->takeLineChange()) {
        log_.event("baud rate " + lineText(firmware_->baud(), firmware_->lineMode()) + " -> " +
                   lineText(change->baud, change->lineMode));
        firmware_->setLine(change->baud, change->lineMode);
    }

    std::string note;
    for (const std::string& n : f.names)
        note += (note.empty() ? "fault: " : ", ") + n;
    if (f.dropLink) {
        log_.event("link dropped instead of answering");
        out.dropLink = true;
        return;
    }
    if (f.silence) {
        log_.add(LogKind::Event, std::move(frame), "answer withheld (" + note + ")");
        return;
    }

    // The answer in pieces, each after the pause of its phase of the host's wait.
    std::size_t header = std::min(answerWaitHeader(c.protocolType), frame.size());
    std::vector<OutgoingChunk> chunks;
    std::chrono::microseconds carry{0};
    Bytes all;
    auto push = [&](std::chrono::microseconds delay, Bytes bytes) {
        delay += carry;
        carry = std::chrono::milliseconds(0);
        if (bytes.empty()) {
            carry = delay;
            return;
        }
        all.insert(all.end(), bytes.begin(), bytes.end());
        if (delay.count() == 0 && !chunks.empty()) {
            chunks.back().bytes.insert(chunks.back().bytes.end(), bytes.begin(), bytes.end());
        } else {
            chunks.push_back({delay, std::move(bytes)});
        }
    };
    push(tagTime + f.delays.beforeAnswer, f.noise);
    push(f.delays.beforeFrame, Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(header)));
    push(f.delays.afterHeader, Bytes(frame.begin() + static_cast<std::ptrdiff_t>(header), frame.end()));
    push(std::chrono::microseconds(0), f.trailing);
    for (OutgoingChunk& chunk : chunks) {
        if (chunk.delay.count() == 0 && !out.chunks.empty()) {
            out.chunks.back().bytes.insert(out.chunks.back().bytes.end(), chunk.bytes.begin(),
                                           chunk.bytes.end());
        } else {
            out.chunks.push_back(std::move(chunk));
        }
    }
    log_.add(LogKind::Sent, std::move(all), note);
    log_.setLastTagTime(tagTime);
}

} // namespace kqsim
