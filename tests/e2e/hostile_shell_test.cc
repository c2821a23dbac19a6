// rqsim against shells that misbehave: bytes that are no frames, frames longer than any
// buffer, an upload announcing 2 GiB, paths that try to leave the root, shells that vanish
// at every kind of point in an exchange, and thousands of connections in a row. Afterwards
// rqsim is still running, its memory has not grown, nothing was written outside its root,
// no upload file is left inside it, and it serves the real rqshell as usual.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "link/protocol.h"
#include "support/peer.h"
#include "support/process.h"
#include "support/wire.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

constexpr int kReplyWaitMs = 10000;  // a healthy rqsim answers at once; this only bounds a fault

using testing::frame;
using testing::le32;
using testing::message;
using testing::message_value;
using testing::vm_rss_kb;

// A shell written by hand: raw bytes and frames over the link.
class RawShell : public testing::FramedPeer {
 public:
  explicit RawShell(int port) : FramedPeer(kReplyWaitMs) { connect(port); }

  // The start-up probe: a ping sent without a ready, and its reply.
  bool handshake() {
    std::string reply;
    return send_frame(message(kCmdPing, 0)) && receive(&reply) && message_value(reply) == 1;
  }

  // A ready-gated frame: waits for the go-ahead, then sends.
  bool gated(const std::string& payload) { return receive_code() == 0 && send_frame(payload); }
};

bool alive(int pid) { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0 && kill(pid, 0) == 0; }

class HostileShell : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root() + "/d");
    write_file(root() + "/f.txt", "hello");
    write_file(root() + "/big.bin", random_bytes(100000, 1));
    write_file(root() + "/prog.elf", std::string("\x7f"
                                                 "ELF",
                                                 4) +
                                         random_bytes(60, 2));
    write_file(boots_ / "boot2.img", random_bytes(50000, 3));
    // The root's parent holds nothing else, so anything that appears there escaped it.
    ASSERT_TRUE(start_sim(sim_,
                          {"--root", root(), "--boot-dir", boots_.path(), "--diag-delay", "0"},
                          logs_ / "sim.err"));
    // Settle: one real shell touches the buffers a session uses, then measure.
    expect_served();
    outside_before_ = tree_of(parent_.path());
    rss_before_ = vm_rss_kb(sim_.pid);
    ASSERT_GT(rss_before_, 0);
  }

  void TearDown() override {
    EXPECT_TRUE(alive(sim_.pid)) << read_file(logs_ / "sim.err");
    expect_served();
    long rss_after = vm_rss_kb(sim_.pid);
    EXPECT_LT(rss_after - rss_before_, 2048)
        << "KiB before " << rss_before_ << ", after " << rss_after;
    // The root's own files may have changed; nothing else below its parent may have.
    auto outside_after = tree_of(parent_.path());
    for (auto* m : {&outside_before_, &outside_after})
      std::erase_if(*m, [](const auto& e) { return e.first.rfind("root/", 0) == 0; });
    EXPECT_EQ(outside_after, outside_before_);
    EXPECT_EQ(leftovers(root()), std::vector<std::string>{});
    EXPECT_EQ(read_file(root() + "/f.txt"), "hello");
    stop_sim(sim_);
  }

  // A real rqshell gets the usual answers.
  void expect_served() {
    TempDir work;
    e2e::Run r = run_shell_script(sim_, work, "ping\ncd /\nls d\nping\nq\n", "", 20000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, "d contains 0 files\n");
  }

  std::string root() const { return parent_ / "root"; }

  TempDir parent_, boots_, logs_;
  Sim sim_;
  std::map<std::string, std::string> outside_before_;
  long rss_before_ = 0;
};

