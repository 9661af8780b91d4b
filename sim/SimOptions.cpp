#include "SimOptions.h"

#include <charconv>

namespace kqsim {

namespace {

bool toInt(const std::string& text, int base, int low, int high, int& out) {
    std::string_view v = text;
    if (base == 16 && (v.starts_with("0x") || v.starts_with("0X"))) v.remove_prefix(2);
    if (v.empty()) return false;
    int value = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value, base);
    if (ec != std::errc() || end != v.data() + v.size() || value < low || value > high) return false;
    out = value;
    return true;
}

bool toLineMode(const std::string& text, int& mode) {
    static const char* names[] = {"8N1", "8E1", "8O1", "8N2"};
    for (int i = 0; i < 4; ++i)
        if (text == names[i]) {
            mode = i;
            return true;
        }
    return toInt(text, 10, 0, 3, mode);
}

} // namespace

std::string usageText() {
    return "usage: kqlmx-sim [options]\n"
           "Simulated RFID reader on a pseudo-terminal. Prints the pty path, then reads\n"
           "console commands from stdin ('help' lists them).\n"
           "  --model HEX          reader type code, three hex digits (default 184: KQ-LM90)\n"
           "  --firmware N         firmware digit 0..61 (default 4)\n"
           "  --protocol N         frame protocol type 0..3 (default 0)\n"
           "  --address N          bus address 0..255 for types 0 and 1 (default 1)\n"
           "  --baud RATE          the reader's line rate (default 19200)\n"
           "  --line MODE          8N1, 8E1, 8O1 or 8N2 (default 8N1)\n"
           "  --pace               send answers no faster than the line rate\n"
           "  --transport pty      the link to serve (only pty)\n"
           "  --link NAME          make NAME a symlink to the pty path\n"
           "  --tag SPEC           place a tag: KIND[,uid=HEX][,pages=N] (repeatable)\n"
           "  --image FILE         place a tag from an image file (repeatable)\n"
           "  --no-console         ignore stdin; run until SIGTERM or SIGINT\n"
           "  --help               this text\n";
}

bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
    struct IntOption {
        const char* name;
        int base, low, high;
        int* target;
        const char* expected;
    };
    ReaderConfig& r = options.reader;
    const IntOption intOptions[] = {
        {"--model", 16, 0, 0xFFF, &r.typeCode, "up to three hex digits"},
        {"--firmware", 10, 0, 61, &r.firmwareDigit, "0..61"},
        {"--protocol", 10, 0, 3, &r.protocolType, "0..3"},
        {"--address", 10, 0, 255, &r.address, "0..255"},
        {"--baud", 10, 50, 4000000, &r.baud, "a rate"},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        auto value = [&]() {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        const IntOption* intOption = nullptr;
        for (const IntOption& o : intOptions)
            if (a == o.name) intOption = &o;
        if (intOption) {
            if (!value()) return false;
            if (!toInt(v, intOption->base, intOption->low, intOption->high, *intOption->target)) {
                error = a + " takes " + intOption->expected + ", not '" + v + "'";
                return false;
            }
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--pace") {
            r.pacing = true;
        } else if (a == "--no-console") {
            options.console = false;
        } else if (a == "--line") {
            if (!value()) return false;
            if (!toLineMode(v, r.lineMode)) {
                error = "--line takes 8N1, 8E1, 8O1 or 8N2, not '" + v + "'";
                return false;
            }
        } else if (a == "--transport") {
            if (!value()) return false;
            if (v != "pty") {
                error = "only the pty transport is served, not '" + v + "'";
                return false;
            }
        } else if (a == "--link") {
            if (!value()) return false;
            options.link = v;
        } else if (a == "--tag" || a == "--image") {
            if (!value()) return false;
            (a == "--tag" ? options.tags : options.images).push_back(v);
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    return true;
}

} // namespace kqsim
