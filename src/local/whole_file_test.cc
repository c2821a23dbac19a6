// The whole-file source put and wb send from: the bytes it hands out, copied or in place.
// (What a load says when it cannot: local_failure_test.cc.)
#include "local/whole_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace rq {
namespace {

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