TEST_F(HostileShell, GarbageAndOversizeFramesAreSurvived) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RawShell shell(sim_.port);
    EXPECT_TRUE(shell.connected());
    // Half of them speak first, so the garbage meets a session between commands.
    if (seed % 2 == 0) {
      EXPECT_TRUE(shell.handshake());
    }
    shell.send_bytes(random_bytes(1 + seed * 1000, seed));
  }
  // Bytes with correct markers but absurd lengths, each frame complete.
  RawShell shell(sim_.port);
  ASSERT_TRUE(shell.handshake());
  ASSERT_EQ(shell.receive_code(), 0);  // the ready for the first command
  // 65535 bytes announced and sent: skipped whole, answered as a bad command, then in step.
  std::string oversize = "\x41\x67\xff\xff" + std::string(65535, '\x01');
  ASSERT_TRUE(shell.send_bytes(oversize));
  EXPECT_EQ(shell.receive_code(), 5);
  std::string reply;
  ASSERT_TRUE(shell.gated(message(kCmdPing, 41)));
  ASSERT_TRUE(shell.receive(&reply));
  EXPECT_EQ(message_value(reply), 42);
  // A path command whose path frame is oversize, and one with no zero.
  ASSERT_TRUE(shell.gated(message(kCmdMkdir, 5)));
  ASSERT_TRUE(shell.gated(std::string(20000, 'x')));
  EXPECT_EQ(shell.receive_code(), 5);
  ASSERT_TRUE(shell.gated(message(kCmdMkdir, 4)));
  ASSERT_TRUE(shell.gated("abcd"));
  EXPECT_EQ(shell.receive_code(), 5);
  // Command messages of the wrong size, unknown codes and huge announced lengths.
  for (const std::string& bad :
       {std::string("\x06"), std::string(16, '\x03'), message(0x7e), message(kCmdLs, -1),
        message(kCmdGet, 0x7fffffff), message(kCmdMv, 1 << 20)}) {
    SCOPED_TRACE(testing::hex(bad));
    // The rows share the session: once one is out of step, the rest cannot be told apart.
    const bool sent = shell.gated(bad);
    EXPECT_TRUE(sent);
    if (!sent) break;
    EXPECT_NE(shell.receive_code(), 0);
  }
}

TEST_F(HostileShell, PathsThatLeaveTheRootAreRefused) {
  const std::string paths[] = {"../escape",   "/../escape",          "d/../../escape",    "..",
                               "/tmp/escape", std::string(300, 'a'), "a\\..\\..\\escape", "d/\x01x",
                               "f.txt/x"};
  // One session for every path while it stays in step; a path that breaks it fails, and
  // the next path starts a fresh session.
  std::unique_ptr<RawShell> shell;
  bool in_step = false;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    if (!in_step) {
      shell = std::make_unique<RawShell>(sim_.port);
      in_step = shell->handshake();
      EXPECT_TRUE(in_step);
      if (!in_step) continue;
    }
    in_step = false;
    [&] {
      std::string p = path + std::string(1, '\0');
      for (int code : {kCmdMkdir, kCmdCd, kCmdRm, kCmdLaunch}) {
        ASSERT_TRUE(shell->gated(message(code, static_cast<int32_t>(p.size()))));
        ASSERT_TRUE(shell->gated(p));
        EXPECT_NE(shell->receive_code(), 0);
      }
      // put: the payload names the file; an empty upload needs no data.
      std::string put = le32(0) + p;
      ASSERT_TRUE(shell->gated(message(kCmdPut, static_cast<int32_t>(put.size()))));
      ASSERT_TRUE(shell->gated(put));
      EXPECT_NE(shell->receive_code(), 0);
      // cp and mv towards the outside.
      std::string names = std::string("f.txt") + '\0' + p;
      for (int code : {kCmdCp, kCmdMv}) {
        ASSERT_TRUE(shell->gated(message(code, static_cast<int32_t>(names.size()))));
        ASSERT_TRUE(shell->gated(names));
        EXPECT_NE(shell->receive_code(), 0);
      }
      in_step = true;
    }();
  }
}

TEST_F(HostileShell, AnUploadAnnouncing2GiBThenVanishingLeavesNothing) {
  for (int chunks : {0, 1, 2, 5}) {
    SCOPED_TRACE(std::to_string(chunks) + " chunks");
    // A failed step ends this row only (the lambda returns), not the ones after it.
    [&] {
      RawShell shell(sim_.port);
      ASSERT_TRUE(shell.handshake());
      std::string put = le32(0x7fffffff) + "huge.bin" + std::string(1, '\0');
      ASSERT_TRUE(shell.gated(message(kCmdPut, static_cast<int32_t>(put.size()))));
      ASSERT_TRUE(shell.gated(put));
      for (int i = 0; i < chunks; ++i) {
        if (i % 2 == 0) {
          ASSERT_EQ(shell.receive_code(), 0);  // the grant
        }
        ASSERT_TRUE(shell.send_frame(random_bytes(kChunkSize, static_cast<unsigned>(i))));
      }
      // Half a chunk, then gone.
      shell.send_bytes(frame(std::string(kChunkSize, 'z')).substr(0, 5000));
    }();
  }
  EXPECT_FALSE(file_exists(root() + "/huge.bin"));
}

