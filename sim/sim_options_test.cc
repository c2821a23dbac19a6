// rqsim's command line: --version, and the warning for an address outside the loopback
// network.
#include "sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/protocol.h"
#include "link/version.h"
#include "support/files.h"

namespace rq::sim {
namespace {

// Runs parse_sim_options on the words; returns its result and what it printed.
struct Parsed {
  int rc = 0;
  std::string out, err;
  SimOptions options;
};

// What was written to a tmpfile() stream, which is closed.
std::string read_back(FILE* f) {
  std::string text = rq::testing::read_stream(f);
  fclose(f);
  return text;
}

Parsed parse(std::vector<const char*> words) {
  std::vector<char*> argv = {const_cast<char*>("rqsim")};
  for (const char* w : words) argv.push_back(const_cast<char*>(w));
  Parsed p;
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  p.rc = parse_sim_options(static_cast<int>(argv.size()), argv.data(), p.options, out, err);
  p.out = read_back(out);
  p.err = read_back(err);
  return p;
}

TEST(SimOptions, VersionPrintsTheProjectVersionAndHelpNamesIt) {
  Parsed v = parse({"--version"});
  EXPECT_EQ(v.rc, 1);  // printed: exit 0 without serving
  EXPECT_EQ(v.out, std::string("rqsim ") + kVersion + "\n");
  EXPECT_EQ(v.err, "");
  Parsed h = parse({"--help"});
  EXPECT_NE(h.out.find("--version"), std::string::npos);
  EXPECT_NE(h.out.find("--put-in-place"), std::string::npos);
}

TEST(SimOptions, TakesEachKindOfOptionAndDerivesTheBootDirectory) {
  Parsed p = parse({"--root", "dev/", "--port", "0", "--split", "--stall", "5", "--diag-status",
                    "flash=100", "--oversize", "cd", "--put-in-place"});
  ASSERT_EQ(p.rc, 0) << p.err;
  EXPECT_STREQ(p.options.root, "dev/");
  EXPECT_FALSE(p.options.demo);
  EXPECT_STREQ(p.options.boot_dir, "dev.boot");
  EXPECT_EQ(p.options.port, 0);
  EXPECT_TRUE(p.options.faults.split);
  EXPECT_EQ(p.options.faults.stall_ms, 5);
  EXPECT_EQ(p.options.diag_status[kDiagFlash], 100);
  EXPECT_EQ(p.options.faults.oversize, 1u << command_from_name("cd", 2));
  EXPECT_TRUE(p.options.put_in_place);

  Parsed plain = parse({});
  EXPECT_TRUE(plain.options.demo);  // no --root: the demo device
  EXPECT_STREQ(plain.options.boot_dir, "demo-device.boot");
}

TEST(SimOptions, NamesWhatIsWrongWithAnOption) {
  struct Row {
    std::vector<const char*> words;
    const char* err;
  };
  const Row rows[] = {
      {.words = {"--nope"}, .err = "rqsim: unknown option \"--nope\" (see --help)\n"},
      {.words = {"--stall"}, .err = "rqsim: --stall needs a value (see --help)\n"},
      {.words = {"--port", "70000"},
       .err = "rqsim: --port: \"70000\" is not a port number (0..65535)\n"},
      {.words = {"--root", ""}, .err = "rqsim: --root: \"\" is not a directory\n"},
      {.words = {"--drop", "cd:5"},
       .err = "rqsim: --drop cd:5: cd moves no data (use ls, pwd, put, get, ver, rb or wb)\n"},
      {.words = {"--diag-status", "flashy=1"},
       .err = "rqsim: --diag-status wants TEST=CODE (TEST usb, aud, rtc, flash or gba; CODE "
              "-128..255), not \"flashy=1\"\n"},
      {.words = {"--garbage", "LS"},
       .err = "rqsim: --garbage wants a command name, not \"LS\"\n"
              "rqsim: commands are ping format ls pwd cd mkdir rm mv put get launch cp ver "
              "diag rb wb\n"},
  };
  for (const Row& row : rows) {
    Parsed p = parse(row.words);
    EXPECT_EQ(p.rc, -1) << row.words[0];
    EXPECT_EQ(p.err, row.err) << row.words[0];
  }
}

TEST(SimOptions, OnlyPlainAddressesIn127Slash8CountAsLoopback) {
  struct Row {
    const char* address;
    bool loopback;
  };
  const Row rows[] = {
      {.address = "127.0.0.1", .loopback = true},
      {.address = "127.255.255.254", .loopback = true},
      {.address = "127.0.0.0", .loopback = true},
      {.address = "0.0.0.0", .loopback = false},
      {.address = "192.168.1.20", .loopback = false},
      {.address = "128.0.0.1", .loopback = false},
      {.address = "126.255.255.255", .loopback = false},
      // Spellings the socket layer reads otherwise: octal, or fewer parts ("127.1" is
      // 127.0.0.1, but "127" alone is 0.0.0.127).
      {.address = "0127.0.0.1", .loopback = false},
      {.address = "127.0.0.010", .loopback = false},
      {.address = "127.1", .loopback = false},
      {.address = "127", .loopback = false},
      {.address = "127.0.0.256", .loopback = false},
      {.address = "127.0.0.1.", .loopback = false},
      {.address = "127.0.0.1 ", .loopback = false},
      {.address = "127.0.0.99999999999", .loopback = false},
      {.address = "", .loopback = false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(is_loopback_address(row.address), row.loopback) << "\"" << row.address << "\"";
}

TEST(SimOptions, ABindOutsideLoopbackWarnsInOneLineNamingWhatIsOpen) {
  for (const char* address : {"0.0.0.0", "10.1.2.3"}) {
    Parsed p = parse({"--bind", address, "--root", "dev"});
    ASSERT_EQ(p.rc, 0);
    FILE* err = tmpfile();
    warn_if_exposed(p.options, err);
    std::string line = read_back(err);
    EXPECT_EQ(line,
              std::string("rqsim: warning: ") + address +
                  " is outside 127.0.0.0/8: whoever reaches it can write to the device root dev "
                  "and the boot images in dev.boot, and format the device\n");
  }
  for (const char* loopback : {"127.0.0.1", "127.0.0.2"}) {
    Parsed p = parse({"--bind", loopback});
    FILE* err = tmpfile();
    warn_if_exposed(p.options, err);
    EXPECT_EQ(read_back(err), "") << loopback;
  }
}

}  // namespace
}  // namespace rq::sim
