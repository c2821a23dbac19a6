// rqtool's tree copies, read-back verification and long or recursive listings against the
// real rqsim: trees go to the device and back identical, destinations follow cp's rules,
// whatever cannot be copied whole stops the run before anything is sent, and a device that
// returns changed data (rqsim --corrupt) fails verification with exit 5.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

// Empties dir but keeps it: rqsim serves it for the whole test.
void clear(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
}

class ToolTree : public ToolTest {
 protected:
  // A tree with nested directories, an empty directory, 0-byte and 3 MiB files and names
  // with blanks.
  void make_tree(const fs::path& top) {
    fs::create_directories(top / "a" / "b" / "c");
    fs::create_directories(top / "empty dir");
    write_file((top / "zero").string(), "");
    write_file((top / "a" / "big file.bin").string(), random_bytes(3 << 20, 11));
    write_file((top / "a" / "b" / "note.txt").string(), "note\n");
    write_file((top / "a" / "b" / "c" / "deep").string(), random_bytes(40000, 12));
    write_file((top / "a" / "b" / "c" / " lead and trail ").string(), "blanks");
  }
  fs::path local(const std::string& rel) const { return fs::path(dir_.path()) / rel; }
  fs::path device(const std::string& rel) const { return fs::path(root()) / rel; }
};

TEST_F(ToolTree, ATreeGoesToTheDeviceAndBackIdentical) {
  start();
  make_tree(local("src"));
  e2e::Run put = tool({"put", "-r", "src", "/"});
  ASSERT_EQ(put.exit_status, kExitOk) << describe({"put"}, put);
  EXPECT_EQ(tree_of(device("src")), tree_of(local("src")));
  EXPECT_NE(put.err.find("rqtool: put: 5 files, 5 directories, 3185739 bytes in "),
            std::string::npos)
      << put.err;

  fs::create_directories(local("back"));
  e2e::Run get = tool({"get", "-r", "/src", "back"});
  ASSERT_EQ(get.exit_status, kExitOk) << describe({"get"}, get);
  EXPECT_EQ(tree_of(local("back/src")), tree_of(local("src")));
  EXPECT_EQ(tree_of(local("back")).size(), tree_of(local("src")).size() + 1);
  EXPECT_NE(get.err.find("rqtool: get: 5 files, 5 directories, 3185739 bytes in "),
            std::string::npos)
      << get.err;
}

