#include "local/progress.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace rq {
namespace {

using std::chrono::seconds;

using testing::read_stream;

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
  ProgressLine line;
  Progress p;
  progress_start(p, line, 100);
  p.start -= seconds(5);
  p.last_draw -= seconds(5);
  progress_update(p, 50);
  progress_finish(p);
  EXPECT_FALSE(line.shown);
}

// A meter that has run long enough draws one overprinted line, waits before redrawing, and
// erases it on finish so that the command's own text starts on a clean line.
TEST(Progress, DrawsAfterAWhileAndErasesOnFinish) {
  ProgressLine line;
  line.out = tmpfile();
  Progress p;
  progress_start(p, line, 4194304);
  progress_update(p, 16384);  // too early: short transfers never flicker
  EXPECT_EQ(read_stream(line.out), "");

  p.start -= seconds(1);
  p.last_draw -= seconds(1);
  progress_update(p, 1048576);
  std::string drawn = read_stream(line.out);
  EXPECT_EQ(drawn.rfind("\r1.0 MiB of 4.0 MiB   25%  ", 0), 0u) << drawn;
  EXPECT_EQ(drawn.substr(drawn.size() - 3), "\033[K");
  EXPECT_TRUE(line.shown);

  progress_update(p, 2097152);  // within the redraw interval
  EXPECT_EQ(read_stream(line.out), drawn);

  progress_finish(p);
  progress_finish(p);  // finishing twice erases once
  progress_update(p, 4194304);
  EXPECT_EQ(read_stream(line.out), drawn + "\r\033[K");
  EXPECT_FALSE(line.shown);
  fclose(line.out);
}

// A console without the erase sequence (older Windows) gets blanks instead: each drawing
// covers a longer line drawn before it, and the erase leaves the cursor at the start of a
// blank line. No escape byte is written.
TEST(Progress, ConsolesWithoutEraseSequenceGetBlanks) {
  ProgressLine line;
  line.out = tmpfile();
  line.blanks = true;
  Progress p;
  progress_start(p, line, 4194304);
  p.start -= seconds(1);
  p.last_draw -= seconds(1);
  progress_update(p, 1048576);
  std::string drawn = read_stream(line.out);
  ASSERT_EQ(drawn.size(), 1u + kProgressBlankWidth) << drawn;
  EXPECT_EQ(drawn.rfind("\r1.0 MiB of 4.0 MiB   25%  ", 0), 0u) << drawn;
  EXPECT_EQ(drawn.back(), ' ');
  progress_finish(p);
  EXPECT_EQ(read_stream(line.out), drawn + "\r" + std::string(kProgressBlankWidth, ' ') + "\r");
  EXPECT_EQ(read_stream(line.out).find('\033'), std::string::npos);
  fclose(line.out);
}

}  // namespace
}  // namespace rq
