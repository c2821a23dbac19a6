// Every command of the real rqshell against a real rqsim that misbehaves in one chosen way
// (its fault rules): refusals at each step, bad statuses, frames too long for any buffer,
// bytes that are no frame, a connection cut in the middle of data, frames dribbled one
// byte at a time, a slow proxy. Whatever happens, the shell neither crashes nor hangs,
// reports the failure in its own words, goes on with the next command (the ping after it),
// exits with status 0, and a failed get or rb leaves the local file as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/console_text.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

const char kPingLine[] = "Ping command failed errcode = %d\n";
const std::string kClosed = testing::kClosedLine;
const std::string kTooLong =
    "ERROR: DX proxy sent a frame of 20000 bytes (at most 16384 allowed)\n";

std::string format_line(const char* line_format, int code) {
  char text[160];
  snprintf(text, sizeof text, line_format, code);
  return text;
}

const char* status_words(int code) {
  switch (code) {
    case 3: return "access failed";
    case 4: return "file corrupted";
    default: return "invalid error code";
  }
}

// The failure report: the status text, then the command's own line with the code.
std::string report(int code, const char* line_format) {
  return std::string("ERROR: ") + status_words(code) + " \n" + format_line(line_format, code);
}

// What the ping after a command prints once the proxy has closed the connection.
const std::string kPingClosed = kClosed + report(-1, kPingLine);

// Console text around the failure report at one point of a command. A null line means the
// fault never reaches the command (it has no such step), so it runs as without the fault.
struct Stage {
  std::string before;
  const char* line = nullptr;
  std::string after;
};

struct Command {
  const char* name;
  const char* rule;     // the command's name in rqsim's fault rules
  const char* line;     // the script line
  const char* answers;  // the operator's answers on the console
  std::string ok;       // console text of a good run (varying figures masked)
  const char* refused;  // line when the command message is refused
  Stage second, third;  // the second and third ready messages refused
  Stage status;         // a bad status for the command's outcome
  Stage lost;           // its first status or reply cannot be read
  const char* drop;     // --drop argument, for commands that move data
  std::string dropped;  // console text when the connection is cut there
  std::vector<std::pair<std::string, std::string>> overrides;  // fault name -> text
};

const std::string kAudioStart =
    "Start AUDIO Test ... \nPress a to start audio tone test (c to cancel) ...\n";
const std::string kAudioTone =
    "Did you hear a tone on left channel followed by a tone on right channel(y/n)?\n"
    "Press r to record 5 seconds sound ...\n";
const std::string kAudioPlayback =
    "Press p to play back record sound\nDid you hear the playback sound? (y/n)?\n";
const std::string kAudioGoRefused = "X audio diag test Failed ??   AUDIO TEST CANCELED\n";
const std::string kAudioFailed = "X  AUDIO TEST FAILED(according to output)\n";
const std::string kGbaQuestion = testing::kGbaQuestion;

// A path command: the command message, the path, the status.
Command path_command(const char* name, const char* line, const char* refused,
                     const char* path_refused, const char* failed) {
  return {.name = name,
          .rule = name,
          .line = line,
          .answers = "",
          .ok = "",
          .refused = refused,
          .second = {.before = "", .line = path_refused, .after = ""},
          .third = {},
          .status = {.before = "", .line = failed, .after = ""},
          .lost = {.before = "", .line = failed, .after = ""},
          .drop = nullptr,
          .dropped = "",
          .overrides = {}};
}