TEST_F(ToolTree, DestinationsFollowCpsRules) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit;
    const char* lands;  // a path under the device root (put) or the scratch dir (get)
  };
  const Case cases[] = {
      {"put into an existing directory", {"put", "f.txt", "/d"}, kExitOk, "root/d/f.txt"},
      {"put to a new name", {"put", "f.txt", "/new.txt"}, kExitOk, "root/new.txt"},
      // A name ending in / that is no directory takes no file; a tree makes it, one level.
      {"put a file into a missing directory named with /",
       {"put", "f.txt", "/nd/"},
       kExitDevice,
       nullptr},
      {"put a file into a file named with /", {"put", "f.txt", "/file/"}, kExitDevice, nullptr},
      {"put a tree into a new directory named with /",
       {"put", "-r", "t", "/nd/"},
       kExitOk,
       "root/nd/t/in.txt"},
      {"put a tree where the new directory's parent is missing",
       {"put", "-r", "t", "/no/nd/"},
       kExitDevice,
       nullptr},
      {"put a tree inside a directory", {"put", "-r", "t", "/d"}, kExitOk, "root/d/t/in.txt"},
      {"put a tree with a slash, same", {"put", "-r", "t/", "/d2/"}, kExitOk, "root/d2/t/in.txt"},
      {"put a tree to a new name", {"put", "-r", "t", "/copy"}, kExitOk, "root/copy/in.txt"},
      {"put several into a directory", {"put", "f.txt", "g.txt", "/d"}, kExitOk, "root/d/g.txt"},
      {"put several to a file name", {"put", "f.txt", "g.txt", "/one"}, kExitUsage, nullptr},
      {"put a directory without -r", {"put", "t", "/d"}, kExitLocalFile, nullptr},
      {"put a tree over a file", {"put", "-r", "t", "/file"}, kExitDevice, nullptr},
      {"get into an existing directory", {"get", "/file", "ld"}, kExitOk, "ld/file"},
      {"get to a new name", {"get", "/file", "n.bin"}, kExitOk, "n.bin"},
      {"get a file into a missing directory named with /",
       {"get", "/file", "nd/"},
       kExitLocalFile,
       nullptr},
      {"get a file into a file named with /", {"get", "/file", "f.txt/"}, kExitLocalFile, nullptr},
      {"get a tree into a new directory named with /",
       {"get", "-r", "/td", "nd/"},
       kExitOk,
       "nd/td/x"},
      {"get a tree where the new directory's parent is missing",
       {"get", "-r", "/td", "no/such/"},
       kExitLocalFile,
       nullptr},
      {"get a tree inside a directory", {"get", "-r", "/td/", "ld"}, kExitOk, "ld/td/x"},
      {"get a tree to a new name", {"get", "-r", "/td", "tcopy"}, kExitOk, "tcopy/x"},
      {"get several to a file name", {"get", "/file", "/td/x", "n2.bin"}, kExitUsage, nullptr},
      {"get several into a directory", {"get", "/file", "/td/x", "ld"}, kExitOk, "ld/x"},
      {"get a directory without -r", {"get", "/td", "ld"}, kExitUsage, nullptr},
      {"get a tree over a file", {"get", "-r", "/td", "f.txt"}, kExitLocalFile, nullptr},
  };
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear(root());
    fs::create_directories(device("d"));
    fs::create_directories(device("td"));
    write_file(device("file").string(), "device file");
    write_file(device("td/x").string(), "x");
    fs::remove_all(local("ld"));
    fs::create_directories(local("ld"));
    fs::create_directories(local("t"));
    write_file(local("t/in.txt").string(), "in");
    write_file(local("f.txt").string(), "f");
    write_file(local("g.txt").string(), "g");
    fs::remove_all(local("nd"));
    auto device_before = tree_of(root());
    auto local_before = dir_.entries();
    e2e::Run r = tool(c.args);
    EXPECT_EQ(r.exit_status, c.exit) << describe(c.args, r);
    if (c.lands) {
      EXPECT_TRUE(fs::is_regular_file(fs::path(dir_.path()) / c.lands)) << describe(c.args, r);
    } else {
      // Refused before anything was made, on either side.
      EXPECT_EQ(tree_of(root()), device_before) << describe(c.args, r);
      EXPECT_EQ(dir_.entries(), local_before) << describe(c.args, r);
    }
  }
}

