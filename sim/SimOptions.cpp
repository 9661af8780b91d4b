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

}  // namespace

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
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      options.help = true;
    } else if (a == "--pace") {
      options.reader.pacing = true;
    } else if (a == "--no-console") {
      options.console = false;
    } else if (a == "--model") {
      if (!value(v)) return false;
      if (!toInt(v, 16, 0, 0xFFF, options.reader.typeCode)) {
        error = "--model takes up to three hex digits, not '" + v + "'";
        return false;
      }
    } else if (a == "--firmware") {
      if (!value(v)) return false;
      if (!toInt(v, 10, 0, 61, options.reader.firmwareDigit)) {
        error = "--firmware takes 0..61, not '" + v + "'";
        return false;
      }
    } else if (a == "--protocol") {
      if (!value(v)) return false;
      if (!toInt(v, 10, 0, 3, options.reader.protocolType)) {
        error = "--protocol takes 0..3, not '" + v + "'";
        return false;
      }
    } else if (a == "--address") {
      if (!value(v)) return false;
      if (!toInt(v, 10, 0, 255, options.reader.address)) {
        error = "--address takes 0..255, not '" + v + "'";
        return false;
      }
    } else if (a == "--baud") {
      if (!value(v)) return false;
      if (!toInt(v, 10, 50, 4000000, options.reader.baud)) {
        error = "--baud takes a rate, not '" + v + "'";
        return false;
      }
    } else if (a == "--line") {
      if (!value(v)) return false;
      if (!toLineMode(v, options.reader.lineMode)) {
        error = "--line takes 8N1, 8E1, 8O1 or 8N2, not '" + v + "'";
        return false;
      }
    } else if (a == "--transport") {
      if (!value(v)) return false;
      if (v != "pty") {
        error = "only the pty transport is served, not '" + v + "'";
        return false;
      }
    } else if (a == "--link") {
      if (!value(options.link)) return false;
    } else if (a == "--tag") {
      if (!value(v)) return false;
      options.tags.push_back(v);
    } else if (a == "--image") {
      if (!value(v)) return false;
      options.images.push_back(v);
    } else {
      error = "unknown option '" + a + "'";
      return false;
    }
  }
  return true;
}

}  // namespace kqsim
