// The whole program writing cyclically: a 20-row CSV data list of text records goes
// onto 20 simulated NTAG213s laid on the reader one after another, each as soon as
// the one before is written (a scripted schedule). The program runs as a user has
// it: main window, record form, data list, "Zyklisch schreiben", the answer wait on
// Qt; the simulated KQ-LMX38 paces its answers at 19200 baud and its tags take their
// datasheet times.
//
// It prints the seconds per tag against the floor of one cycle: the ZyklusZeit poll
// interval (one timer tick notices the new tag and moves the list on, the next one
// writes it) plus the time of every frame of the cycle on the line (bytes x 10 bits /
// baud, both ways: the timer's UID polls and the write) plus the tags' own time. Then,
// step by step, what one tag's cycle spends beyond the least the tag needs (selecting
// it once and writing each page of the message once).
//
//   kq-cyclic-write-bench [ZyklusZeit ms]      (default 100, the shortest the settings take)
//
// A tick of the cyclic timer that falls while the tick before still writes is dropped,
// so a cycle takes whole ticks: with a ZyklusZeit just below the write tick's time
// (250 ms against about 255 ms here) the tick that would notice the next tag falls
// inside the write and a tag takes three ticks (0.75 s, 1.43 times the floor).
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/ProfileSettings.h"
#include "app/QtUiHooks.h"
#include "forms/RecordFormView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kBaud = 19200;
constexpr int kRows = 20;
constexpr int kWaitLimitMs = 20000;
// Reader commands of the wire protocol (byte 2 of a type 0 frame).
constexpr std::uint8_t kRequest = 0x30;
constexpr std::uint8_t kSelect = 0x31;
constexpr std::uint8_t kReadBlock = 0x34;
constexpr std::uint8_t kWriteBlock = 0x35;
constexpr std::uint8_t kOutputs = 0xF6;

QByteArray RowText(int row) {
    return QStringLiteral("Eintrag %1 der Datenliste, Halle 3").arg(row, 2, 10, QLatin1Char('0')).toUtf8();
}

// Runs the event loop until done() holds; false after kWaitLimitMs.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kWaitLimitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::usleep(200);
    }
    return true;
}

// One exchange on the line: the request, its answer and the tags' time before it.
struct Exchange {
    kqsim::Bytes request;
    std::size_t answerBytes = 0;
    double tagMs = 0;
    std::uint8_t Command() const { return request.size() > 2 ? request[2] : 0; }
    double WireMs() const { return double(request.size() + answerBytes) * 10.0 * 1000.0 / kBaud; }
};

std::vector<Exchange> Exchanges(const std::vector<kqsim::LogEntry>& log) {
    std::vector<Exchange> out;
    for (const kqsim::LogEntry& entry : log) {
        if (entry.kind == kqsim::LogKind::Received) {
            out.push_back({entry.bytes, 0, 0});
        } else if (entry.kind == kqsim::LogKind::Sent && !out.empty()) {
            out.back().answerBytes += entry.bytes.size();
            out.back().tagMs += std::chrono::duration<double, std::milli>(entry.tagTime).count();
        }
    }
    return out;
}

struct Step {
    int exchanges = 0;
    std::size_t toReader = 0;
    std::size_t fromReader = 0;
    double wireMs = 0;
    double tagMs = 0;
    void Add(const Exchange& e) {
        ++exchanges;
        toReader += e.request.size();
        fromReader += e.answerBytes;
        wireMs += e.WireMs();
        tagMs += e.tagMs;
    }
};

// What a READ of an NTAG213's page is for, and the rule that needs it.
const char* ReadFor(std::uint8_t page) {
    switch (page) {
    case 0x03:
        return "beyond  read 3-6: CC (formatted, room) and TLV area start (where the message goes)";
    case 0x2C:
        return "beyond  read 2Ch: last page, rolls over to 0-2 (reads end there; maker, lock bytes)";
    case 0x28:
        return "beyond  read 28h: dynamic lock bits, AUTH0, PROT (no page of the message guarded)";
    default:
        return "beyond  read further TLV area pages (the NDEF Message TLV not yet met)";
    }
}

// The cycle's exchanges by what they are for; the first selection and the first write
// of each page are what the tag needs, everything else is beyond it. Each read is
// named by the rule that needs it.
void PrintSteps(const std::vector<Exchange>& cycle) {
    std::vector<std::pair<std::string, Step>> steps;
    const auto add = [&](const std::string& name, const Exchange& e) {
        auto it = std::find_if(steps.begin(), steps.end(), [&](const auto& s) { return s.first == name; });
        if (it == steps.end()) it = steps.insert(steps.end(), {name, Step{}});
        it->second.Add(e);
    };
    bool selected = false;
    std::set<std::uint8_t> pagesWritten;
    for (const Exchange& e : cycle) {
        std::string name = "beyond  other commands";
        switch (e.Command()) {
        case kRequest:
        case kSelect:
            name = selected ? "beyond  further selections (the timer's UID polls, the write's own)"
                            : "needed  select the tag once (request, anticollision/select)";
            if (e.Command() == kSelect) selected = true;
            break;
        case kReadBlock:
            name = ReadFor(e.request.size() > 4 ? e.request[4] : 0);
            break;
        case kWriteBlock:
            name = e.request.size() > 4 && !pagesWritten.insert(e.request[4]).second
                       ? "beyond  a page written again (the first, its length set last)"
                       : "needed  write each page of the message once";
            break;
        case kOutputs:
            name = "beyond  reader outputs (the LED during the beep)";
            break;
        default:
            break;
        }
        add(name, e);
    }
    std::stable_sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) {
        return a.first.starts_with("needed") && !b.first.starts_with("needed");
    });
    std::printf("  %-84s %5s %8s %8s %8s %7s\n", "step", "exch.", "to rdr", "from rdr", "wire ms", "tag ms");
    Step beyond;
    for (const auto& [name, s] : steps) {
        std::printf("  %-84s %5d %8zu %8zu %8.1f %7.1f\n", name.c_str(), s.exchanges, s.toReader,
                    s.fromReader, s.wireMs, s.tagMs);
        if (name.starts_with("beyond")) {
            beyond.exchanges += s.exchanges;
            beyond.toReader += s.toReader;
            beyond.fromReader += s.fromReader;
            beyond.wireMs += s.wireMs;
            beyond.tagMs += s.tagMs;
        }
    }
    std::printf("  %-84s %5d %8zu %8zu %8.1f %7.1f\n", "beyond the least, in all", beyond.exchanges,
                beyond.toReader, beyond.fromReader, beyond.wireMs, beyond.tagMs);
}

} // namespace

