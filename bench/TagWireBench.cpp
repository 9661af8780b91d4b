// How close a tag operation comes to the time its bytes need on the wire: writes a
// 100-byte URL record to a simulated NTAG213, MIFARE Classic 1K, ISO 15693 tag
// (28 blocks of 4 bytes) and DESFire EV1 card formatted as a Type 4 tag, and reads it
// back, over a pty whose
// simulated reader paces both directions at 19200 baud (10 bits a byte), and prints
// for each the reader exchanges, the bytes on the wire both ways, the floor (wire time,
// bytes x 10 / baud, plus the tags' own time from their datasheets as the simulator
// spends it, plus 50 ms for each time the detection switches the RF field off: a tag
// that did not answer the type A request gets that pause before the second request,
// so an ISO 15693 tag pays it in every operation), the measured time and their
// ratio. A ratio near 1 means the library adds no waiting of its own. For MIFARE
// Classic it also counts the sector authentications, which should be one per sector
// touched, not one per block.
//
//   kqlmx-tag-bench [runs]      (default 5; the median run is reported)
#include "kqlmx.h"
#include "sim/ClassicTag.h"
#include "sim/DesfireCard.h"
#include "sim/Iso15693Tag.h"
#include "sim/IsoDepTag.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"
#include "sim/Type2Tag.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kBaud = 19200;
// The pause with the RF field off that the tag detection makes after a type A request
// nobody answered.
constexpr double kFieldOffSeconds = 0.050;

struct Run {
    size_t exchanges = 0;
    size_t bytesToReader = 0;
    size_t bytesFromReader = 0;
    double tagSeconds = 0;
    size_t authentications = 0;
    size_t fieldOffPauses = 0;
    double seconds = 0;
    bool ok = false;

    double WireSeconds() const { return static_cast<double>(bytesToReader + bytesFromReader) * 10.0 / kBaud; }
    double PauseSeconds() const { return static_cast<double>(fieldOffPauses) * kFieldOffSeconds; }
    double FloorSeconds() const { return WireSeconds() + tagSeconds + PauseSeconds(); }
    double Ratio() const { return seconds / FloorSeconds(); }
};

Run Measure(kqsim::Simulator& sim, const std::function<bool()>& operation) {
    sim.clearLog();
    const auto start = std::chrono::steady_clock::now();
    Run run;
    run.ok = operation();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.tagSeconds = std::chrono::duration<double>(sim.tagTime()).count();
    for (const kqsim::LogEntry& entry : sim.log()) {
        if (entry.kind == kqsim::LogKind::Received) {
            ++run.exchanges;
            run.bytesToReader += entry.bytes.size();
            // Protocol type 0: start byte and address, then the command.
            if (entry.bytes.size() > 2 && entry.bytes[2] == 0x33) ++run.authentications;
            // RF field (F5) with its data byte 0: off.
            if (entry.bytes.size() > 4 && entry.bytes[2] == 0xF5 && entry.bytes[4] == 0) ++run.fieldOffPauses;
        } else if (entry.kind == kqsim::LogKind::Sent) {
            run.bytesFromReader += entry.bytes.size();
        }
    }
    return run;
}

void Report(const char* name, std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.Ratio() < b.Ratio(); });
    const Run& median = runs[runs.size() / 2];
    std::printf(
        "%-6s %s  exchanges %zu  bytes to reader %zu, from reader %zu  floor %.1f ms (wire %.1f + tag "
        "%.1f + field off %.1f)  measured %.1f ms  ratio %.3f (best %.3f, worst %.3f)",
        name, median.ok ? "ok    " : "FAILED", median.exchanges, median.bytesToReader, median.bytesFromReader,
        median.FloorSeconds() * 1000, median.WireSeconds() * 1000, median.tagSeconds * 1000,
        median.PauseSeconds() * 1000, median.seconds * 1000, median.Ratio(), runs.front().Ratio(),
        runs.back().Ratio());
    if (median.authentications > 0) std::printf("  authentications %zu", median.authentications);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    kqsim::ReaderConfig config;
    config.baud = kBaud;
    config.pacing = true;
    kqsim::Simulator sim(config);
    kqsim::PtyTransport pty(sim);
    if (!pty.ok()) {
        std::fprintf(stderr, "pty: %s\n", pty.error().c_str());
        return 1;
    }
    const int port = KQLMX_OpenPort(pty.slavePath().c_str(), kBaud, 1000);
    if (port <= 0) {
        std::fprintf(stderr, "no reader on %s (%d)\n", pty.slavePath().c_str(), port);
        return 1;
    }
    KQLMX_SetWaitMode(port, 1);

    // URI record: D1 01 60 55, then the payload: code 04 ("https://") and 95 characters.
    std::string url = "https://example.com/";
    url.resize(8 + 95, 'a');
    const std::string json = "{\"BOOKMARK\" : {\"URL\" : \"" + url + "\",\"TITLE\" : \"\"}}";

    struct Case {
        const char* name;
        std::function<std::unique_ptr<kqsim::Tag>()> tag;
        bool format; // formatted once before the runs (DESFire: the NDEF application and its files)
    };
    const Case cases[] = {
        {"NTAG213", [] { return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213); }, false},
        {"MIFARE Classic 1K", [] { return kqsim::ClassicTag::blank(kqsim::ClassicTag::Model::Classic1K); },
         false},
        {"ISO 15693 (28 x 4 bytes)", [] { return kqsim::Iso15693Tag::blank("icode"); }, false},
        {"DESFire EV1 (Type 4)",
         [] {
             return std::make_unique<kqsim::IsoDepTag>(kqsim::Bytes{0x04, 0x5E, 0x1F, 0x72, 0x3A, 0x5C, 0x80},
                                                       std::make_unique<kqsim::DesfireCard>());
         },
         true},
    };
    bool ok = true;
    for (const Case& c : cases) {
        const kqsim::TagId id = sim.placeTag(c.tag());
        if (c.format && KQLMX_FormatTag(port, nullptr, 0) != 0) {
            std::fprintf(stderr, "%s: format failed (%#x)\n", c.name, KQLMX_GetLastError(port));
            ok = false;
        }
        std::printf("%s, 100-byte URL record, %d baud, %d runs\n", c.name, kBaud, runs);
        auto write = [&] {
            return KQLMX_WriteTag(port, json.c_str(), static_cast<int>(json.size()), nullptr, 0, 0) == 0;
        };
        // The first write finds the tag as it comes (blank, or formatted just before) and
        // may format it; the runs then write over the message it left, so they all do
        // the same work.
        const Run first = Measure(sim, write);
        Report("first", {first});
        std::vector<Run> writes, reads;
        for (int i = 0; i < runs; ++i) {
            writes.push_back(Measure(sim, write));
            reads.push_back(Measure(sim, [&] {
                char text[1024];
                return KQLMX_ReadTag(port, text, sizeof text) == static_cast<int>(json.size()) &&
                       json == text;
            }));
        }
        Report("write", writes);
        Report("read", reads);
        sim.removeTag(id);
        ok = ok && first.ok && std::all_of(writes.begin(), writes.end(), [](const Run& r) { return r.ok; }) &&
             std::all_of(reads.begin(), reads.end(), [](const Run& r) { return r.ok; });
    }
    KQLMX_ClosePort(port);
    return ok ? 0 : 1;
}