std::vector<Command> commands() {
  std::vector<Command> v;
  v.push_back(
      {.name = "ping",
       .rule = "ping",
       .line = "ping",
       .answers = "",
       .ok = "",
       .refused = kPingLine,
       .second = {},
       .third = {},
       .status = {},
       .lost = {},
       .drop = nullptr,
       .dropped = "",
       // Every ping meets the fault, the start-up probe's no-wait ping too; a lost
       // reply leaves the ping's own message behind, so it reports out of sync.
       .overrides = {{"oversize", kTooLong + "Ping command out of sync = get 0 expect 1\n" +
                                      kTooLong + "Ping command out of sync = get 1 expect 2\n" +
                                      kTooLong + "Ping command out of sync = get 2 expect 3\n"},
                     {"garbage", kClosed + "Ping command out of sync = get 0 expect 1\n" +
                                     kPingClosed + kPingClosed}}});
  v.push_back(
      {.name = "ls",
       .rule = "ls",
       .line = "ls /",
       .answers = "",
       .ok = "/ contains 4 files\n1 File big.bin \n2 Dir d \n3 File f.txt \n4 File prog.elf \n",
       .refused = "ls command failed rv cmd = %d\n",
       .second = {.before = "", .line = "ls command failed errcode = %d\n", .after = ""},
       .third = {},
       .status = {.before = "", .line = "ls command failed errcode = %d\n", .after = ""},
       .lost = {.before = "", .line = "ls command failed errcode = %d\n", .after = ""},
       .drop = "ls:2",
       .dropped = kClosed + report(-1, "ls command failed errcode = %d\n"),
       .overrides = {}});
  // A bare command message and a status; pwd and ver then read a text reply.
  const char* pwd = "pwd command failed errcode = %d\n";
  v.push_back({.name = "pwd",
               .rule = "pwd",
               .line = "pwd",
               .answers = "",
               .ok = "/\n",
               .refused = pwd,
               .second = {},
               .third = {},
               .status = {.before = "", .line = pwd, .after = ""},
               .lost = {.before = "", .line = pwd, .after = ""},
               .drop = "pwd:1",
               .dropped = kClosed + report(-1, pwd),
               .overrides = {}});
  const char* ver = "ver command failed errcode = %d\n";
  v.push_back({.name = "ver",
               .rule = "ver",
               .line = "ver",
               .answers = "",
               .ok = "DX shell built at <date>\n",
               .refused = ver,
               .second = {},
               .third = {},
               .status = {.before = "", .line = ver, .after = ""},
               .lost = {.before = "", .line = ver, .after = ""},
               .drop = "ver:1",
               .dropped = kClosed + report(-1, ver),
               .overrides = {}});
  const char* format = "format command failed errcode = %d\n";
  v.push_back({.name = "format",
               .rule = "format",
               .line = "format",
               .answers = "",
               .ok = "",
               .refused = format,
               .second = {},
               .third = {},
               .status = {.before = "", .line = format, .after = ""},
               .lost = {.before = "", .line = format, .after = ""},
               .drop = nullptr,
               .dropped = "",
               .overrides = {}});
  v.push_back(path_command("cd", "cd d", "cd command failed rcving cmd = %d\n",
                           "cd command failed errcode = %d\n", "cd command failed errcode = %d\n"));
  v.push_back(path_command("mkdir", "mkdir nd", "mkdir command failed rcv cmd = %d\n",
                           "mkdir command failed rcv cmd = %d\n",
                           "mkdir command failed errcode = %d\n"));
  v.push_back(path_command("rm", "rm f.txt", "rm command failed rcv cmd = %d\n",
                           "rm command failed errcode = %d\n", "rm command failed errcode = %d\n"));
  v.push_back(
      path_command("launch", "launch prog.elf", "launch command failed rcv cmd errcode = %d\n",
                   "launch command failed errcode = %d\n", "launch command failed errcode = %d\n"));
  v.push_back(path_command("mv", "mv f.txt g.txt", "mv command failed errcode = %d\n",
                           "mv command failed errcode = %d\n", "mv command failed errcode = %d\n"));
  v.push_back(path_command("cp", "cp f.txt h.txt", "mv command failed errcode = %d\n",
                           "mv command failed errcode = %d\n", "cp command failed errcode = %d\n"));
  const char* put_data = "put command failed errcode(write data) = %d\n";
  v.push_back({.name = "put",
               .rule = "put",
               .line = "put up.bin dev.bin",
               .answers = "",
               .ok = "Download 39.1 KB <time>\n",  // 40000 bytes
               .refused = "put command failed rcv cmd errcode = %d\n",
               .second = {.before = "", .line = "put command failed errcode = %d\n", .after = ""},
               .third = {.before = "", .line = put_data, .after = ""},
               .status = {.before = "", .line = put_data, .after = ""},
               .lost = {.before = "", .line = put_data, .after = ""},
               .drop = "put:20000",
               .dropped = kClosed + report(-1, put_data),
               .overrides = {}});
  v.push_back({.name = "get",
               .rule = "get",
               .line = "get big.bin keep.bin",
               .answers = "",
               .ok = "Download 39.1 KB <time>\n",  // 40000 bytes
               .refused = "put command failed rcv cmd errcode = %d\n",
               .second = {.before = "", .line = "put command failed errcode = %d\n", .after = ""},
               .third = {},
               .status = {.before = "", .line = "put command failed errcode = %d\n", .after = ""},
               .lost = {.before = "", .line = "put command failed errcode = %d\n", .after = ""},
               .drop = "get:20000",
               .dropped = kClosed + "get command failed(fetch data)\n",
               .overrides = {}});
  v.push_back({.name = "rb",
               .rule = "rb",
               .line = "rb 2 keep.bin",
               .answers = "",
               .ok = "",
               .refused = "put command failed rcv cmd errcode = %d\n",
               .second = {},
               .third = {},
               .status = {.before = "", .line = "rb command failed errcode = %d\n", .after = ""},
               .lost = {.before = "", .line = "rb command failed errcode = %d\n", .after = ""},
               .drop = "rb:20000",
               .dropped = kClosed + "get command failed(fetch data)\n",
               .overrides = {}});
  const char* wb_data = "wb command failed errcode(write data) = %d\n";
  v.push_back({.name = "wb",
               .rule = "wb",
               .line = "wb 2 img.bin",
               .answers = "",
               .ok = "",
               .refused = "wb command failed rcv cmd errcode = %d\n",
               .second = {.before = "", .line = wb_data, .after = ""},
               .third = {.before = "", .line = wb_data, .after = ""},
               .status = {.before = "", .line = "wb command failed errcode = %d\n", .after = ""},
               .lost = {.before = "", .line = "wb command failed errcode = %d\n", .after = ""},
               .drop = "wb:20000",
               .dropped = kClosed + report(-1, wb_data),
               .overrides = {}});
  v.push_back({.name = "diag_usb",
               .rule = "diag",
               .line = "diag usb",
               .answers = "",
               .ok = "Start USB Test ... \n\\/ USB TEST PASSED\n",
               .refused = "diag usb failed rcving err = %d\n",
               .second = {},
               .third = {},
               .status = {.before = "Start USB Test ... \n",
                          .line = "diag usb failed errcode = %d\n",
                          .after = ""},
               .lost = {.before = "Start USB Test ... \n",
                        .line = "diag usb failed errcode = %d\n",
                        .after = ""},
               .drop = nullptr,
               .dropped = "",
               .overrides = {}});
  v.push_back({.name = "diag_gba",
               .rule = "diag",
               .line = "diag gba",
               .answers = "y\n",
               .ok = "Start GBA Test ... \n" + kGbaQuestion + "\\/ GBA TEST PASSED\n",
               .refused = "diag GBA failed rcving err = %d\n",
               .second = {},
               .third = {},
               .status = {.before = "Start GBA Test ... \n",
                          .line = "diag GBA failed errcode = %d\n",
                          .after = ""},
               .lost = {.before = "Start GBA Test ... \n",
                        .line = "diag GBA failed errcode = %d\n",
                        .after = ""},
               .drop = nullptr,
               .dropped = "",
               .overrides = {}});
  const char* audio = "diag audio failed rcving err = %d\n";
  v.push_back(
      {.name = "diag_aud",
       .rule = "diag",
       .line = "diag aud",
       .answers = "a\ny\nr\np\ny\n",
       .ok = kAudioStart + kAudioTone + kAudioPlayback + "\\/  AUDIO TEST PASSED\n",
       .refused = audio,
       .second = {.before = kAudioStart, .line = audio, .after = kAudioGoRefused},
       .third = {.before = kAudioStart + kAudioTone, .line = audio, .after = kAudioGoRefused},
       .status = {.before = kAudioStart + kAudioTone + kAudioPlayback,
                  .line = audio,
                  .after = kAudioFailed},
       .lost = {.before = kAudioStart, .line = audio, .after = kAudioFailed},
       .drop = nullptr,
       .dropped = "",
       .overrides = {}});
  return v;
}

