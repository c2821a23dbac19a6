#include "shell/args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rq {
namespace {

enum Parser { kSinglePath, kTwoArguments };

// kFails marks a line the parser must reject.
const char* const kFails = nullptr;

struct Case {
  Parser parser;
  const char* line;       // the whole command line, keyword included
  size_t keyword_length;  // skipped, then blanks, as the handlers do
  const char* expected;   // single path: the path; two arguments: "first|second"
  size_t capacity = 64;   // output room for two_arguments
};

// Every argument form the commands meet, and every way a line can be malformed.
const Case kCases[] = {
    {kSinglePath, "cd", 2, ""},
    {kSinglePath, "cd  my dir", 2, "my dir"},
    {kSinglePath, "cd dir \n", 2, "dir "},
    {kSinglePath, "cd \t x\r\n", 2, "x"},
    {kSinglePath, "cd a\rb", 2, "a"},
    {kSinglePath, "cd \"q\" x", 2, "\"q\" x"},
    {kSinglePath, "rmdir x", 2, "dir x"},
    {kSinglePath, "c", 2, ""},  // shorter than the keyword: nothing past the end is read
    {kTwoArguments, "mv a b", 2, "a|b"},
    {kTwoArguments, "mv a\tb", 2, "a|b"},
    {kTwoArguments, "mv \t a \t b", 2, "a|b"},
    {kTwoArguments, "mv \"my file\" new name", 2, "my file|new name"},
    {kTwoArguments, "cp \"\" x", 2, "|x"},
    {kTwoArguments, "mv \"a\"b c", 2, "a|b c"},
    {kTwoArguments, "mv a \"b c\"", 2, "a|\"b c\""},
    {kTwoArguments, "mv a\"b c", 2, "a\"b|c"},
    {kTwoArguments, "mv a b  \n", 2, "a|b  "},
    {kTwoArguments, "mv a b\r\n", 2, "a|b"},
    {kTwoArguments, "mv a", 2, kFails},
    {kTwoArguments, "mv a   ", 2, kFails},
    {kTwoArguments, "mv a \t\n", 2, kFails},
    {kTwoArguments, "mv", 2, kFails},
    {kTwoArguments, "mv \"a b", 2, kFails},
    {kTwoArguments, "mv \"a\nb\" c", 2, kFails},
    {kTwoArguments, "mv \"a\"", 2, kFails},
    {kTwoArguments, "mv \"a\"  ", 2, kFails},
    {kTwoArguments, "mv ab cd", 2, "ab|cd", 6},  // exactly fits: ab, 0, cd, 0
    {kTwoArguments, "mv ab cd", 2, kFails, 5},
    {kTwoArguments, "mv ab cd", 2, kFails, 2},
    {kTwoArguments, "mv \"ab\" c", 2, kFails, 2},
};

TEST(Args, ParsersTable) {
  for (const Case& k : kCases) {
    std::vector<char> line(k.line, k.line + strlen(k.line) + 1);
    if (k.parser == kSinglePath) {
      char* path = nullptr;
      int wire = single_path(line.data(), k.keyword_length, &path);
      EXPECT_EQ(std::string(path), k.expected) << k.line;
      EXPECT_EQ(wire, static_cast<int>(strlen(k.expected)) + 1) << k.line;
      continue;
    }
    std::vector<char> out(k.capacity + 8, '#');  // the guard bytes behind must stay '#'
    size_t second = 0;
    const char* text = skip_blanks(line.data() + k.keyword_length);
    int total = two_arguments(text, out.data(), k.capacity, &second);
    EXPECT_EQ(std::string(out.begin() + k.capacity, out.end()), "########") << k.line;
    if (k.expected == kFails) {
      EXPECT_EQ(total, -1) << k.line;
      continue;
    }
    std::string want(k.expected);
    size_t bar = want.find('|');
    std::string first = want.substr(0, bar);
    want[bar] = '\0';
    want += '\0';
    EXPECT_EQ(total, static_cast<int>(want.size())) << k.line;
    if (total != static_cast<int>(want.size())) continue;
    EXPECT_EQ(std::string(out.data(), want.size()), want) << k.line;
    EXPECT_EQ(second, first.size() + 1) << k.line;
  }
}

}  // namespace
}  // namespace rq
