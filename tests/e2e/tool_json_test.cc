// rqtool --json against rqsim: every command and every kind of ending writes exactly one
// JSON object on standard output, parsed back here with a real JSON parser and checked
// field by field; text results and the script's console text go to standard error.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

using nlohmann::json;

constexpr int kExitCancelled = 6;

class ToolJson : public ToolTest {
 protected:
  // rqtool --json ARGS...: checks the exit status and the envelope that every object has,
  // and returns the object (null when the output did not parse).
  json run_json(const std::vector<std::string>& args, int exit, const std::string& command,
                const std::string& stdin_text = "") {
    std::vector<std::string> argv = {"--json"};
    argv.insert(argv.end(), args.begin(), args.end());
    e2e::Run r = tool(argv, stdin_text);
    std::string what = describe(argv, r);
    EXPECT_EQ(r.exit_status, exit) << what;
    // Exactly one object: the parser refuses anything after it but blanks.
    json j = json::parse(r.out, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << what;
    if (j.is_discarded() || !j.is_object()) {
      ADD_FAILURE() << "not one JSON object: " << what;
      return json();
    }
    EXPECT_EQ(r.out.back(), '\n') << what;
    EXPECT_EQ(j.size(), 5u) << j.dump();
    EXPECT_EQ(j["version"], 1) << what;
    if (command.empty()) {
      EXPECT_TRUE(j["command"].is_null()) << what;
    } else {
      EXPECT_EQ(j["command"], command) << what;
    }
    EXPECT_TRUE(j["exit"].is_number_integer()) << what;
    EXPECT_EQ(j["exit"], exit) << what;
    EXPECT_TRUE(j["result"].is_object()) << what;
    if (exit == kExitOk) {
      EXPECT_TRUE(j["error"].is_null()) << what;
    } else {
      const json& e = j["error"];
      EXPECT_TRUE(e.is_object()) << what;
      EXPECT_TRUE(e["step"].is_string()) << what;
      EXPECT_TRUE(e["code"].is_number_integer()) << what;
      EXPECT_TRUE(e["text"].is_string() && e["text"] != "") << what;
    }
    return j;
  }
};

TEST_F(ToolJson, PingVerAndLs) {
  fs::create_directories(root() + "/docs/sub");
  write_file(root() + "/docs/a.txt", "12345");
  // A name that is not UTF-8: Latin-1 "caf\xe9".
  write_file(root() + "/docs/caf\xe9", "");
  start();

  json j = run_json({"ping", "-c", "3"}, kExitOk, "ping");
  EXPECT_EQ(j["result"]["count"], 3);
  ASSERT_EQ(j["result"]["round_trips_ms"].size(), 3u);
  for (const json& ms : j["result"]["round_trips_ms"]) EXPECT_TRUE(ms.is_number()) << ms;
  EXPECT_TRUE(j["result"]["min_ms"].is_number());
  EXPECT_LE(j["result"]["min_ms"], j["result"]["max_ms"]);

  j = run_json({"ver"}, kExitOk, "ver");
  EXPECT_TRUE(j["result"]["build"].is_string());
  EXPECT_NE(j["result"]["build"], "");

  j = run_json({"ls", "/docs"}, kExitOk, "ls");
  EXPECT_EQ(j["result"]["path"], "/docs");
  EXPECT_EQ(j["result"]["type"], "directory");
  const json& entries = j["result"]["entries"];
  ASSERT_TRUE(entries.is_array());
  int seen = 0;
  for (const json& e : entries) {
    std::string hex = e.value("name_hex", "");
    if (e["name"] == "a.txt") {
      EXPECT_EQ(e["type"], "file");
      EXPECT_EQ(hex, "");
      ++seen;
    } else if (e["name"] == "sub") {
      EXPECT_EQ(e["type"], "directory");
      ++seen;
    } else if (hex == "636166e9") {
      // The bad byte is replaced in the name, and carried exactly in name_hex.
      EXPECT_EQ(e["name"], "caf\xef\xbf\xbd");
      EXPECT_EQ(e["type"], "file");
      ++seen;
    }
  }
  EXPECT_EQ(seen, 3) << entries.dump();

  // A file's record: numbers, not text.
  j = run_json({"ls", "/docs/a.txt"}, kExitOk, "ls");
  EXPECT_EQ(j["result"]["type"], "file");
  EXPECT_EQ(j["result"]["size"], 5);
  for (const char* field : {"uid", "gid", "attr", "own", "grp", "other"})
    EXPECT_TRUE(j["result"][field].is_number_integer()) << field << ": " << j.dump();
}

TEST_F(ToolJson, PathCommandsAndTheirFailures) {
  write_file(root() + "/f.txt", "x");
  write_file(root() + "/f.elf",
             "\x7f"
             "ELF");
  start();
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string command, step;  // step "" on success
  } cases[] = {
      {{"mkdir", "d"}, kExitOk, "mkdir", ""},
      {{"mkdir", "d"}, kExitDevice, "mkdir", "status"},
      {{"mv", "f.txt", "g.txt"}, kExitOk, "mv", ""},
      {{"cp", "g.txt", "h.txt"}, kExitOk, "cp", ""},
      {{"rm", "h.txt"}, kExitOk, "rm", ""},
      {{"rm", "missing"}, kExitDevice, "rm", "status"},
      {{"ls", "/missing"}, kExitDevice, "ls", "status"},
      {{"launch", "f.elf"}, kExitOk, "launch", ""},
      {{"launch", "missing.elf"}, kExitDevice, "launch", "status"},
      {{"format", "--yes"}, kExitOk, "format", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(command_line(c.args));
    json j = run_json(c.args, c.exit, c.command);
    if (c.step.empty()) continue;
    EXPECT_EQ(j["error"]["step"], c.step) << j.dump();
    EXPECT_NE(j["error"]["code"], 0) << j.dump();
  }
}

TEST_F(ToolJson, UsageErrorsAndLinkFailures) {
  start();
  struct Case {
    std::vector<std::string> args;
    std::string command;  // "" : null
    std::string text;     // part of the error's text
  } cases[] = {
      {{}, "", "no command given"},     {{"frobnicate"}, "", "unknown command 'frobnicate'"},
      {{"mkdir"}, "mkdir", "PATH"},     {{"ping", "-c", "0"}, "ping", ""},
      {{"format"}, "format", "--yes"},  {{"get", "f.txt", "-"}, "get", "standard output"},
      {{"diag", "memory"}, "diag", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(command_line(c.args));
    json j = run_json(c.args, kExitUsage, c.command);
    EXPECT_EQ(j["error"]["step"], "usage") << j.dump();
    EXPECT_EQ(j["error"]["code"], 0) << j.dump();
    EXPECT_NE(j["error"]["text"].get<std::string>().find(c.text), std::string::npos) << j.dump();
    EXPECT_EQ(j["result"], json::object()) << j.dump();
  }

  // Nothing listens on port 1 of loopback.
  std::vector<std::string> argv = {rqtool_bin(), "--json", "-p", "1", "ping"};
  e2e::Run r = run_program(argv, "", 30000, dir_.path());
  EXPECT_EQ(r.exit_status, kExitLink) << r.err;
  json j = json::parse(r.out, nullptr, false);
  ASSERT_FALSE(j.is_discarded()) << r.out;
  EXPECT_EQ(j["command"], "ping");
  EXPECT_EQ(j["exit"], kExitLink);
  EXPECT_EQ(j["error"]["step"], "connect");
  EXPECT_NE(j["error"]["text"].get<std::string>().find("cannot connect"), std::string::npos);
  EXPECT_EQ(j["result"]["count"], 0);
}

TEST_F(ToolJson, TransfersAndScripts) {
  write_file(dir_ / "local.bin", std::string(70000, 'z'));
  write_file(root() + "/dev.txt", "device");
  write_file(dir_ / "boot.img", std::string(4096, '\x5a'));
  start();

  json j = run_json({"put", "local.bin", "up.bin"}, kExitOk, "put");
  EXPECT_EQ(j["result"]["files"], 1);
  EXPECT_EQ(j["result"]["bytes"], 70000);
  EXPECT_TRUE(j["result"]["seconds"].is_number());
  EXPECT_EQ(j["result"]["outcome"], "ok");
  EXPECT_EQ(read_file(root() + "/up.bin"), std::string(70000, 'z'));

  j = run_json({"get", "dev.txt", "copy.txt"}, kExitOk, "get");
  EXPECT_EQ(j["result"]["bytes"], 6);
  EXPECT_EQ(read_file(dir_ / "copy.txt"), "device");

  j = run_json({"get", "missing.txt", "copy2.txt"}, kExitDevice, "get");
  EXPECT_EQ(j["result"]["outcome"], "failed");
  EXPECT_EQ(j["result"]["files"], 0);

  j = run_json({"put", "no-such-file", "x"}, kExitLocalFile, "put");
  EXPECT_EQ(j["error"]["step"], "local");
  EXPECT_NE(j["error"]["text"].get<std::string>().find("no-such-file"), std::string::npos);

  j = run_json({"boot", "write", "2", "boot.img"}, kExitOk, "boot write");
  EXPECT_EQ(j["result"]["verified"], true);
  EXPECT_EQ(j["result"]["bytes"], 4096);
  j = run_json({"boot", "read", "2", "boot2.img"}, kExitOk, "boot read");
  EXPECT_EQ(j["result"]["outcome"], "ok");
  EXPECT_EQ(read_file(dir_ / "boot2.img").substr(0, 4096), std::string(4096, '\x5a'));

  // A script's console text is not among the results.
  write_file(dir_ / "ok.txt", "mkdir s1\nls\n");
  j = run_json({"run", "ok.txt"}, kExitOk, "run");
  EXPECT_EQ(j["result"]["commands"], 2);
  EXPECT_EQ(j["result"]["failed"], 0);
  write_file(dir_ / "bad.txt", "mkdir s1\n");
  j = run_json({"run", "bad.txt"}, kExitDevice, "run");
  EXPECT_EQ(j["result"]["failed"], 1);
  EXPECT_NE(j["result"]["first_failure"].get<std::string>().find("bad.txt:1"), std::string::npos)
      << j.dump();
}

TEST_F(ToolJson, DiagOutcomesAndWhoAnswered) {
  start();
  json j = run_json({"diag", "usb"}, kExitOk, "diag");
  EXPECT_EQ(j["result"]["test"], "usb");
  EXPECT_EQ(j["result"]["outcome"], "passed");
  EXPECT_EQ(j["result"]["questions"], json::array());

  // Prompts go to standard error: the answers on standard input do not disturb stdout.
  j = run_json({"diag", "aud", "--go"}, kExitOk, "diag", "y\ny\n");
  const json& q = j["result"]["questions"];
  ASSERT_EQ(q.size(), 5u) << j.dump();
  const char* expected[][3] = {{"key", "go", "go"},
                               {"question", "yes", "stdin"},
                               {"key", "go", "go"},
                               {"key", "go", "go"},
                               {"question", "yes", "stdin"}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(q[i]["kind"], expected[i][0]) << i;
    EXPECT_EQ(q[i]["answer"], expected[i][1]) << i;
    EXPECT_EQ(q[i]["answered_by"], expected[i][2]) << i;
    EXPECT_TRUE(q[i]["prompt"].is_string()) << i;
  }

  j = run_json({"diag", "aud"}, kExitCancelled, "diag", "c\n");
  EXPECT_EQ(j["result"]["outcome"], "cancelled");
  EXPECT_EQ(j["error"]["step"], "cancel");
  ASSERT_EQ(j["result"]["questions"].size(), 2u) << j.dump();
  EXPECT_EQ(j["result"]["questions"][0]["answer"], "cancel");
  EXPECT_EQ(j["result"]["questions"][1]["answered_by"], "cancel");

  j = run_json({"diag", "gba"}, kExitUsage, "diag", "");
  EXPECT_EQ(j["result"]["outcome"], "none");
  EXPECT_EQ(j["error"]["step"], "answer");
  ASSERT_EQ(j["result"]["questions"].size(), 1u);
  EXPECT_EQ(j["result"]["questions"][0]["answer"], "none");

  j = run_json({"diag", "gba"}, kExitDevice, "diag", "n\n");
  EXPECT_EQ(j["result"]["outcome"], "failed");
  EXPECT_EQ(j["error"]["step"], "test");

  start({"--diag-status", "flash=7"});
  j = run_json({"diag", "flash"}, kExitDevice, "diag");
  EXPECT_EQ(j["result"]["outcome"], "failed");
  EXPECT_EQ(j["result"]["status"], 7);
  EXPECT_EQ(j["error"]["step"], "test");
  EXPECT_EQ(j["error"]["code"], 7);
}

TEST_F(ToolJson, TreesLongListingsAndVerify) {
  fs::create_directories(dir_ / "tree/sub/empty");
  write_file(dir_ / "tree/a.txt", "aaa");
  write_file(dir_ / "tree/sub/b.bin", std::string(1000, 'b'));
  write_file(dir_ / "other.txt", "aab");
  write_file(dir_ / "boot.img", std::string(2048, '\x11'));
  start();

  json j = run_json({"put", "-r", "tree", "/t"}, kExitOk, "put");
  EXPECT_EQ(j["result"]["files"], 2) << j.dump();
  EXPECT_TRUE(j["result"]["directories"].is_number_integer()) << j.dump();
  EXPECT_GE(j["result"]["directories"], 2) << j.dump();
  EXPECT_EQ(j["result"]["bytes"], 1003);
  EXPECT_EQ(j["result"]["outcome"], "ok");

  // -l: each file's size and record fields beside its name, as numbers.
  j = run_json({"ls", "-l", "/t"}, kExitOk, "ls");
  int files = 0;
  for (const json& e : j["result"]["entries"]) {
    if (e["name"] != "a.txt") continue;
    ++files;
    EXPECT_EQ(e["type"], "file");
    EXPECT_EQ(e["size"], 3);
    for (const char* field : {"uid", "gid", "attr", "own", "grp", "other"})
      EXPECT_TRUE(e.contains(field) && e[field].is_number_integer()) << field << j.dump();
  }
  EXPECT_EQ(files, 1) << j.dump();

  // -R: each subdirectory's listing below its directory's.
  j = run_json({"ls", "-R", "/t"}, kExitOk, "ls");
  ASSERT_TRUE(j["result"]["below"].is_array()) << j.dump();
  bool sub_seen = false;
  for (const json& below : j["result"]["below"]) {
    std::string path = below["path"];
    if (path.size() >= 3 && path.compare(path.size() - 3, 3, "sub") == 0) {
      sub_seen = true;
      EXPECT_EQ(below["type"], "directory");
      EXPECT_TRUE(below["below"].is_array()) << below.dump();
    }
  }
  EXPECT_TRUE(sub_seen) << j.dump();

  j = run_json({"verify", "tree/a.txt", "/t/a.txt"}, kExitOk, "verify");
  EXPECT_EQ(j["result"]["outcome"], "equal");
  EXPECT_EQ(j["result"]["files"], 1);
  EXPECT_EQ(j["result"]["bytes"], 3);
  j = run_json({"verify", "other.txt", "/t/a.txt"}, kExitVerify, "verify");
  EXPECT_EQ(j["result"]["outcome"], "differs");
  EXPECT_EQ(j["error"]["step"], "verify");

  j = run_json({"get", "-r", "/t", "back"}, kExitOk, "get");
  EXPECT_EQ(j["result"]["files"], 2);
  EXPECT_EQ(read_file(dir_ / "back/sub/b.bin"), std::string(1000, 'b'));

  j = run_json({"boot", "write", "3", "boot.img"}, kExitOk, "boot write");
  j = run_json({"boot", "verify", "3", "boot.img"}, kExitOk, "boot verify");
  EXPECT_EQ(j["result"]["outcome"], "equal");

  // A device that returns other bytes than it stored.
  start({"--corrupt", "get:10"});
  j = run_json({"put", "--verify", "tree/sub/b.bin", "/v.bin"}, kExitVerify, "put");
  EXPECT_EQ(j["result"]["outcome"], "differs");
  EXPECT_EQ(j["error"]["step"], "verify");
  EXPECT_NE(j["error"]["text"].get<std::string>().find("10"), std::string::npos) << j.dump();
}

}  // namespace
}  // namespace rq::e2e
