#include "transfer/progress.h"

#include <gtest/gtest.h>

namespace rq {
namespace {

TEST(Progress, LineShowsDoneTotalPercentRateAndTimeLeft) {
  struct {
    int64_t done, total;
    double seconds;
    const char* text;
  } cases[] = {
      {1048576, 4194304, 1.0, "1.0 MiB of 4.0 MiB   25%  1.0 MiB/s  0:03 left"},
      {512, 40000, 0.5, "0.5 KiB of 39.1 KiB    1%  1.0 KiB/s  0:39 left"},
      {40000, 40000, 2.0, "39.1 KiB of 39.1 KiB  100%  19.5 KiB/s"},
      {0, 0, 0.0, "0.0 KiB of 0.0 KiB  100%  0.0 KiB/s"},
      {0, 100, 0.0, "0.0 KiB of 0.1 KiB    0%  0.0 KiB/s"},
  };
  for (const auto& k : cases) {
    char line[128];
    format_progress(line, sizeof line, k.done, k.total, k.seconds);
    EXPECT_STREQ(line, k.text);
  }
}

TEST(Progress, DrawsNothingWithoutAProgressStream) {
  Progress p;
  progress_start(p, nullptr, 100);
  progress_update(p, 50);
  progress_finish(p);
  EXPECT_FALSE(p.drawn);
}

}  // namespace
}  // namespace rq
