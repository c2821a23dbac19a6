// What each way of opening a local file says when it cannot: what failed and the
// platform's error number, for the front ends to word; nothing is held or left behind.
#include "local/local_failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "local/download_target.h"
#include "local/stream.h"
#include "local/whole_file.h"
#include "support/files.h"

namespace rq {
namespace {

LocalFailure stream(const std::string& path) {
  StreamSource s;
  LocalFailure f = open_stream_source(s, path);
  EXPECT_TRUE(f.ok() || s.fd == -1);  // nothing held open
  return f;
}

LocalFailure load(const std::string& path) {
  LocalFile file;
  LocalFailure f = load_local_file(path, file);
  EXPECT_TRUE(f.ok() || file.data == nullptr);  // nothing held in memory
  return f;
}

LocalFailure download(const std::string& path) {
  DownloadTarget t;
  LocalFailure f = open_download_target(t, path);
  EXPECT_TRUE(f.ok() || t.fd == -1);  // nothing held open
  return f;
}

TEST(LocalFailure, EachOpenerSaysWhatFailedAndTheErrorNumber) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  testing::write_file(dir / "file", "x");
  struct Case {
    const char* name;
    LocalFailure (*open)(const std::string& path);
    std::string path;
    LocalFailed failed;
    int error;
  };
  const Case cases[] = {
      {"stream: missing", stream, dir / "missing", LocalFailed::kOpen, ENOENT},
      {"stream: a directory", stream, dir / "folder", LocalFailed::kNotRegular, 0},
      {"stream: a device", stream, "/dev/null", LocalFailed::kNotRegular, 0},
      {"load: missing", load, dir / "missing", LocalFailed::kOpen, ENOENT},
      {"load: a directory", load, dir / "folder", LocalFailed::kSize, EISDIR},
      {"load: a device", load, "/dev/null", LocalFailed::kSize, ENOTSUP},
      {"download: a directory", download, dir / "folder", LocalFailed::kDirectory, EISDIR},
      {"download: no such directory", download, dir / "no/such/x", LocalFailed::kCreate, ENOENT},
      {"download: a file where a directory should be", download, dir / "file/x",
       LocalFailed::kCreate, ENOTDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocalFailure f = c.open(c.path);
    EXPECT_EQ(f.failed, c.failed);
    EXPECT_EQ(f.error, c.error);
  }
  EXPECT_EQ(dir.entries(), (std::set<std::string>{"file", "folder"}));
}

}  // namespace
}  // namespace rq
