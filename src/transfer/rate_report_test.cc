#include "transfer/rate_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace rq {
namespace {

TEST(RateReport, KeepsTheDeviceToolsArithmetic) {
  struct Case {
    int64_t count;
    int64_t elapsed_ms;
    const char* line;
  } cases[] = {
      {1048576, 2500, "Download 1024.0 KB 2.5 sec 419.4 KB/s\n"},
      // The size is divided as a floating-point number.
      {40000, 1000, "Download 39.1 KB 1.0 sec 40.0 KB/s\n"},
      // 250 ms through the single-precision factor is just above 0.25.
      {1000, 250, "Download 1.0 KB 0.3 sec 4.0 KB/s\n"},
      {0, 1234, "Download 0.0 KB 1.2 sec 0.0 KB/s\n"},
      // get reports the size the proxy announced, even a negative one.
      {-5, 1000, "Download -0.0 KB 1.0 sec -0.0 KB/s\n"},
      // Whole seconds and milliseconds are added separately: 61 s 5 ms.
      {61005, 61005, "Download 59.6 KB 61.0 sec 1.0 KB/s\n"},
  };
  for (const Case& k : cases) {
    char line[128];
    int n = format_rate_report(line, sizeof line, k.count, k.elapsed_ms);
    EXPECT_EQ(std::string(line), k.line) << k.count << " bytes in " << k.elapsed_ms << " ms";
    EXPECT_EQ(n, static_cast<int>(strlen(k.line)));
  }
}

}  // namespace
}  // namespace rq
