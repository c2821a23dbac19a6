// rqsim's command line: --version, and the warning for an address outside the loopback
// network.
#include "sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

std::string read_back(FILE* f) {
  std::string text;
  rewind(f);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
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
