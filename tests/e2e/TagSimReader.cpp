#include "TagSimReader.h"

#include "kqlmx.h"

#include <gtest/gtest.h>

namespace kqtest {

Bytes Hex(const std::string& text) {
    auto bytes = kqsim::parseHex(text);
    EXPECT_TRUE(bytes) << "bad hex in the test: " << text;
    return bytes.value_or(Bytes{});
}

Bytes Ascii(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

kqsim::TagReply PlainTypeATag::authenticate(uint8_t, bool, const Bytes& key) {
    if (state() != State::Active) return kqsim::TagReply::silent();
    return key == Bytes(6, 0xFF) ? kqsim::TagReply::ack() : kqsim::TagReply::refuse();
}

kqsim::TagReply PlainTypeATag::command(const Bytes& frame) {
    if (answersActivation_ && frame.size() == 2 && frame[0] == 0xE0)
        return kqsim::TagReply::answer(Hex("05 78 80 70 00"));
    return kqsim::TagReply::refuse();
}

TagSimReader::TagSimReader(kqsim::ReaderConfig config) : sim(config), pty(sim) {
    EXPECT_TRUE(pty.ok()) << pty.error();
    // Baud argument: rate * 1 + line code 0 (8N1). The simulator answers within
    // milliseconds, but a busy machine may keep its thread waiting: a generous
    // time-out, as no tag test waits for an answer that never comes. The open's probe
    // waits 300 ms at most, which the first answers of a fresh process may miss on a
    // busy machine; the reader is there, so the open is tried again.
    for (int attempt = 0; attempt < 10 && port <= 0; ++attempt)
        port = KQLMX_OpenPort(pty.slavePath().c_str(), config.baud, 5000);
    EXPECT_GT(port, 0);
    sim.clearLog();
}

TagSimReader::~TagSimReader() {
    if (port > 0) KQLMX_ClosePort(port);
}

std::vector<Bytes> TagSimReader::Commands() const {
    const int type = sim.config().protocolType;
    // Header before the command byte, and bytes around the data.
    const size_t head = type == 0 ? 2 : 1;
    const size_t trailer = type == 0 ? 1 : type == 1 ? 2 : 0;
    std::vector<Bytes> commands;
    for (const kqsim::LogEntry& entry : sim.log(kqsim::LogKind::Received)) {
        const Bytes& raw = entry.bytes;
        if (raw.size() < head + 2 + trailer) continue;
        Bytes command{raw[head]};
        command.insert(command.end(), raw.begin() + static_cast<long>(head + 2),
                       raw.end() - static_cast<long>(trailer));
        commands.push_back(std::move(command));
    }
    return commands;
}

std::vector<Bytes> TagSimReader::Commands(uint8_t command) const {
    std::vector<Bytes> matching;
    for (Bytes& c : Commands())
        if (c[0] == command) matching.push_back(std::move(c));
    return matching;
}

Bytes TagSimReader::Pages(kqsim::TagId id, int first, int count) const {
    const Bytes memory = sim.tagMemory(id).value_or(Bytes{});
    const size_t begin = static_cast<size_t>(first) * 4;
    const size_t end = std::min(memory.size(), begin + static_cast<size_t>(count) * 4);
    return begin < end
               ? Bytes(memory.begin() + static_cast<long>(begin), memory.begin() + static_cast<long>(end))
               : Bytes{};
}

std::string TagSimReader::ReadJson(int* result) const {
    std::string text(8192, '\0');
    const int n = KQLMX_ReadTag(port, text.data(), static_cast<int>(text.size()));
    if (result) *result = n;
    return n >= 0 ? text.substr(0, static_cast<size_t>(n)) : std::string();
}

int TagSimReader::WriteJson(const std::string& json, int lockAfter) const {
    return KQLMX_WriteTag(port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, lockAfter);
}

int TagSimReader::LastError() const {
    return KQLMX_GetLastError(port);
}

std::string Reading(const TagSimReader& r) {
    int result = -1;
    const std::string json = r.ReadJson(&result);
    return result < 0 ? "<none>" : json;
}

} // namespace kqtest
