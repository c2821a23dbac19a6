// rqtool sync against the real rqsim, both ways: what differs is copied and nothing else,
// --checksum sees same-size changes, --delete removes what the source lacks, --dry-run
// changes nothing, a listing that may have been cut stops whatever would act on part of a
// tree, and a sync cut off at any step (rqsim --put-in-place keeps partial uploads, as a real
// device may) leaves every file old or new, with what the cut left put right by the next
// sync.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

using nlohmann::json;
using Tree = std::map<std::string, std::string>;

// Empties dir but keeps it: rqsim serves it for the whole test.
void clear(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
}

// Writes a tree as tree_of reads it: "a/" a directory, anything else a file and its bytes.
void make_tree(const fs::path& top, const Tree& tree) {
  fs::remove_all(top);
  fs::create_directories(top);
  for (const auto& [path, bytes] : tree) {
    if (!path.empty() && path.back() == '/') {
      fs::create_directories(top / path);
    } else {
      fs::create_directories((top / path).parent_path());
      write_file((top / path).string(), bytes);
    }
  }
}

// The side names the safe replace uses on the device.
bool is_side_name(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  auto ends = [&](const char* suffix) {
    return name.size() > 8 && name.compare(name.size() - 7, 7, suffix) == 0;
  };
  return name[0] == '.' && (ends(".rq-new") || ends(".rq-old"));
}

// The side name's target, "d/.f.rq-old" -> "d/f".
std::string target_of(const std::string& side) {
  fs::path p(side);
  std::string name = p.filename().string();
  std::string target = name.substr(1, name.size() - 8);
  return p.has_parent_path() ? (p.parent_path() / target).generic_string() : target;
}

class ToolSync : public ToolTest {
 protected:
  fs::path local(const std::string& rel) const { return fs::path(dir_.path()) / rel; }
  fs::path device(const std::string& rel) const { return fs::path(root()) / rel; }

  // rqtool sync ARGS..., checked for its exit status.
  e2e::Run sync(const std::vector<std::string>& args, int exit) {
    std::vector<std::string> argv = {"sync"};
    argv.insert(argv.end(), args.begin(), args.end());
    e2e::Run r = tool(argv);
    EXPECT_EQ(r.exit_status, exit) << describe(argv, r);
    return r;
  }

  // The result object of rqtool --json sync ARGS...
  json sync_json(const std::vector<std::string>& args, int exit) {
    std::vector<std::string> argv = {"--json", "sync"};
    argv.insert(argv.end(), args.begin(), args.end());
    e2e::Run r = tool(argv);
    EXPECT_EQ(r.exit_status, exit) << describe(argv, r);
    json j = json::parse(r.out, nullptr, false);
    EXPECT_TRUE(j.is_object()) << describe(argv, r);
    return j.is_object() ? j["result"] : json();
  }
};

const Tree kSource = {
    {"a.txt", "alpha\n"},
    {"empty", ""},
    {"big.bin", random_bytes(70000, 1)},
    {"with blank and \xc3\xa9", "blank"},
    {"sub/", ""},
    {"sub/inner.bin", random_bytes(20000, 2)},
    {"sub/deeper/", ""},
    {"sub/deeper/leaf", "leaf"},
    {"hollow/", ""},
};

