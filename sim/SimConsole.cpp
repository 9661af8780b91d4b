#include "SimConsole.h"

#include "Simulator.h"
#include "TagFactory.h"
#include "TagImage.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <vector>

namespace kqsim {

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool toNumber(const std::string& s, int& out) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

const char* kHelp =
    "commands (TAG is KIND[,uid=HEX][,pages=N] or @FILE for a tag image):\n"
    "  status              reader state and tags\n"
    "  tags                the tags in the field\n"
    "  place TAG           put a tag into the field\n"
    "  load FILE           put the tag of an image file into the field\n"
    "  remove [ID]         take a tag (all tags) off the reader\n"
    "  swap [ID] TAG       replace a tag (the only tag) with another in one step\n"
    "  vanish ID N         the tag leaves after N more tag commands\n"
    "  save [ID] FILE      write a tag's image file\n"
    "  show [ID]           print a tag's image (kind, UID, memory, lock state)\n"
    "  log [N]             the frame log (last N entries)\n"
    "  clearlog            empty the frame log\n"
    "  quit                end the simulator\n"
    "kinds: ultralight ultralightc ntag213 ntag215 ntag216 type2 icode iso15693-ti iso15693-custom\n"
    "       iso15693-multi iso15693-32 iso15693-nomulti iso15693-noinfo iso15693-lossy\n"
    "       classic1k classic4k classic1k-keyb desfire\n";

std::string statusText(const ReaderState& s, const ReaderConfig& c) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "reader %s (type code %03X), protocol %d, address %d, line %d %s%s, RF %s, outputs %02X, "
                  "USB mode %d\n",
                  versionText(c.typeCode, c.firmwareDigit).c_str(), c.typeCode, s.protocolType, s.address,
                  s.baud, lineModeName(s.lineMode).c_str(), s.pacing ? " paced" : "",
                  s.rfField ? "on" : "off", s.outputs, s.usbMode);
    return text;
}

std::unique_ptr<Tag> tagFromArgument(const std::string& arg, std::string& error) {
    if (!arg.empty() && arg[0] == '@') return loadTagFile(arg.substr(1), error);
    return makeTag(arg, error);
}

} // namespace

// Picks the tag an optional leading ID names: w[first] when it is a number, else the
// only tag in the field. `rest` is the index of the next argument.
bool SimConsole::pickTag(const std::vector<std::string>& w, std::size_t first, bool idRequired, TagId& id,
                         std::size_t& rest, std::string& out) {
    int number = 0;
    if (first < w.size() && toNumber(w[first], number)) {
        id = number;
        rest = first + 1;
        return true;
    }
    rest = first;
    auto ids = simulator_.tagIds();
    if (!idRequired && ids.size() == 1) {
        id = ids[0];
        return true;
    }
    out = ids.empty() ? "no tag in the field\n" : "several tags in the field: give the tag ID\n";
    return false;
}

bool SimConsole::execute(const std::string& line, std::string& out) {
    out.clear();
    std::vector<std::string> w = words(line);
    if (w.empty() || w[0][0] == '#') return true;
    const std::string& cmd = w[0];
    std::string error;
    TagId id = 0;
    std::size_t rest = 0;
    if (cmd == "quit" || cmd == "exit") return false;
    if (cmd == "help") {
        out = kHelp;
    } else if (cmd == "status") {
        out = statusText(simulator_.readerState(), simulator_.config()) + simulator_.describeTags();
    } else if (cmd == "tags") {
        out = simulator_.describeTags();
        if (out.empty()) out = "no tag in the field\n";
    } else if ((cmd == "place" || cmd == "load") && w.size() == 2) {
        auto tag = tagFromArgument(cmd == "load" ? "@" + w[1] : w[1], error);
        if (!tag) {
            out = "error: " + error + "\n";
        } else {
            std::string text = tag->describe();
            out = "tag " + std::to_string(simulator_.placeTag(std::move(tag))) + " placed: " + text + "\n";
        }
    } else if (cmd == "remove" && w.size() <= 2) {
        if (w.size() == 1) {
            out = std::to_string(simulator_.removeAllTags().size()) + " tag(s) removed\n";
        } else if (!toNumber(w[1], id) || !simulator_.removeTag(id)) {
            out = "error: no tag " + w[1] + "\n";
        } else {
            out = "tag " + w[1] + " removed\n";
        }
    } else if (cmd == "swap" && w.size() >= 2 && w.size() <= 3) {
        if (pickTag(w, 1, false, id, rest, out)) {
            if (rest + 1 != w.size()) {
                out = "usage: swap [ID] TAG\n";
            } else if (auto tag = tagFromArgument(w[rest], error); !tag) {
                out = "error: " + error + "\n";
            } else {
                std::string text = tag->describe();
                TagId newId = simulator_.swapTag(id, std::move(tag));
                out = newId ? "tag " + std::to_string(id) + " swapped for tag " + std::to_string(newId) +
                                  ": " + text + "\n"
                            : "error: no tag " + std::to_string(id) + "\n";
            }
        }
    } else if (cmd == "vanish" && w.size() == 3) {
        int n = 0;
        if (!toNumber(w[1], id) || !toNumber(w[2], n) || n < 0) {
            out = "usage: vanish ID N\n";
        } else if (!simulator_.removeTagAfter(id, n)) {
            out = "error: no tag " + w[1] + "\n";
        } else {
            out = "tag " + w[1] + " leaves after " + w[2] + " tag command(s)\n";
        }
    } else if ((cmd == "save" || cmd == "show") && w.size() <= 3) {
        if (pickTag(w, 1, false, id, rest, out)) {
            bool save = cmd == "save";
            if (rest + (save ? 1 : 0) != w.size()) {
                out = save ? "usage: save [ID] FILE\n" : "usage: show [ID]\n";
            } else {
                TagImage image;
                bool found = simulator_.withTag(id, [&](Tag& tag) { tag.save(image); });
                if (!found) {
                    out = "error: no tag " + std::to_string(id) + "\n";
                } else if (!save) {
                    out = image.text();
                } else if (!image.saveFile(w[rest], error)) {
                    out = "error: " + error + "\n";
                } else {
                    out = "tag " + std::to_string(id) + " saved to " + w[rest] + "\n";
                }
            }
        }
    } else if (cmd == "log" && w.size() <= 2) {
        int n = 0;
        if (w.size() == 2 && (!toNumber(w[1], n) || n < 0)) {
            out = "usage: log [N]\n";
        } else {
            out = simulator_.formatLog(static_cast<std::size_t>(n));
        }
    } else if (cmd == "clearlog") {
        simulator_.clearLog();
    } else {
        out = "unknown command or arguments: '" + line + "' (try help)\n";
    }
    return true;
}

} // namespace kqsim
