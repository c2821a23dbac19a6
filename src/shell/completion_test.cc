#include "shell/completion.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rq {
namespace {

using K = CompletionKind;

// The cursor is at the end of each line.
TEST(Completion, ReadsTheLineAsTheCommandLoopWill) {
  struct {
    const char* line;
    K kind;
    int word_begin;
    bool quoted, runs_to_end;
  } cases[] = {
      {"", K::kKeyword, 0, false, false},
      {"  PU", K::kKeyword, 2, false, false},
      {"put ", K::kLocalFile, 4, false, false},
      {"put lo", K::kLocalFile, 4, false, false},
      {"put \"my f", K::kLocalFile, 5, true, false},
      {"put \"my file\" d", K::kNone, 0, false, false},  // the device name
      {"put local dev", K::kNone, 0, false, false},
      {"get dev/a.txt my f", K::kLocalFile, 14, false, true},
      {"get \"dev a\"lo", K::kLocalFile, 11, false, true},  // no blank after a closing quote
      {"get dev", K::kNone, 0, false, false},
      {"rb 2 ", K::kLocalFile, 5, false, true},
      {"wb2 im", K::kLocalFile, 4, false, true},  // keyword by its length, like the loop
      {"s  scr", K::kLocalFile, 3, false, true},
      {"status", K::kKeyword, 0, false, false},
      {"diag fl", K::kDiagTest, 5, false, true},
      {"diag flash x", K::kNone, 0, false, false},
      {"cd lo", K::kNone, 0, false, false},
      {"mkdir x", K::kNone, 0, false, false},
      {"hello x", K::kNone, 0, false, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    CompletionContext ctx = completion_context(k.line, static_cast<int>(strlen(k.line)));
    EXPECT_EQ(ctx.kind, k.kind);
    if (k.kind == K::kNone) continue;
    EXPECT_EQ(ctx.word_begin, k.word_begin);
    EXPECT_EQ(ctx.quoted, k.quoted);
    EXPECT_EQ(ctx.runs_to_end, k.runs_to_end);
  }
}

TEST(Completion, OffersKeywordsAndTestNamesIgnoringCase) {
  using V = std::vector<std::string>;
  EXPECT_EQ(matching_words(K::kKeyword, "p"), (V{"ping", "put", "pwd"}));
  EXPECT_EQ(matching_words(K::kKeyword, "MK"), V{"mkdir"});
  EXPECT_EQ(matching_words(K::kKeyword, "x"), V{});
  EXPECT_EQ(matching_words(K::kDiagTest, "F"), V{"flash"});
  EXPECT_EQ(common_prefix({"my file.txt", "my film.txt"}), "my fil");
}

// What replaces line[start, end): the editor's word starts after the last blank or quote.
TEST(Completion, ReplacementFitsTheArgumentsGrammar) {
  struct {
    const char* name;
    const char* line;
    int start;
    const char* candidate;
    bool finished, directory;
    const char* replacement;
  } cases[] = {
      {"keyword", "pw", 0, "pwd", true, false, "pwd "},
      {"keyword typed in capitals", "PU", 0, "put", true, false, "put "},
      {"put source", "put lo", 4, "local.bin", true, false, "local.bin "},
      {"put source with a blank gets quotes", "put my", 4, "my file", true, false, "\"my file\" "},
      {"quoted put source", "put \"my f", 8, "my file", true, false, "file\" "},
      {"quote right before the cursor", "put \"", 4, "a b", true, false, "\"a b\" "},
      {"directory stays open", "put \"my d", 8, "my dir", true, true, "dir/"},
      {"common part with a blank opens the quote", "put m", 4, "my fil", false, false, "\"my fil"},
      {"last argument: nothing may follow", "get a lo", 6, "local.bin", true, false, "local.bin"},
      {"last argument keeps its blanks unquoted", "get a my f", 9, "my file", true, false, "file"},
      {"script name", "s sc", 2, "script.rq", true, false, "script.rq"},
      {"directory", "s sub", 2, "sub", true, true, "sub/"},
      {"diag test", "diag fl", 5, "flash", true, false, "flash"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    CompletionContext ctx = completion_context(k.line, static_cast<int>(strlen(k.line)));
    EXPECT_EQ(completion_replacement(k.line, k.start, ctx, k.candidate, k.finished, k.directory),
              k.replacement);
  }
}

}  // namespace
}  // namespace rq
