// rqtool's commands against a scripted proxy on a loopback port: the exit status of each
// failure class, what the failure line says, the wire bytes of a good exchange, the trace,
// and a connect that times out against a listener whose backlog is full.
#include "tool/tool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "link/socket.h"
#include "support/files.h"
#include "support/scripted_proxy.h"
#include "support/wire.h"
#include "tool/file_commands.h"
#include "tool/script_run.h"
#include "tool/sync.h"
#include "tool/text_output.h"
#include "tool/tool_main.h"
#include "tool/transfer_commands.h"

namespace rq {
namespace {

using testing::frame;
using testing::message;
using testing::ScriptedProxy;

struct Outcome {
  int status;
  std::string out, err, trace;
};

// Runs one command on a fresh Tool against port; standard output and error go to files.
template <typename Body>
Outcome run_tool(int port, double timeout_s, Body body, bool traced = false) {
  auto t = std::make_unique<Tool>();
  t->options.port = port;
  t->options.timeout_s = timeout_s;
  t->options.timeout_given = true;
  t->out = tmpfile();
  t->err = tmpfile();
  if (traced) {
    t->trace = tmpfile();
    t->device.link.trace = t->trace;
    t->device.link.trace_name = "rqtool";
    t->device.link.trace_clock = true;
  }
  Outcome o;
  o.status = body(*t);
  if (t->device.link.socket != kNoSocket) link_close(t->device.link);
  o.out = testing::read_stream(t->out);
  o.err = testing::read_stream(t->err);
  if (traced) o.trace = testing::read_stream(t->trace);
  fclose(t->out);
  fclose(t->err);
  if (t->trace) fclose(t->trace);
  return o;
}

int mkdir_logs(Tool& t) { return tool_mkdir(t, MkdirArgs{"/logs", false}); }
int ping_once(Tool& t) {
  PingSummary s;
  return tool_ping(t, PingArgs{1}, s);
}

TEST(ToolExchange, EachFailureClassHasItsExitStatusAndSaysWhy) {
  struct Case {
    const char* name;
    std::string script;
    bool hang_up;
    int (*command)(Tool&);
    int status;
    const char* says;
  };
  const std::string ready = frame(message(0));
  const std::string oversize = std::string("Ag\x4e\x20", 4) + std::string(20000, 'x');
  const Case cases[] = {
      {"refused command", frame(message(3)), false, mkdir_logs, kExitDevice,
       "rqtool: mkdir /logs: access failed (status 3)\n"},
      {"refused path", ready + frame(message(5)), false, mkdir_logs, kExitDevice,
       "rqtool: mkdir /logs: invalid parameter (status 5)\n"},
      {"bad status", ready + ready + frame(message(7)), false, mkdir_logs, kExitDevice,
       "rqtool: mkdir /logs: file already exists (status 7)\n"},
      {"negative status", ready + ready + frame(message(-30)), false, mkdir_logs, kExitDevice,
       "rqtool: mkdir /logs: invalid error code (status -30)\n"},
      {"lost connection", ready, true, mkdir_logs, kExitLink,
       "rqtool: mkdir /logs: the proxy closed the connection\n"},
      {"silence past the time-out", ready, false, mkdir_logs, kExitLink,
       "rqtool: mkdir /logs: no progress from the proxy within 0.3 s\n"},
      {"oversize frame", ready + ready + oversize, false, mkdir_logs, kExitLink,
       "rqtool: mkdir /logs: the proxy sent a frame of 20000 bytes (at most 16384 allowed)\n"},
      {"ping out of sync", ready + frame(message(0, 7)), false, ping_once, kExitLink,
       "rqtool: ping: reply out of sync (got 7, expected 1)\n"},
      {"ping refused", frame(message(1)), false, ping_once, kExitDevice,
       "rqtool: ping: usb bus error (status 1)\n"},
      {"ping answered with a status", ready + frame(message(8, 1)), false, ping_once, kExitDevice,
       "rqtool: ping: ran out of inodes (status 8)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedProxy proxy(c.script, c.hang_up);
    Outcome o = run_tool(proxy.port(), 0.3, c.command);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, c.says);
    EXPECT_EQ(o.out, "");
  }
}

TEST(ToolExchange, GoodExchangesSendTheShellsBytesAndPrintResults) {
  const std::string ready = frame(message(0));
  {
    ScriptedProxy proxy(ready + ready + frame(message(0)), false);
    Outcome o = run_tool(proxy.port(), 5, mkdir_logs);
    EXPECT_EQ(o.status, kExitOk);
    EXPECT_EQ(o.err, "");
    EXPECT_TRUE(testing::wire_matches(
        "41 67 00 08 06 00 xx xx 06 00 00 00 41 67 00 06 2f 6c 6f 67 73 00", proxy.received()))
        << testing::hex(proxy.received());
  }
  {
    ScriptedProxy proxy(ready + frame(message(0, 9)) + frame(std::string("build 42\0", 9)), false);
    VerReport v;
    Outcome o = run_tool(proxy.port(), 5, [&](Tool& t) { return tool_ver(t, v); });
    EXPECT_EQ(o.status, kExitOk);
    EXPECT_EQ(v.build, "build 42");
  }
  {
    // A directory listing: names in the device's order, directories marked.
    std::string listing =
        std::string("D\0\0\0", 4) + testing::le32(2) + "bin" + "\x01" + "a.txt" + "\x02";
    ScriptedProxy proxy(ready + ready + frame(message(0, 0)) + frame(listing), false);
    Outcome o = run_tool(proxy.port(), 5, [](Tool& t) {
      LsListing l;
      int status = tool_ls(t, "/", l);
      print_result(t, l);
      return status;
    });
    EXPECT_EQ(o.status, kExitOk);
    EXPECT_EQ(o.out, "bin/\na.txt\n");
  }
}

// run: while a script line runs, the shell's session prints its own lines for a link
// failure; the tool then names the line and says what the link met, as kept by the link.
TEST(ToolScript, ALinkFailureNamesTheLineAndWhatTheLinkMet) {
  struct Case {
    const char* name;
    bool hang_up;
    const char* says;
  } cases[] = {
      {"lost connection", true, "rqtool: the proxy closed the connection\n"},
      {"silence past the time-out", false, "rqtool: no progress from the proxy within 0.3 s\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::write_file(dir / "s.rq", "mkdir /logs\nver\n");
    ScriptedProxy proxy(frame(message(0)), c.hang_up);
    RunSummary s;
    Outcome o =
        run_tool(proxy.port(), 0.3, [&](Tool& t) { return tool_run(t, RunArgs{dir / "s.rq"}, s); });
    EXPECT_EQ(o.status, kExitLink);
    EXPECT_NE(o.err.find(dir / "s.rq" + ":1: mkdir /logs\n" + c.says), std::string::npos) << o.err;
    EXPECT_EQ(s.commands, 1);
  }
}

TEST(ToolExchange, ADownloadThatCannotBeWrittenIsALocalFileFailure) {
  const std::string ready = frame(message(0));
  ScriptedProxy proxy(ready + ready + frame(message(0, 5)) + frame("hello"), false);
  Outcome o = run_tool(proxy.port(), 5, [](Tool& t) {
    TransferSummary s;
    return tool_get(t, "/a", "/dev/full", s);
  });
  EXPECT_EQ(o.status, kExitLocalFile);
  EXPECT_NE(o.err.find("rqtool: get /a /dev/full: cannot write /dev/full"), std::string::npos)
      << o.err;
}

// Local files fail before the proxy is contacted, with the platform's error number as the
// failure's code (what --json reports as error.code).
TEST(ToolLocalFiles, AFailureCarriesThePlatformsErrorNumber) {
  struct Case {
    const char* name;
    int (*command)(Tool&);
    int code;
    const char* says;
  } cases[] = {
      {"a missing file to send",
       [](Tool& t) {
         TransferSummary s;
         return tool_boot_write(t, BootArgs{1, "/nonexistent/x"}, s);
       },
       ENOENT,
       "rqtool: boot write 1 /nonexistent/x: cannot open /nonexistent/x: No such file or "
       "directory\n"},
      {"a directory to send: no call failed",
       [](Tool& t) {
         TransferSummary s;
         return tool_boot_write(t, BootArgs{1, "/"}, s);
       },
       0, "rqtool: boot write 1 /: cannot send /: not a regular file\n"},
      {"a target in a missing directory",
       [](Tool& t) {
         TransferSummary s;
         return tool_boot_read(t, BootArgs{1, "/nonexistent/x"}, s);
       },
       ENOENT,
       "rqtool: boot read 1 /nonexistent/x: cannot write /nonexistent/x: No such file or "
       "directory\n"},
      {"a directory as target",
       [](Tool& t) {
         TransferSummary s;
         return tool_boot_read(t, BootArgs{1, "/"}, s);
       },
       EISDIR, "rqtool: boot read 1 /: cannot open /: Is a directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int code = -1;
    Outcome o = run_tool(1, 1, [&](Tool& t) {
      int status = c.command(t);
      code = t.failure.code;
      return status;
    });
    EXPECT_EQ(o.status, kExitLocalFile);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(o.err, c.says);
  }
}

// Boot image 1 takes its chunks with nothing after the last one: a send that failed there
// must not pass for a written image, verified or not.
TEST(ToolExchange, ABootImageWhoseLastChunkWasNotSentIsALinkFailure) {
  testing::TempDir dir;
  testing::write_file(dir / "img", "a short image");
  SocketHandle ends[2];
  ASSERT_EQ(socket_pair(ends), 0);
  // The readies for the command message and for the one chunk, then the proxy is gone: each
  // ready is read, each send fails.
  const std::string readies = frame(message(0)) + frame(message(0));
  ASSERT_EQ(socket_send(ends[1], readies.data(), readies.size()),
            static_cast<long>(readies.size()));
  socket_close(ends[1]);
  TransferSummary s;
  Outcome o = run_tool(0, 5, [&](Tool& t) {
    link_attach(t.device.link, ends[0]);
    return tool_boot_write(t, BootArgs{1, dir / "img", true}, s);
  });
  EXPECT_EQ(o.status, kExitLink);
  EXPECT_NE(o.err.find("rqtool: boot write 1 " + (dir / "img") + ": sending to the proxy failed"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(s.files, 0);
}

TEST(ToolExchange, ConnectingGivesUpAtTheTimeOutWhenTheBacklogIsFull) {
  int port = 0;
  SocketHandle listener = socket_listen_ipv4("127.0.0.1", 0, &port);
  ASSERT_NE(listener, kNoSocket);
  // Never accepted: once the queue is full, further connects get no answer at all.
  std::vector<SocketHandle> queued;
  bool full = false;
  for (int i = 0; i < 64 && !full; ++i) {
    SocketHandle s = socket_open_tcp();
    full = socket_connect_ipv4_within(s, "127.0.0.1", port, 200) == -2;
    queued.push_back(s);
  }
  ASSERT_TRUE(full) << "the listener's backlog never filled";
  Outcome o = run_tool(port, 0.5, ping_once);
  EXPECT_EQ(o.status, kExitLink);
  EXPECT_EQ(o.err, "rqtool: no progress from the proxy within 0.5 s\n");
  for (SocketHandle s : queued) socket_close(s);
  socket_close(listener);
}

TEST(ToolExchange, TraceShowsEachFrameBothWaysWithItsTime) {
  const std::string ready = frame(message(0));
  ScriptedProxy proxy(ready + ready + frame(message(0)), false);
  Outcome o = run_tool(proxy.port(), 5, mkdir_logs, true);
  EXPECT_EQ(o.status, kExitOk);
  const char* expected[] = {
      "rqtool <- status    code=0 value=0 | 41 67 00 08 00 00 00 00 00 00 00 00",
      "rqtool -> command   mkdir sub=0 value=6 | 41 67 00 08 06 00 00 00 06 00 00 00",
      "rqtool <- status    code=0 value=0 | 41 67 00 08 00 00 00 00 00 00 00 00",
      "rqtool -> payload   \"/logs\\0\" (6 bytes) | 41 67 00 06 2f 6c 6f 67 73 00",
      "rqtool <- status    code=0 value=0 | 41 67 00 08 00 00 00 00 00 00 00 00",
  };
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = o.trace.find('\n', start)) != std::string::npos;
       start = end + 1)
    lines.push_back(o.trace.substr(start, end - start));
  ASSERT_EQ(lines.size(), sizeof expected / sizeof expected[0]) << o.trace;
  const std::regex clock("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} ");
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_search(lines[i].substr(0, 13), clock)) << lines[i];
    EXPECT_EQ(lines[i].substr(13), expected[i]);
  }
}

// A path as long as a message is still shown as the path it is, as rqsim's trace shows it.
TEST(ToolExchange, TraceShowsAPathAsTextWhateverItsLength) {
  const std::string ready = frame(message(0));
  ScriptedProxy proxy(ready + ready + frame(message(0)), false);
  Outcome o = run_tool(
      proxy.port(), 5,
      [](Tool& t) {
        return tool_mkdir(t, MkdirArgs{"/abcdef", false});
      },
      true);
  EXPECT_EQ(o.status, kExitOk);
  EXPECT_NE(o.trace.find("rqtool -> payload   \"/abcdef\\0\" (8 bytes) | 41 67 00 08 2f 61 62 63 "
                         "64 65 66 00\n"),
            std::string::npos)
      << o.trace;
}

TEST(ToolCommandLine, UsageMistakesExitTwoBeforeAnythingIsSent) {
  const std::vector<std::vector<std::string>> cases = {
      {"bogus"},
      {},
      {"-p", "0", "ping"},
      {"-p", "65536", "ping"},
      {"-t", "soon", "ping"},
      {"-w", "-1", "ping"},
      {"ping", "-c", "0"},
      {"ping", "extra"},
      {"mkdir"},
      {"mv", "a"},
      {"format"},
      {"boot", "read", "4", "x"},
      {"boot", "erase", "1", "x"},
      {"ping", "-H", "127.0.0.1"},  // global options go before the command
      {"rm", "-r", "/"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"rqtool", "-p", "1"};
    args.insert(args.end(), c.begin(), c.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    std::string joined;
    for (const std::string& a : c) joined += a + " ";
    EXPECT_EQ(tool_main(static_cast<int>(argv.size()), argv.data()), kExitUsage) << joined;
  }
}

TEST(ToolExchange, NoListedNameIsJoinedIntoAPathThatLeadsElsewhere) {
  // Each name of a listing becomes part of a later command's path (an extra's removal with
  // sync --delete, rm -r's removals, ls -R's and ls -l's listings): an empty one, or one
  // holding a slash, stops the run after the one ls, before anything acts on it.
  const std::string ready = frame(message(0));
  const std::string names[] = {std::string("x/../../etc\x01"), std::string("\x02"),
                               std::string("a/b\x02")};
  testing::TempDir empty;
  struct Row {
    const char* what;
    int (*run)(Tool&, const std::string& source);
  };
  const Row rows[] = {
      {"sync",
       [](Tool& t, const std::string& source) {
         SyncSummary s;
         SyncArgs a;
         a.source = source;
         a.dest = "/dst";
         a.remove_extras = true;
         return tool_sync(t, a, s);
       }},
      {"rm -r",
       [](Tool& t, const std::string&) {
         return tool_rm(t, RmArgs{"/dst", true, false});
       }},
      {"ls -R",
       [](Tool& t, const std::string&) {
         LsListing l;
         return tool_ls(t, LsArgs{"/dst", false, true}, l);
       }},
      {"ls -l",
       [](Tool& t, const std::string&) {
         LsListing l;
         return tool_ls(t, LsArgs{"/dst", true, false}, l);
       }},
  };
  for (const Row& row : rows) {
    for (const std::string& name : names) {
      std::string listing = std::string("D\0\0\0", 4) + testing::le32(1) + name;
      ScriptedProxy proxy(ready + ready + frame(message(0, 0)) + frame(listing), false);
      Outcome o = run_tool(proxy.port(), 5, [&](Tool& t) { return row.run(t, empty.path()); });
      EXPECT_EQ(o.status, kExitDevice) << row.what << " " << testing::hex(name);
      EXPECT_NE(o.err.find(std::string(row.what) +
                           ": the listing of /dst holds an empty name or one with a slash"),
                std::string::npos)
          << o.err;
      // The one ls (the proxy spoke first: no start-up ping).
      EXPECT_EQ(proxy.received(), frame(message(kCmdLs, 5)) + frame(testing::with_zero("/dst")))
          << row.what << " " << testing::hex(name);
    }
  }
}

TEST(ToolExchange, RmRStopsAtADeviceThatListsADirectoryInsideItself) {
  // Every directory lists a directory x: rm -r would walk down until the path no longer
  // fits a frame. It stops at the depth ls -R and get -r stop at, having removed nothing.
  const std::string ready = frame(message(0));
  std::string listing = std::string("D\0\0\0", 4) + testing::le32(1) + "x\x01";
  std::string script;
  for (int i = 0; i <= kMaxTreeDepth + 1; ++i)
    script += ready + ready + frame(message(0, 0)) + frame(listing);
  ScriptedProxy proxy(script, false);
  Outcome o = run_tool(proxy.port(), 5, [](Tool& t) {
    return tool_rm(t, RmArgs{"/dst", true, false});
  });
  EXPECT_EQ(o.status, kExitDevice);
  EXPECT_NE(o.err.find(": too deep"), std::string::npos) << o.err;
  // An rm command frame begins with the frame's header for 8 bytes and rm's code.
  const std::string rm_start = frame(message(kCmdRm)).substr(0, frame("").size() + 1);
  EXPECT_EQ(proxy.received().find(rm_start), std::string::npos) << "an rm was sent";
}

}  // namespace
}  // namespace rq
