#include "local/local_names.h"

#include <gtest/gtest.h>

namespace rq {
namespace {

TEST(LocalNames, WindowsRefusesItsCharactersReservedNamesAndTrailingDotsOrBlanks) {
  const char* refused[] = {"a:b",      "a*",   "what?", "x<y",   "x>y",     "q\"",        "a|b",
                           "a\\b",     "a/b",  "CON",   "con",   "Con.txt", "nul.tar.gz", "COM1",
                           "lpt9.log", "aux ", "name.", "name ", "",        "tab\there"};
  for (const char* name : refused) EXPECT_NE(windows_name_problem(name), nullptr) << name;
  const char* allowed[] = {"console",  "COM0",    "COM10", "LPT",
                           "a.b.c",    ".hidden", "a b",   "\xc3\xa9t\xc3\xa9",
                           "CONa.txt", "nul_",    "prn-1"};
  for (const char* name : allowed) EXPECT_EQ(windows_name_problem(name), nullptr) << name;
}

TEST(LocalNames, CaseClashesAreFoundWhereverTheyStand) {
  size_t a = 0, b = 0;
  EXPECT_FALSE(find_case_clash({"a", "b", "ab", "A_"}, &a, &b));
  EXPECT_FALSE(find_case_clash({}, &a, &b));
  ASSERT_TRUE(find_case_clash({"Readme", "x", "y", "README"}, &a, &b));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 3u);
  ASSERT_TRUE(find_case_clash({"q", "dir", "DIR"}, &a, &b));
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
}

}  // namespace
}  // namespace rq
