#include "link/status.h"

#include <gtest/gtest.h>

namespace rq {
namespace {

TEST(StatusText, CoversTheTableAndReadsTheCodeAsSigned) {
  struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "shell command succeeded"},
      {1, "usb bus error"},
      {2, "unknown file system error"},
      {3, "access failed"},
      {4, "file corrupted"},
      {5, "invalid parameter"},
      {6, "file system not ready yet"},
      {7, "file already exists"},
      {8, "ran out of inodes"},
      {9, "file does not exist"},
      {10, "invalid error code"},
      {29, "invalid error code"},
      {30, "invalid path"},
      {31, "file path is too long"},
      {32, "invalid error code"},
      {99, "invalid error code"},
      {100, "command failed"},
      {101, "invalid error code"},
      {127, "invalid error code"},
      {-1, "invalid error code"},
      {0xff, "invalid error code"},
      {0x164, "command failed"},
  };
  for (const auto& k : cases) EXPECT_STREQ(status_text(k.code), k.text) << k.code;
}

}  // namespace
}  // namespace rq
