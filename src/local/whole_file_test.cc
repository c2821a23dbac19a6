// The whole-file source put and wb send from: what a load says when it cannot hold the file
// whole, and the bytes it hands out when it can.
#include "local/whole_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/files.h"

namespace rq {
namespace {

TEST(WholeFile, ALoadThatFailsSaysWhatFailedAndHoldsNothing) {
  struct Case {
    const char* name;
    std::string path;
    LocalFailed failed;
    int error;
  };
  testing::TempDir dir;
  const Case cases[] = {
      {"missing", dir / "missing", LocalFailed::kOpen, ENOENT},
      {"a directory", dir.path(), LocalFailed::kSize, EISDIR},
      {"a device", "/dev/null", LocalFailed::kSize, ENOTSUP},
  };
  for (const Case& c : cases) {
    LocalFile file;
    LocalFailure f = load_local_file(c.path, file);
    EXPECT_EQ(f.failed, c.failed) << c.name;
    EXPECT_EQ(f.error, c.error) << c.name;
    EXPECT_EQ(file.data, nullptr) << c.name;
    EXPECT_EQ(file.size, 0) << c.name;
  }
}

TEST(WholeFile, HandsOutTheFileInPiecesAndInPlace) {
  testing::TempDir dir;
  const std::string bytes = testing::patterned(40000);
  testing::write_file(dir / "f", bytes);
  LocalFile file;
  ASSERT_TRUE(load_local_file(dir / "f", file).ok());
  EXPECT_EQ(file.size, 40000);
  DataSource source = local_file_source(file);
  uint8_t piece[16384];
  EXPECT_EQ(source.read(source.context, piece, sizeof piece), 16384);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(piece), sizeof piece), bytes.substr(0, 16384));
  const uint8_t* at = source.view(source.context, 16384);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(at), 16384), bytes.substr(16384, 16384));
  EXPECT_EQ(source.view(source.context, 16384), nullptr);  // only 7232 bytes are left
  EXPECT_EQ(source.read(source.context, piece, sizeof piece), 7232);
}

}  // namespace
}  // namespace rq
