// What tab completion may offer at a point of a console line, read the way the command loop
// and the argument parsers will read the finished line: keywords by the command table's
// prefix rule, two-argument commands with an optional quoted first argument, and last
// arguments that run to the end of the line, blanks included. The line editor supplies the
// candidates (keywords, test names, local files) and inserts what this module builds.
#pragma once

#include <string>
#include <vector>

namespace rq {

enum class CompletionKind {
  kNone,       // a device path, a boot number, or nothing to complete
  kKeyword,    // the command keyword
  kDiagTest,   // the test name after diag
  kLocalFile,  // a file on this machine: put's first argument, get/rb/wb's second, s's name
};

struct CompletionContext {
  CompletionKind kind = CompletionKind::kNone;
  int word_begin = 0;   // where the word being completed begins (after an opening quote)
  bool quoted = false;  // put's first argument, opened with a double quote
  // The word runs to the end of the line, so anything typed after it (even a blank) would
  // become part of it: no blank may follow a completed name.
  bool runs_to_end = false;
};

// Reads line[0, cursor).
CompletionContext completion_context(const char* line, int cursor);

// Keywords or diag test names that begin with typed (ASCII case ignored), in lower case.
std::vector<std::string> matching_words(CompletionKind kind, const std::string& typed);

// The longest common beginning of the candidates.
std::string common_prefix(const std::vector<std::string>& candidates);

// The text that replaces line[start, cursor) so that the word reads candidate. A whole
// candidate (finished) is followed by what the argument needs: a blank before the next
// argument, a closing quote, '/' after a directory, or nothing at the end of the line. A
// local name with a blank in put's first argument gets its double quotes.
std::string completion_replacement(const char* line, int start, const CompletionContext& ctx,
                                   const std::string& candidate, bool finished, bool is_directory);

}  // namespace rq