int main(int argc, char** argv) {
    const int zyklusZeit = argc > 1 ? std::clamp(std::atoi(argv[1]), 100, 10000) : 100;
    // Settings of its own, no update check, no screen needed.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", settings.path().toUtf8());
    qputenv("KQ_UPDATE_BASE_URL", "");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallQtUiHooks();

    kqtest::FrameBench bench(ViewIdTable::Standard(), zyklusZeit);
    bench.sim().setPacing(true);
    // The beep's own time is the user's choice and no part of the floor.
    ProfileSettings::WriteInt("Settings", "BeepTime", 0);

    QByteArray csv = "TEXT;\r\n";
    for (int row = 1; row <= kRows; ++row)
        csv += RowText(row) + "\r\n";
    QFile list(settings.filePath(QStringLiteral("liste.csv")));
    if (!list.open(QIODevice::WriteOnly) || list.write(csv) != csv.size()) return 1;
    list.close();
    bench.frame->SetFileDialog([&](QWidget*, const FileDialogRequest&) { return list.fileName(); });
    bench.frame->Action(IdLoadDataList)->trigger();
    auto* form = qobject_cast<CRecordFormView*>(bench.frame->ActiveView());
    if (!form || form->RowCount() != kRows) {
        std::fprintf(stderr, "the data list did not load\n");
        return 1;
    }
    kqtest::ControlById<QPushButton>(*form, CRecordFormView::IdCyclicWrite)->click();

    std::vector<double> written; // seconds since the start at which each tag was written
    std::vector<std::vector<Exchange>> cycles;
    QElapsedTimer clock;
    clock.start();
    kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(1));
    bool ok = true;
    for (int n = 1; n <= kRows && ok; ++n) {
        const QString expected = kqtest::Hex(kqtest::TextRecord(RowText(n)));
        ok = WaitFor([&] { return kqtest::MessageHex(bench.sim(), tag) == expected; }) &&
             WaitFor([&] { return bench.frame->StatusText() == QStringLiteral("Schreiben erfolgreich!"); });
        written.push_back(double(clock.nsecsElapsed()) / 1e9);
        cycles.push_back(Exchanges(bench.sim().log()));
        bench.sim().clearLog();
        if (n < kRows) tag = bench.sim().swapTag(tag, kqtest::BlankNtag213(std::uint8_t(n + 1)));
    }
    if (ok) {
        bench.sim().removeTag(tag);
        ok = WaitFor([&] { return kqtest::RecordCounter(*form) == QStringLiteral("Ende"); });
    }
    if (!ok) {
        std::fprintf(stderr, "FAILED after %zu tags: %s\n", written.size(),
                     qPrintable(bench.frame->StatusText()));
        return 1;
    }

    // Cycles 2..20: from the previous tag written to this one written.
    std::vector<double> perTag;
    double lineMs = 0, tagMs = 0;
    std::size_t bytes = 0;
    for (int n = 1; n < kRows; ++n) {
        perTag.push_back(written[n] - written[n - 1]);
        for (const Exchange& e : cycles[n]) {
            lineMs += e.WireMs();
            tagMs += e.tagMs;
            bytes += e.request.size() + e.answerBytes;
        }
    }
    const double cyclesCounted = kRows - 1;
    lineMs /= cyclesCounted;
    tagMs /= cyclesCounted;
    const double mean = (written.back() - written.front()) / cyclesCounted;
    const double floor = (zyklusZeit + lineMs + tagMs) / 1000.0;
    std::sort(perTag.begin(), perTag.end());
    std::printf(
        "Cyclic writing, whole program: a %d-row CSV data list (text records) onto %d NTAG213s, one after\n"
        "another; KQ-LMX38 at %d baud (paced), ZyklusZeit %d ms, BeepTime 0\n",
        kRows, kRows, kBaud, zyklusZeit);
    std::printf("  seconds per tag  %.3f s  (tags 2-%d; fastest %.3f s, slowest %.3f s)\n", mean, kRows,
                perTag.front(), perTag.back());
    std::printf(
        "  floor per tag    %.3f s  = ZyklusZeit %d ms (one tick notices the tag, the next writes it)\n"
        "                             + line %.1f ms (%.0f bytes a cycle x 10 bits / %d baud, every frame:\n"
        "                               the timer's UID polls and the write)\n"
        "                             + tags %.1f ms (air time at 106 kbit/s, EEPROM writes of 4.1 ms)\n",
        floor, zyklusZeit, lineMs, double(bytes) / cyclesCounted, kBaud, tagMs);
    const double ratio = mean / floor;
    std::printf("  ratio            %.3f  (target 1.25: %s)\n", ratio, ratio <= 1.25 ? "met" : "MISSED");
    std::printf("One tag's cycle (tag %d), step by step:\n", kRows / 2);
    PrintSteps(cycles[kRows / 2 - 1]);
    return ratio <= 1.25 ? 0 : 2;
}
