// The kqlmx-sim console and program: tags placed, swapped, saved and loaded by
// command; the program prints its pty path, serves it, and ends cleanly at end of
// input and on SIGTERM, removing its symlink.
#include "PtyClient.h"
#include "sim/SimConsole.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"
#include "sim/TagFactory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kqsim {
namespace {

using namespace std::chrono_literals;

std::string tempDir() {
  char tmpl[] = "/tmp/kqsim-prog-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  return dir ? dir : "";
}

std::string run(SimConsole& console, const std::string& line) {
  std::string out;
  EXPECT_TRUE(console.execute(line, out)) << line;
  return out;
}

TEST(SimConsole, PlacesSwapsSavesAndLoadsTags) {
  std::string dir = tempDir();
  ASSERT_FALSE(dir.empty());
  Simulator sim;
  SimConsole console(sim);
  EXPECT_EQ(run(console, "place ntag213,uid=04112233445566"), "tag 1 placed: ntag213 04 11 22 33 44 55 66\n");
  EXPECT_EQ(run(console, "save " + dir + "/a.tag"), "tag 1 saved to " + dir + "/a.tag\n");
  EXPECT_NE(run(console, "show").find("page 3: E1 10 12 00"), std::string::npos);
  EXPECT_EQ(run(console, "swap ultralight"), "tag 1 swapped for tag 2: ultralight 04 10 20 30 40 50 60\n");
  EXPECT_EQ(run(console, "load " + dir + "/a.tag"), "tag 3 placed: ntag213 04 11 22 33 44 55 66\n");
  EXPECT_EQ(run(console, "show"), "several tags in the field: give the tag ID\n");
  EXPECT_EQ(run(console, "swap 2 @" + dir + "/a.tag"), "tag 2 swapped for tag 4: ntag213 04 11 22 33 44 55 66\n");
  EXPECT_EQ(run(console, "vanish 4 2"), "tag 4 leaves after 2 tag command(s)\n");
  EXPECT_EQ(run(console, "remove 3"), "tag 3 removed\n");
  EXPECT_EQ(run(console, "remove"), "1 tag(s) removed\n");
  EXPECT_EQ(run(console, "tags"), "no tag in the field\n");
  EXPECT_EQ(run(console, "place floppy").rfind("error: unknown tag kind", 0), 0u);
  EXPECT_EQ(run(console, "load " + dir + "/missing.tag").rfind("error: ", 0), 0u);
  EXPECT_EQ(run(console, "frobnicate").rfind("unknown command", 0), 0u);
  EXPECT_NE(run(console, "log").find("tag 1 placed"), std::string::npos);
  std::string out;
  EXPECT_FALSE(console.execute("quit", out));
  std::filesystem::remove_all(dir);
}

TEST(SimOptions, ParsesTheCommandLine) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(parseOptions({"--model", "0x134", "--firmware", "7", "--protocol", "3", "--address", "5", "--baud",
                            "9600", "--line", "8E1", "--pace", "--link", "/tmp/x", "--tag", "icode", "--no-console"},
                           o, error))
      << error;
  EXPECT_EQ(o.reader.typeCode, 0x134);
  EXPECT_EQ(o.reader.firmwareDigit, 7);
  EXPECT_EQ(o.reader.protocolType, 3);
  EXPECT_EQ(o.reader.address, 5);
  EXPECT_EQ(o.reader.baud, 9600);
  EXPECT_EQ(o.reader.lineMode, kLine8E1);
  EXPECT_TRUE(o.reader.pacing);
  EXPECT_EQ(o.link, "/tmp/x");
  EXPECT_EQ(o.tags, std::vector<std::string>{"icode"});
  EXPECT_FALSE(o.console);
  for (auto bad : std::vector<std::vector<std::string>>{
           {"--protocol", "4"}, {"--model", "xyz"}, {"--baud"}, {"--transport", "tcp"}, {"--frobnicate"}}) {
    SimOptions o2;
    EXPECT_FALSE(parseOptions(bad, o2, error)) << bad[0];
  }
}

// kqlmx-sim as a child process with pipes on stdin and stdout.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), KQLMX_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, KQLMX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && exitCode(0ms) == -2) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    closeInput();
    if (stdout_ >= 0) close(stdout_);
  }
  bool started() const { return pid_ > 0; }
  void send(const std::string& text) { [[maybe_unused]] ssize_t n = write(stdin_, text.data(), text.size()); }
  void closeInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }
  void signal(int sig) { kill(pid_, sig); }
  // One line of output (without the newline), empty after the timeout.
  std::string line(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      std::size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string l = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return l;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{stdout_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
      char b[256];
      ssize_t n = read(stdout_, b, sizeof b);
      if (n <= 0) return {};
      buffer_.append(b, static_cast<std::size_t>(n));
    }
  }
  // The exit status once the process has ended within `timeout`, else -2.
  int exitCode(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(5ms);
    } while (std::chrono::steady_clock::now() < end);
    return -2;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffer_;
};

TEST(SimProgram, ServesItsPtyAndEndsAtEndOfInput) {
  std::string dir = tempDir();
  ASSERT_FALSE(dir.empty());
  std::string link = dir + "/reader";
  SimProcess sim({"--tag", "ntag213,uid=04112233445566", "--link", link});
  ASSERT_TRUE(sim.started());
  std::string path = sim.line(5s);
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
  test::PtyClient host(link, 19200);
  ASSERT_TRUE(host.write({0x02, 0x01, 0x30, 0x00, 0x31}));
  EXPECT_EQ(host.read(7, 2s), (Bytes{0x02, 0x01, 0x00, 0x02, 0x44, 0x00, 0x47}));
  sim.send("tags\n");
  EXPECT_EQ(sim.line(2s), "1 ntag213 04 11 22 33 44 55 66");
  sim.closeInput();
  EXPECT_EQ(sim.exitCode(5s), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  std::filesystem::remove_all(dir);
}

TEST(SimProgram, EndsOnSigtermWithoutConsole) {
  SimProcess sim({"--no-console", "--protocol", "2"});
  ASSERT_TRUE(sim.started());
  ASSERT_FALSE(sim.line(5s).empty());
  sim.closeInput();
  EXPECT_EQ(sim.exitCode(200ms), -2);  // stdin is not read
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.exitCode(5s), 0);
}

TEST(SimProgram, RefusesBadOptions) {
  SimProcess sim({"--tag", "floppy"});
  ASSERT_TRUE(sim.started());
  EXPECT_EQ(sim.exitCode(5s), 2);
}

}  // namespace
}  // namespace kqsim