struct Cell {
  std::string name;
  std::vector<std::string> sim_args;
  Command command;
  std::string out;  // console text of the command and of the ping after it
};

void PrintTo(const Cell& c, std::ostream* os) { *os << c.name; }

std::string stage_text(const Command& c, const Stage& s, int code) {
  return s.line ? s.before + report(code, s.line) + s.after : c.ok;
}

std::vector<Cell> cells() {
  std::vector<Cell> v;
  for (const Command& c : commands()) {
    std::string rule = c.rule;
    auto add = [&](const std::string& fault, std::vector<std::string> args, std::string out) {
      for (const auto& [name, text] : c.overrides)
        if (name == fault) out = text;
      v.push_back({std::string(c.name) + "_" + fault, std::move(args), c, std::move(out)});
    };
    add("none", {}, c.ok);
    add("split", {"--split"}, c.ok);
    add("stall", {"--stall", "3"}, c.ok);
    add("refuse_all", {"--refuse", "all=3"}, report(3, c.refused) + report(3, kPingLine));
    add("refuse_first", {"--refuse", "1=3"}, report(3, c.refused));
    add("refuse_step2", {"--refuse", rule + ":2=3"}, stage_text(c, c.second, 3));
    add("refuse_step3", {"--refuse", rule + ":3=3"}, stage_text(c, c.third, 3));
    add("status", {"--status", rule + "=4"}, stage_text(c, c.status, 4));
    add("oversize", {"--oversize", rule},
        c.lost.before + kTooLong + report(-1, c.lost.line ? c.lost.line : kPingLine) +
            c.lost.after);
    add("garbage", {"--garbage", rule},
        c.lost.before + kClosed + report(-1, c.lost.line ? c.lost.line : kPingLine) + c.lost.after +
            kPingClosed);
    if (c.drop) add("drop", {"--drop", c.drop}, c.dropped + kPingClosed);
  }
  return v;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {
 protected:
  void SetUp() override {
    fs::create_directories(root() + "/d");
    fs::create_directories(dir_ / "boots");
    write_file(root() + "/f.txt", "hello");
    write_file(root() + "/prog.elf", std::string("\x7f"
                                                 "ELF",
                                                 4) +
                                         random_bytes(60, 1));
    write_file(root() + "/big.bin", random_bytes(40000, 2));
    write_file(dir_ / "boots/boot2.img", random_bytes(40000, 3));
    write_file(dir_ / "up.bin", random_bytes(40000, 4));
    write_file(dir_ / "img.bin", random_bytes(40000, 5));
    write_file(dir_ / "keep.bin", "precious");
  }
  void TearDown() override { stop_sim(sim_); }

  void start(const std::vector<std::string>& faults) {
    std::vector<std::string> args = {"--root",       root(),         "--boot-dir",
                                     dir_ / "boots", "--diag-delay", "0"};
    args.insert(args.end(), faults.begin(), faults.end());
    ASSERT_TRUE(start_sim(sim_, args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
  }

  std::string root() const { return dir_ / "root"; }

  TempDir dir_;
  Sim sim_;
};

TEST_P(FaultMatrix, ShellReportsAndGoesOn) {
  const Cell& cell = GetParam();
  const Command& c = cell.command;
  start(cell.sim_args);
  e2e::Run r = run_shell_script(sim_, dir_, std::string(c.line) + "\nping\nq\n", c.answers, 20000);
  ASSERT_FALSE(r.timed_out) << r.out;
  EXPECT_EQ(r.exit_status, 0);  // also not killed by a signal (that reads as -1)
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(testing::mask_varying(r.out), cell.out);

  bool succeeded = cell.out == c.ok;
  std::string name = c.name;
  if (name == "get" || name == "rb") {
    std::string source =
        name == "get" ? read_file(root() + "/big.bin") : read_file(dir_ / "boots/boot2.img");
    EXPECT_EQ(read_file(dir_ / "keep.bin"), succeeded ? source : "precious");
  }
  if (name == "put") {
    EXPECT_EQ(file_exists(root() + "/dev.bin"), succeeded);
    if (succeeded) {
      EXPECT_EQ(read_file(root() + "/dev.bin"), read_file(dir_ / "up.bin"));
    }
  }
  stop_sim(sim_);
  EXPECT_EQ(leftovers(dir_.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EveryCommandEveryFault, FaultMatrix, ::testing::ValuesIn(cells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                           return info.param.name;
                         });

// Once the proxy has closed the connection, every later command fails at once with its own
// failure report, and both `q` and the end of console input still end the shell with 0.
TEST(ClosedProxy, EveryLaterCommandFailsFastAndTheShellStillEnds) {
  TempDir dir;
  fs::create_directories(dir / "root");
  write_file(dir / "up.bin", random_bytes(40000, 4));
  write_file(dir / "img.bin", random_bytes(40000, 5));
  write_file(dir / "keep.bin", "precious");
  Sim sim;
  ASSERT_TRUE(start_sim(sim, {"--root", dir / "root", "--garbage", "pwd"}, dir / "sim.err"));

  std::string script = "pwd\n";
  std::string out = kClosed + report(-1, "pwd command failed errcode = %d\n");
  for (const Command& c : commands()) {
    script += std::string(c.line) + "\n";
    out += kClosed + report(-1, c.refused);
  }
  for (const char* end : {"q\n", ""}) {
    SCOPED_TRACE(*end ? "q" : "end of input");
    e2e::Run r = run_shell_script(sim, dir, script + end, "", 20000);
    EXPECT_FALSE(r.timed_out) << r.out;
    EXPECT_EQ(r.exit_status, 0);
    // Without q the script runs out and the shell prompts once at the console, which ends.
    EXPECT_EQ(r.out, out + (*end ? "" : "> "));
    EXPECT_EQ(read_file(dir / "keep.bin"), "precious");
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
  stop_sim(sim);
}

}  // namespace
}  // namespace rq::e2e