TEST_F(ToolTree, LinksInATreeStopThePutUnlessFollowed) {
  start();
  fs::create_directories(local("t/sub"));
  write_file(local("t/sub/real.txt").string(), "real");
  fs::create_symlink("sub/real.txt", local("t/link.txt"));
  e2e::Run r = tool({"put", "-r", "t", "/"});
  EXPECT_EQ(r.exit_status, kExitLocalFile) << describe({"put"}, r);
  EXPECT_NE(r.err.find("t/link.txt is a symbolic link"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(device("t"))) << "nothing may be sent";

  r = tool({"put", "-r", "-L", "t", "/"});
  ASSERT_EQ(r.exit_status, kExitOk) << describe({"put -L"}, r);
  EXPECT_EQ(read_file(device("t/link.txt").string()), "real");
  EXPECT_FALSE(fs::is_symlink(device("t/link.txt")));

  // Followed links that lead back up are a loop, refused before anything is sent.
  clear(root());
  fs::create_directory_symlink("..", local("t/sub/up"));
  r = tool({"put", "-r", "-L", "t", "/"});
  EXPECT_EQ(r.exit_status, kExitLocalFile) << describe({"put -L loop"}, r);
  EXPECT_TRUE(tree_of(root()).empty());
}

TEST_F(ToolTree, NamesTheListingCannotCarryAreRefusedBeforeSending) {
  start();
  fs::create_directories(local("t"));
  write_file(local("t/ok").string(), "ok");
  write_file(local("t/bad\x01name").string(), "bad");
  e2e::Run r = tool({"put", "-r", "t", "/"});
  EXPECT_EQ(r.exit_status, kExitLocalFile) << describe({"put"}, r);
  EXPECT_TRUE(tree_of(root()).empty());
  r = tool({"put", "t/ok", "/a\x02"});
  EXPECT_EQ(r.exit_status, kExitUsage) << describe({"put"}, r);
}

TEST_F(ToolTree, AFailedGetKeepsWhatWasCompleteAndLeavesNoPartialFile) {
  // The connection is cut 20000 bytes into the first file over that size.
  start({"--drop", "get:20000"});
  fs::create_directories(device("t"));
  write_file(device("t/a small").string(), "small");
  write_file(device("t/b large").string(), random_bytes(100000, 3));
  e2e::Run r = tool({"get", "-r", "/t", "out"});
  EXPECT_EQ(r.exit_status, kExitLink) << describe({"get"}, r);
  std::map<std::string, std::string> expected = {{"a small", "small"}};
  EXPECT_EQ(tree_of(local("out")), expected);
}

TEST_F(ToolTree, VerificationCatchesADeviceThatReturnsChangedData) {
  start();
  std::string data = random_bytes(70000, 21);
  write_file(local("f.bin").string(), data);
  e2e::Run r = tool({"put", "--verify", "f.bin", "/f.bin"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"put --verify"}, r);
  EXPECT_NE(r.err.find(", verified"), std::string::npos) << r.err;
  EXPECT_EQ(tool({"verify", "f.bin", "/f.bin"}).exit_status, kExitOk);

  write_file(local("short.bin").string(), data.substr(0, 1000));
  r = tool({"verify", "short.bin", "/f.bin"});
  EXPECT_EQ(r.exit_status, kExitVerify);
  EXPECT_NE(r.err.find("/f.bin has 70000 bytes, short.bin has 1000"), std::string::npos) << r.err;

  start({"--corrupt", "get:54321"});
  r = tool({"put", "--verify", "f.bin", "/g.bin"});
  EXPECT_EQ(r.exit_status, kExitVerify) << describe({"put --verify"}, r);
  EXPECT_NE(r.err.find("differ at offset 54321"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(device("g.bin").string()), data) << "the device holds the file itself";
  r = tool({"verify", "f.bin", "/f.bin"});
  EXPECT_EQ(r.exit_status, kExitVerify);
  EXPECT_NE(r.err.find("differ at offset 54321"), std::string::npos) << r.err;
  fs::create_directories(local("t/s"));
  write_file(local("t/s/f.bin").string(), data);
  EXPECT_EQ(tool({"put", "-r", "--verify", "t", "/"}).exit_status, kExitVerify);
}

TEST_F(ToolTree, BootWritesVerifyByDefaultAndBootVerifyCompares) {
  start();
  for (int boot = 1; boot <= 3; ++boot) {
    SCOPED_TRACE(boot);
    std::string name = "boot" + std::to_string(boot) + ".img";
    write_file(local(name).string(), random_bytes(30000 + boot * 1000, boot));
    e2e::Run r = tool({"boot", "write", std::to_string(boot), name});
    EXPECT_EQ(r.exit_status, kExitOk) << describe({"boot write"}, r);
    EXPECT_NE(r.err.find(", verified"), std::string::npos) << r.err;
    EXPECT_EQ(tool({"boot", "verify", std::to_string(boot), name}).exit_status, kExitOk);
  }
  EXPECT_EQ(tool({"boot", "verify", "1", "boot2.img"}).exit_status, kExitVerify);

  start({"--corrupt", "rb:777"});
  for (int boot = 1; boot <= 3; ++boot) {
    SCOPED_TRACE(boot);
    std::string name = "boot" + std::to_string(boot) + ".img";
    e2e::Run r = tool({"boot", "write", std::to_string(boot), name});
    EXPECT_EQ(r.exit_status, kExitVerify) << describe({"boot write"}, r);
    EXPECT_NE(r.err.find("offset 777"), std::string::npos) << r.err;
    r = tool({"boot", "verify", std::to_string(boot), name});
    EXPECT_EQ(r.exit_status, kExitVerify) << describe({"boot verify"}, r);
  }
}

TEST_F(ToolTree, LongAndRecursiveListings) {
  start();
  fs::create_directories(device("top/sub/inner"));
  write_file(device("top/a.txt").string(), "abc");
  write_file(device("top/sub/b.bin").string(), "12345");
  e2e::Run r = tool({"ls", "-l", "/top"});
  ASSERT_EQ(r.exit_status, kExitOk) << describe({"ls -l"}, r);
  EXPECT_NE(r.out.find("a.txt size=3 uid="), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("sub/\n"), std::string::npos) << r.out;

  r = tool({"ls", "-R", "/top"});
  ASSERT_EQ(r.exit_status, kExitOk) << describe({"ls -R"}, r);
  // Entries come in the device's order; each directory under its own path line.
  for (const char* piece : {"/top:\n", "\n/top/sub:\n", "b.bin\n", "\n/top/sub/inner:\n"})
    EXPECT_NE(r.out.find(piece), std::string::npos) << piece << "\n" << r.out;
  EXPECT_LT(r.out.find("/top/sub:"), r.out.find("/top/sub/inner:"));
}

}  // namespace
}  // namespace rq::e2e
