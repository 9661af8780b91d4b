#include "SimConsole.h"

#include "Simulator.h"

#include <cstdio>
#include <sstream>
#include <vector>

namespace kqsim {

namespace {

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

const char* kHelp =
    "commands:\n"
    "  status              reader state\n"
    "  log [N]             the frame log (last N entries)\n"
    "  clearlog            empty the frame log\n"
    "  quit                end the simulator\n";

std::string statusText(const ReaderState& s, const ReaderConfig& c) {
  char text[256];
  std::snprintf(text, sizeof text,
                "reader %s (type code %03X), protocol %d, address %d, line %d %s%s, RF %s, outputs %02X, USB mode %d\n",
                versionText(c.typeCode, c.firmwareDigit).c_str(), c.typeCode, s.protocolType, s.address, s.baud,
                lineModeName(s.lineMode).c_str(), s.pacing ? " paced" : "", s.rfField ? "on" : "off", s.outputs,
                s.usbMode);
  return text;
}

}  // namespace

bool SimConsole::execute(const std::string& line, std::string& out) {
  out.clear();
  std::vector<std::string> w = words(line);
  if (w.empty() || w[0][0] == '#') return true;
  const std::string& cmd = w[0];
  if (cmd == "quit" || cmd == "exit") return false;
  if (cmd == "help") {
    out = kHelp;
  } else if (cmd == "status") {
    out = statusText(simulator_.readerState(), simulator_.config());
  } else if (cmd == "log") {
    int n = 0;
    if (w.size() > 1) n = std::atoi(w[1].c_str());
    out = simulator_.formatLog(n > 0 ? static_cast<std::size_t>(n) : 0);
  } else if (cmd == "clearlog") {
    simulator_.clearLog();
  } else {
    out = "unknown command '" + cmd + "' (try help)\n";
  }
  return true;
}

}  // namespace kqsim
