// rqmount's command line: the connection options as rqtool reads them, -o split at commas
// into the mount's own options and libfuse's, and every bad value refused with its reason.
#include "mount/mount_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace rq::mount {
namespace {

struct Parsed {
  int rc;
  MountOptions o;
  std::string err;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "rqmount");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  Parsed p;
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  p.rc = parse_mount_options(static_cast<int>(argv.size()), argv.data(), p.o, out, err);
  rewind(err);
  char buf[512] = {};
  fread(buf, 1, sizeof buf - 1, err);
  p.err = buf;
  fclose(out);
  fclose(err);
  return p;
}

TEST(MountOptions, TakesTheConnectionOptionsAndSplitsDashO) {
  Parsed p = parse({"-H", "10.0.0.2", "-p", "4000", "-t", "2.5", "-w", "3", "--trace=/tmp/t", "-f",
                    "-o", "uid=1000,gid=100,umask=027,allow_other", "-o",
                    "cache_timeout=0.5,idle=60,flush_deadline=5,direct_put,strict_attrs", "/mnt"});
  ASSERT_EQ(p.rc, 0) << p.err;
  EXPECT_EQ(p.o.connect.host, "10.0.0.2");
  EXPECT_EQ(p.o.connect.port, 4000);
  EXPECT_EQ(p.o.connect.timeout_s, 2.5);
  EXPECT_EQ(p.o.connect.wait_s, 3);
  EXPECT_TRUE(p.o.connect.trace);
  EXPECT_EQ(p.o.connect.trace_file, "/tmp/t");
  EXPECT_TRUE(p.o.foreground);
  EXPECT_EQ(p.o.uid, 1000u);
  EXPECT_EQ(p.o.gid, 100u);
  EXPECT_EQ(p.o.umask, 027u);
  EXPECT_EQ(p.o.cache_timeout_s, 0.5);
  EXPECT_EQ(p.o.idle_s, 60);
  EXPECT_EQ(p.o.flush_deadline_s, 5);
  EXPECT_TRUE(p.o.direct_put);
  EXPECT_TRUE(p.o.strict_attrs);
  EXPECT_EQ(p.o.fuse_options, std::vector<std::string>{"allow_other"});
  EXPECT_EQ(p.o.mountpoint, "/mnt");
}

TEST(MountOptions, RefusesBadValuesNamingThem) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* says;
  } rows[] = {
      {"no mount point", {"-p", "1"}, "mountpoint"},
      {"port out of range", {"-p", "70000", "/m"}, "70000"},
      {"negative time-out", {"-t", "-1", "/m"}, "seconds from 0 to 1000000"},
      {"uid not a number", {"-o", "uid=me", "/m"}, "uid wants a number, not me"},
      {"umask not octal", {"-o", "umask=9", "/m"}, "umask wants an octal mode"},
      {"umask too wide", {"-o", "umask=1777", "/m"}, "umask"},
      {"cache time-out not seconds", {"-o", "cache_timeout=soon", "/m"}, "cache_timeout"},
      {"empty cache dir", {"-o", "cache_dir=", "/m"}, "cache_dir wants a value"},
      {"flag with a value", {"-o", "direct_put=1", "/m"}, "direct_put takes no value"},
  };
  for (const Row& row : rows) {
    Parsed p = parse(row.args);
    EXPECT_EQ(p.rc, -1) << row.name;
    EXPECT_NE(p.err.find(row.says), std::string::npos) << row.name << ": " << p.err;
  }
}

}  // namespace
}  // namespace rq::mount
