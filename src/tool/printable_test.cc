// Names in text output: every byte that could forge a line or hide text is escaped, and the
// escape character itself, so that each shown name stands for exactly one name.
#include "tool/printable.h"

#include <gtest/gtest.h>

#include "local/platform.h"

namespace rq {
namespace {

TEST(Printable, EscapesControlBytesAndTheBackslash) {
  struct Row {
    const char* name;
    std::string text, shown;
  } rows[] = {
      {"plain", "logs/a.txt", "logs/a.txt"},
      {"a line feed", "a\nfake", "a\\nfake"},
      {"tab and carriage return", "a\tb\rc", "a\\tb\\rc"},
      {"other control bytes", std::string("c\x1b[7m\x01\x7f", 7), "c\\x1b[7m\\x01\\x7f"},
      {"a backslash, so that \\n above is no name", "b\\n", "b\\\\n"},
      {"UTF-8 passes", "caf\xc3\xa9", "caf\xc3\xa9"},
      {"a NUL", std::string("a\0b", 3), "a\\x00b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(printable(row.text), row.shown);
  }
  // Lines with local paths keep the separator of Windows paths.
  EXPECT_EQ(printable_line("C:\\dir\\a\nb"),
            local_names_windows() ? "C:\\dir\\a\\nb" : "C:\\\\dir\\\\a\\nb");
}

}  // namespace
}  // namespace rq