TEST_F(ToolSync, BothWaysTheDestinationEndsEqualAndASecondRunCopiesNothing) {
  start();
  make_tree(local("src"), kSource);
  e2e::Run r = sync({"src", "/dst"}, kExitOk);
  EXPECT_EQ(tree_of(device("dst")), kSource);
  EXPECT_NE(r.out.find("copy /dst/sub/deeper/leaf (new)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("mkdir /dst/hollow/ (new)\n"), std::string::npos) << r.out;
  r = sync({"src", "/dst"}, kExitOk);
  EXPECT_EQ(r.out, "") << "nothing differs";
  EXPECT_NE(r.err.find("rqtool: sync: 0 copied"), std::string::npos) << r.err;

  r = sync({"--pull", "/dst", "back"}, kExitOk);
  EXPECT_EQ(tree_of(local("back")), kSource);
  json j = sync_json({"--pull", "/dst", "back"}, kExitOk);
  EXPECT_EQ(j["actions"], json::array());
  EXPECT_EQ(j["files"], 0);
  EXPECT_EQ(j["unchanged"], 6);
  EXPECT_EQ(j["direction"], "pull");
}

TEST_F(ToolSync, ASameSizeChangeIsCopiedOnlyWithChecksum) {
  struct Case {
    const char* name;
    bool pull;
    std::vector<std::string> flags;
    const char* expect_a;  // a.txt at the destination afterwards
    const char* line;      // the action line, or "" for none
  };
  const Case cases[] = {
      {"push by size", false, {}, "alpha\n", ""},
      {"push by content", false, {"--checksum"}, "gamma\n", "copy /dst/a.txt (content differs)\n"},
      {"pull by size", true, {}, "alpha\n", ""},
      {"pull by content", true, {"--checksum"}, "gamma\n", "copy back/a.txt (content differs)\n"},
  };
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear(root());
    Tree source = kSource, destination = kSource;
    source["a.txt"] = "gamma\n";     // the same size as "alpha\n"
    source["sub/inner.bin"] += "x";  // a size that differs is copied either way
    const fs::path from = c.pull ? device("dst") : local("src");
    const fs::path to = c.pull ? local("back") : device("dst");
    make_tree(from, source);
    make_tree(to, destination);
    std::vector<std::string> args = c.flags;
    if (c.pull) args.push_back("--pull");
    args.push_back(c.pull ? "/dst" : "src");
    args.push_back(c.pull ? "back" : "/dst");
    e2e::Run r = sync(args, kExitOk);
    EXPECT_EQ(read_file((to / "a.txt").string()), c.expect_a);
    EXPECT_EQ(read_file((to / "sub/inner.bin").string()), source["sub/inner.bin"]);
    std::string inner = c.pull ? "copy back/sub/inner.bin (size differs)\n"
                               : "copy /dst/sub/inner.bin (size differs)\n";
    EXPECT_EQ(r.out, c.line + inner);
  }
}

TEST_F(ToolSync, DeleteRemovesWhatTheSourceLacksAndReplacesATypeClash) {
  // The destination has extras (a file, a whole tree) and a file and a directory whose
  // types differ from the source's.
  Tree destination = kSource;
  destination["extra.txt"] = "extra";
  destination["old/"] = "";
  destination["old/x/"] = "";
  destination["old/x/y"] = "y";
  destination.erase("empty");
  destination["empty/"] = "";  // a directory where the source has a file
  destination.erase("hollow/");
  destination["hollow"] = "a file where the source has a directory";
  struct Case {
    const char* name;
    bool pull;
    int clash_exit;  // without --delete: the side that holds the clash
  };
  const Case cases[] = {{"push", false, kExitDevice}, {"pull", true, kExitLocalFile}};
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear(root());
    const fs::path from = c.pull ? device("dst") : local("src");
    const fs::path to = c.pull ? local("back") : device("dst");
    make_tree(from, kSource);
    make_tree(to, destination);
    std::vector<std::string> args = {c.pull ? "/dst" : "src", c.pull ? "back" : "/dst"};
    if (c.pull) args.insert(args.begin(), "--pull");

    e2e::Run r = sync(args, c.clash_exit);
    EXPECT_NE(r.err.find("(--delete replaces it)"), std::string::npos) << r.err;
    EXPECT_EQ(tree_of(to), destination) << "a refusal found while planning changes nothing";

    args.insert(args.begin(), "--delete");
    r = sync(args, kExitOk);
    EXPECT_EQ(tree_of(to), kSource);
    std::string top = c.pull ? "back/" : "/dst/";
    for (const std::string& line :
         {"delete " + top + "extra.txt (not in the source)\n",
          "delete " + top + "old/ (not in the source)\n",
          "delete " + top + "empty/ (type differs)\n", "copy " + top + "empty (type differs)\n",
          "delete " + top + "hollow (type differs)\n", "mkdir " + top + "hollow/ (type differs)\n"})
      EXPECT_NE(r.out.find(line), std::string::npos) << line << "in\n" << r.out;
  }
}

