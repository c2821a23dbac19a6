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
  const char* args;      // what follows the keyword, as the dispatcher hands it over
  const char* expected;  // single path: the path; two arguments: "first|second"
  size_t capacity = 64;  // output room for two_arguments
};

// Every argument form the commands meet, and every way a line can be malformed.
const Case kCases[] = {
    {kSinglePath, "", ""},
    {kSinglePath, "  my dir", "my dir"},
    {kSinglePath, " dir \n", "dir "},
    {kSinglePath, " \t x\r\n", "x"},
    {kSinglePath, " a\rb", "a"},
    {kSinglePath, " \"q\" x", "\"q\" x"},
    {kSinglePath, "dir x", "dir x"},  // "rmdir x": rm's path follows its two letters
    {kTwoArguments, " a b", "a|b"},
    {kTwoArguments, " a\tb", "a|b"},
    {kTwoArguments, " \t a \t b", "a|b"},
    {kTwoArguments, " \"my file\" new name", "my file|new name"},
    {kTwoArguments, " \"\" x", "|x"},
    {kTwoArguments, " \"a\"b c", "a|b c"},
    {kTwoArguments, " a \"b c\"", "a|\"b c\""},
    {kTwoArguments, " a\"b c", "a\"b|c"},
    {kTwoArguments, " a b  \n", "a|b  "},
    {kTwoArguments, " a b\r\n", "a|b"},
    {kTwoArguments, " a", kFails},
    {kTwoArguments, " a   ", kFails},
    {kTwoArguments, " a \t\n", kFails},
    {kTwoArguments, "", kFails},
    {kTwoArguments, " \"a b", kFails},
    {kTwoArguments, " \"a\nb\" c", kFails},
    {kTwoArguments, " \"a\"", kFails},
    {kTwoArguments, " \"a\"  ", kFails},
    {kTwoArguments, " ab cd", "ab|cd", 6},  // exactly fits: ab, 0, cd, 0
    {kTwoArguments, " ab cd", kFails, 5},
    {kTwoArguments, " ab cd", kFails, 2},
    {kTwoArguments, " \"ab\" c", kFails, 2},
};

TEST(Args, ParsersTable) {
  for (const Case& k : kCases) {
    std::vector<char> args(k.args, k.args + strlen(k.args) + 1);
    if (k.parser == kSinglePath) {
      char* path = nullptr;
      int wire = single_path(args.data(), &path);
      EXPECT_EQ(std::string(path), k.expected) << k.args;
      EXPECT_EQ(wire, static_cast<int>(strlen(k.expected)) + 1) << k.args;
      continue;
    }
    std::vector<char> out(k.capacity + 8, '#');  // the guard bytes behind must stay '#'
    size_t second = 0;
    int total = two_arguments(skip_blanks(args.data()), out.data(), k.capacity, &second);
    EXPECT_EQ(std::string(out.begin() + k.capacity, out.end()), "########") << k.args;
    if (k.expected == kFails) {
      EXPECT_EQ(total, -1) << k.args;
      continue;
    }
    std::string want(k.expected);
    size_t bar = want.find('|');
    std::string first = want.substr(0, bar);
    want[bar] = '\0';
    want += '\0';
    EXPECT_EQ(total, static_cast<int>(want.size())) << k.args;
    if (total != static_cast<int>(want.size())) continue;
    EXPECT_EQ(std::string(out.data(), want.size()), want) << k.args;
    EXPECT_EQ(second, first.size() + 1) << k.args;
  }
}

}  // namespace
}  // namespace rq