// One exchange of each kind, cut off at each point: the shell closes its end there.
TEST_F(HostileShell, ShellsVanishingMidExchangeAreLetGo) {
  struct Step {
    std::function<bool(RawShell&)> run;
    bool cut_only = false;  // sends part of a frame, so it can only be the last step
  };
  auto gated = [](std::string payload) {
    return Step{[payload](RawShell& s) { return s.gated(payload); }};
  };
  Step receive{[](RawShell& s) {
    std::string m;
    return s.receive(&m);
  }};
  auto half = [](std::string payload) {
    return Step{[payload](RawShell& s) {
                  std::string f = frame(payload);
                  return s.receive_code() == 0 && s.send_bytes(f.substr(0, f.size() / 2));
                },
                true};
  };
  auto path = [&](int code, const std::string& p) {
    std::string z = p + std::string(1, '\0');
    return std::vector<Step>{gated(message(code, static_cast<int32_t>(z.size()))), half(z),
                             gated(z), receive};
  };
  std::string upload = random_bytes(40000, 9);
  std::string put = le32(static_cast<int32_t>(upload.size())) + "up.bin" + std::string(1, '\0');
  std::string chunk0 = upload.substr(0, kChunkSize);
  std::string boot_chunk(kChunkSize - 512, 'w');  // rqsim's default first-chunk reduction
  struct Exchange {
    const char* name;
    std::vector<Step> steps;
  } exchanges[] = {
      {"ping", {gated(message(kCmdPing, 0)), receive}},
      {"mkdir", path(kCmdMkdir, "newdir")},
      {"ls", path(kCmdLs, "/")},
      {"launch", path(kCmdLaunch, "prog.elf")},
      {"cp", path(kCmdCp, std::string("f.txt") + '\0' + "c.txt")},
      {"pwd", {gated(message(kCmdPwd)), receive, receive}},
      {"get", {gated(message(kCmdGet, 8)), gated(std::string("big.bin", 8)), receive, receive}},
      {"put",
       {gated(message(kCmdPut, static_cast<int32_t>(put.size()))), half(put), gated(put),
        Step{[&](RawShell& s) { return s.receive_code() == 0 && s.send_frame(chunk0); }},
        Step{[&](RawShell& s) { return s.send_bytes(frame(chunk0).substr(0, 9000)); }, true}}},
      {"rb", {gated(message(kCmdReadBoot, 0, 2)), receive, receive, receive}},
      {"wb",
       {gated(message(kCmdWriteBoot, 40000, 2)), receive, half(boot_chunk), gated(boot_chunk)}},
      {"diag usb", {gated(message(kCmdDiag, 0, kDiagUsb))}},
      {"diag aud", {gated(message(kCmdDiag, 0, kDiagAudio)), gated(message(kCmdAudioGo)), receive}},
  };
  for (const Exchange& e : exchanges) {
    for (size_t cut = 0; cut <= e.steps.size(); ++cut) {
      SCOPED_TRACE(std::string(e.name) + " cut after step " + std::to_string(cut));
      // A failed step ends this row only (the lambda returns), not the ones after it.
      [&] {
        RawShell shell(sim_.port);
        ASSERT_TRUE(shell.handshake());
        for (size_t i = 0; i < cut; ++i) {
          if (e.steps[i].cut_only && i + 1 != cut) continue;
          ASSERT_TRUE(e.steps[i].run(shell)) << "step " << i;
        }
      }();
    }
  }
  EXPECT_FALSE(file_exists(root() + "/up.bin"));
}

TEST_F(HostileShell, ThousandsOfConnectionsInARow) {
  // Every connection is tried; the failures are counted, the first one named.
  int failed = 0;
  int first_failed = -1;
  for (int i = 0; i < 2000; ++i) {
    RawShell shell(sim_.port);
    // Every other one is served a ping first; that also keeps the listen queue short.
    bool ok = shell.connected() && (i % 2 == 0 || shell.handshake());
    if (!ok && failed++ == 0) first_failed = i;
  }
  EXPECT_EQ(failed, 0) << "the first that failed: connection " << first_failed;
}

}  // namespace
}  // namespace rq::e2e