TEST_F(ToolSync, DryRunListsWhatTheRealRunDoesAndChangesNothing) {
  Tree destination = kSource;
  destination["a.txt"] = "changed, and longer";
  destination["extra/"] = "";
  destination.erase("sub/deeper/leaf");
  start();
  make_tree(local("src"), kSource);
  make_tree(device("dst"), destination);
  const std::vector<std::string> args = {"--delete", "--checksum", "src", "/dst"};
  std::vector<std::string> dry = args;
  dry.insert(dry.begin(), "--dry-run");
  e2e::Run planned = sync(dry, kExitOk);
  EXPECT_EQ(tree_of(device("dst")), destination);
  EXPECT_NE(planned.err.find("nothing was changed"), std::string::npos) << planned.err;
  json j = sync_json(dry, kExitOk);
  EXPECT_EQ(tree_of(device("dst")), destination);
  ASSERT_EQ(j["actions"].size(), 3u) << j.dump();
  for (const json& a : j["actions"]) EXPECT_EQ(a["done"], false) << a.dump();
  EXPECT_EQ(j["dry_run"], true);

  j = sync_json(args, kExitOk);
  EXPECT_EQ(tree_of(device("dst")), kSource);
  ASSERT_EQ(j["actions"].size(), 3u) << j.dump();
  EXPECT_EQ(j["actions"][0],
            json::parse(R"({"action":"delete","path":"/dst/extra","type":"directory",
                            "reason":"extra","done":true})"));
  EXPECT_EQ(j["actions"][1]["reason"], "size");
  EXPECT_EQ(j["files"], 2);
  EXPECT_EQ(j["bytes"], 6 + 4);
  EXPECT_EQ(j["deleted"], 1);
  EXPECT_EQ(j["outcome"], "ok");

  // Text: the dry run's lines are the real run's.
  make_tree(device("dst"), destination);
  e2e::Run done = sync(args, kExitOk);
  EXPECT_EQ(planned.out, done.out);
}

