// Test equipment of the tag tests: a simulated reader served on a pty, with the reader
// library's port open on it, and the commands it received.
#pragma once

#include "sim/PtyTransport.h"
#include "sim/Simulator.h"
#include "sim/TypeATag.h"

#include <string>
#include <vector>

namespace kqtest {

using kqsim::Bytes;

// "E1 10 06 00" -> bytes; the test fails on bad text.
Bytes Hex(const std::string& text);
// Bytes of the text's characters, as they stand.
Bytes Ascii(const std::string& text);
Bytes Cat(std::initializer_list<Bytes> parts);

// A type A tag of any ATQA and SAK. It takes the ISO 14443-4 activation (RATS) when
// told to, MIFARE authentication with the key FF FF FF FF FF FF, and refuses every
// other command.
class PlainTypeATag : public kqsim::TypeATag {
public:
    PlainTypeATag(Bytes uid, uint16_t atqa, uint8_t sak, bool answersActivation = false)
        : TypeATag(std::move(uid), atqa, sak), answersActivation_(answersActivation) {}
    std::string kind() const override { return "plain"; }
    Bytes memory() const override { return {}; }
    void save(kqsim::TagImage&) const override {}
    kqsim::TagReply authenticate(uint8_t block, bool keyB, const Bytes& key) override;

protected:
    kqsim::TagReply command(const Bytes& frame) override;

private:
    bool answersActivation_;
};

class TagSimReader;

// The tag as a read leaves it: the record JSON text of its first message, or "<none>"
// when the read fails (no or a bad format, no message).
std::string Reading(const TagSimReader& r);

class TagSimReader {
public:
    explicit TagSimReader(kqsim::ReaderConfig config = {});
    ~TagSimReader();
    TagSimReader(const TagSimReader&) = delete;
    TagSimReader& operator=(const TagSimReader&) = delete;

    // The reader commands received since the last ClearLog, each as [command, data...]
    // (the frame's start, address, length and check bytes taken off).
    std::vector<Bytes> Commands() const;
    // The commands with this command byte.
    std::vector<Bytes> Commands(uint8_t command) const;
    void ClearLog() { sim.clearLog(); }
    // `count` pages (4 bytes each) of a tag's memory from `first` on.
    Bytes Pages(kqsim::TagId id, int first, int count) const;
    // The flat tag calls as an application makes them: the record JSON text read
    // (empty on failure; *result gets the call's answer), a write, the last error.
    std::string ReadJson(int* result = nullptr) const;
    int WriteJson(const std::string& json, int lockAfter = 0) const;
    int LastError() const;

    kqsim::Simulator sim; // first: the transport goes before it
    kqsim::PtyTransport pty;
    int port = -1; // the library's handle
};

} // namespace kqtest