TEST_F(ToolSync, ListingThatMayHaveBeenCutStopsWhatWouldActOnPartOfATree) {
  // 1500 names of 10 bytes and a type byte: more than one frame holds.
  fs::create_directories(device("big"));
  for (int i = 0; i < 1500; ++i) {
    char name[16];
    snprintf(name, sizeof name, "f%09d", i);
    write_file(device("big/" + std::string(name)).string(), "");
  }
  fs::create_directories(local("mirror"));
  write_file(local("mirror/keep").string(), "keep");
  start();
  struct Case {
    const char* name;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"sync --delete", {"sync", "--delete", "mirror", "/big"}},
      {"sync --pull --delete", {"sync", "--pull", "--delete", "/big", "mirror"}},
      {"get -r", {"get", "-r", "/big", "out"}},
      {"ls -R", {"ls", "-R", "/"}},
  };
  const Tree device_before = tree_of(device("big"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::Run r = tool(c.args);
    EXPECT_EQ(r.exit_status, kExitDevice) << describe(c.args, r);
    EXPECT_NE(r.err.find("the listing of /big filled its frame and may have been cut"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(tree_of(device("big")), device_before);
    EXPECT_EQ(read_file(local("mirror/keep").string()), "keep");
    EXPECT_FALSE(fs::exists(local("out")));
  }
  // Where nothing is acted on by what is missing, the listing is shown or used as far as it
  // goes, and reported.
  e2e::Run r = tool({"ls", "/big"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ls"}, r);
  EXPECT_NE(r.err.find("may have been cut"), std::string::npos) << r.err;
  json j = sync_json({"--pull", "/big", "mirror"}, kExitOk);
  EXPECT_EQ(j["possibly_incomplete"], json::array({"/big"}));
  EXPECT_GT(j["files"], 1000);
  EXPECT_EQ(read_file(local("mirror/keep").string()), "keep");
}

TEST_F(ToolSync, LinksNamesAndAMissingDestinationFollowTheCopyRules) {
  start();
  fs::create_directories(local("t/sub"));
  write_file(local("t/sub/real.txt").string(), "real");
  fs::create_symlink("sub/real.txt", local("t/link.txt"));
  fs::create_directories(local("sided"));
  write_file(local("sided/.f.rq-old").string(), "a name the safe replace keeps");
  fs::create_directories(local("odd"));
  write_file(local("odd/bad\x01name").string(), "");
  fs::create_directories(device("d"));
  write_file(device("d/real.txt").string(), "device");
  fs::create_directories(local("linked"));
  fs::create_symlink("../elsewhere", local("linked/real.txt"));
  write_file(local("elsewhere").string(), "not the device's");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit;
    const char* made;  // what the run makes, under the scratch directory; nullptr: nothing
  };
  const Case cases[] = {
      {"a link in the tree", {"t", "/t"}, kExitLocalFile, nullptr},
      {"a link followed", {"-L", "t", "/t"}, kExitOk, "root/t/link.txt"},
      {"a side name", {"sided", "/s"}, kExitLocalFile, nullptr},
      {"a name the listing cannot carry", {"odd", "/o"}, kExitLocalFile, nullptr},
      {"a missing destination whose parent exists",
       {"t/sub", "/new"},
       kExitOk,
       "root/new/real.txt"},
      {"a missing destination's parent", {"t/sub", "/no/such"}, kExitDevice, nullptr},
      {"pull into a missing directory", {"--pull", "/d", "fresh"}, kExitOk, "fresh/real.txt"},
      {"pull into a missing parent", {"--pull", "/d", "no/such"}, kExitLocalFile, nullptr},
      {"pull onto a local link", {"--pull", "/d", "linked"}, kExitLocalFile, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Tree device_before = tree_of(root());
    const Tree local_before = tree_of(dir_.path());
    e2e::Run r = sync(c.args, c.exit);
    if (c.made) {
      EXPECT_TRUE(fs::is_regular_file(local(c.made))) << c.made;
    } else {
      EXPECT_EQ(tree_of(root()), device_before);
      for (const auto& [path, bytes] : tree_of(dir_.path())) {
        if (path.rfind("root/", 0) != 0 && path.rfind("sim.", 0) != 0) {
          EXPECT_EQ(local_before.count(path), 1u) << path << " was made";
        }
      }
    }
  }
  EXPECT_EQ(read_file(local("elsewhere").string()), "not the device's");
  e2e::Run r = sync({"--pull", "-L", "/d", "linked"}, kExitOk);
  EXPECT_EQ(read_file(local("elsewhere").string()), "device") << "-L writes through the link";
}

// ---- cut at every step ----

const Tree kOld = {
    {"keep.txt", "kept"},
    {"same.txt", "aaaa"},
    {"change.bin", random_bytes(40000, 3)},
    {"gone.txt", "the source lacks it"},
    {"sub/", ""},
    {"sub/inner.bin", random_bytes(20000, 4)},
};
const Tree kNew = {
    {"keep.txt", "kept"},
    {"same.txt", "bbbb"},
    {"change.bin", random_bytes(50000, 5)},
    {"fresh.bin", random_bytes(30000, 6)},
    {"sub/", ""},
    {"sub/inner.bin", random_bytes(70000, 7)},
};

// Every file at the destination is old or new; a name may be missing only when it is new,
// when the source lacks it, or when the old file stands under its aside name (the instant
// of the swap). An aside name holds an old file (beside its target too, when only its
// removal failed); a temporary name may hold anything: it is no file of the user's.
void expect_old_or_new(const Tree& now, bool aside_allowed) {
  for (const auto& [path, bytes] : now) {
    if (path.back() == '/') continue;
    if (is_side_name(path)) {
      if (path.compare(path.size() - 7, 7, ".rq-old") == 0) {
        EXPECT_TRUE(aside_allowed) << path;
        auto old = kOld.find(target_of(path));
        EXPECT_TRUE(old != kOld.end() && old->second == bytes) << path << " is not an old file";
      }
      continue;
    }
    auto old = kOld.find(path);
    auto fresh = kNew.find(path);
    EXPECT_TRUE((old != kOld.end() && old->second == bytes) ||
                (fresh != kNew.end() && fresh->second == bytes))
        << path << " holds " << bytes.size() << " bytes: neither the old file nor the new one";
  }
  for (const auto& [path, bytes] : kOld) {
    if (path.back() == '/' || now.count(path) || !kNew.count(path)) continue;
    std::string aside =
        (fs::path(path).parent_path() / ("." + fs::path(path).filename().string() + ".rq-old"))
            .generic_string();
    if (aside.rfind("/", 0) == 0) aside = aside.substr(1);
    EXPECT_TRUE(aside_allowed && now.count(aside)) << path << " was lost";
  }
}

struct Cut {
  std::string name;
  std::vector<std::string> faults;
};

// Faults at every kind of step: a refusal of each command in turn comes from the loop in
// the tests; these add refused grants, cuts in the middle of data, and cuts right after a
// command was carried out (rqsim sends garbage in place of its status and closes).
std::vector<Cut> cuts_for(bool pull) {
  if (pull)
    return {{"get cut at its start", {"--drop", "get:0"}},
            {"get cut in its second chunk", {"--drop", "get:20000"}},
            {"get cut before its last byte", {"--drop", "get:49999"}},
            {"garbage for a get", {"--garbage", "get"}},
            {"garbage for an ls", {"--garbage", "ls"}},
            {"a get answered 4", {"--status", "get=4"}}};
  return {{"put cut at its start", {"--drop", "put:0"}},
          {"put cut in its second chunk", {"--drop", "put:20000"}},
          {"put cut before its last byte", {"--drop", "put:49999"}},
          {"first grant refused", {"--refuse", "put:3=8"}},
          {"second grant refused", {"--refuse", "put:4=8"}},
          {"a put's final status 8", {"--status", "put=8"}},
          {"garbage after the first mv (the swap)", {"--garbage", "mv"}},
          {"garbage after the first rm", {"--garbage", "rm"}},
          {"garbage for a put", {"--garbage", "put"}},
          {"a mv answered 3", {"--status", "mv=3"}},
          {"an rm answered 3", {"--status", "rm=3"}},
          {"the compare's get cut", {"--drop", "get:2"}}};
}

class ToolSyncCut : public ToolSync, public ::testing::WithParamInterface<bool> {
 protected:
  // Runs one sync under the faults, checks what it left, then a clean sync, which must end
  // with the destination equal to the source and no side name left.
  // commands: set to the number of commands the first run sent.
  void cut_and_repair(const std::string& name, const std::vector<std::string>& faults, bool pull,
                      int* exit, int* commands = nullptr) {
    SCOPED_TRACE(name);
    clear(root());
    fs::remove_all(local("src"));
    fs::remove_all(local("back"));
    const fs::path from = pull ? device("dst") : local("src");
    const fs::path to = pull ? local("back") : device("dst");
    make_tree(from, kNew);
    make_tree(to, kOld);
    std::vector<std::string> args = {"--delete", "--checksum"};
    if (pull) args.push_back("--pull");
    args.push_back(pull ? "/dst" : "src");
    args.push_back(pull ? "back" : "/dst");
    std::vector<std::string> sim_args = faults;
    sim_args.push_back("--put-in-place");
    start(sim_args);
    std::vector<std::string> argv = {"sync"};
    argv.insert(argv.end(), args.begin(), args.end());
    if (commands) argv.insert(argv.begin(), "--trace=" + local("trace").string());
    e2e::Run r = tool(argv);
    *exit = r.exit_status;
    if (commands) {
      // The run's command messages, the start-up ping not counted (as rqsim counts them).
      std::string trace = read_file(local("trace").string());
      *commands = -1;
      for (size_t at = 0; (at = trace.find("-> command ", at)) != std::string::npos; ++at)
        ++*commands;
      argv.erase(argv.begin());
    }
    expect_old_or_new(tree_of(to), !pull);
    if (pull) {
      EXPECT_EQ(leftovers(local("back")), std::vector<std::string>{});
    }

    start({"--put-in-place"});
    e2e::Run again = tool(argv);
    EXPECT_EQ(again.exit_status, kExitOk) << describe(argv, again);
    EXPECT_EQ(tree_of(to), kNew) << "after the cut: " << describe(argv, r);
  }
};

TEST_P(ToolSyncCut, EachFileIsOldOrNewAndTheNextSyncCompletesIt) {
  const bool pull = GetParam();
  int exit = 0;
  for (const Cut& c : cuts_for(pull)) {
    cut_and_repair(c.name, c.faults, pull, &exit);
    EXPECT_NE(exit, kExitOk) << c.name << ": the fault went unnoticed";
  }
  // Each command of the run refused in turn. (A refused removal of an aside file after the
  // new one is in place is no failure of the run: the next sync removes it.)
  int commands = 0;
  cut_and_repair("no fault", {}, pull, &exit, &commands);
  EXPECT_EQ(exit, kExitOk);
  EXPECT_GT(commands, 10);
  for (int n = 1; n <= commands && !HasFailure(); ++n)
    cut_and_repair("command " + std::to_string(n) + " refused",
                   {"--refuse", std::to_string(n) + "=3"}, pull, &exit);
}

INSTANTIATE_TEST_SUITE_P(Direction, ToolSyncCut, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Pull" : "Push";
                         });

}  // namespace
}  // namespace rq::e2e
