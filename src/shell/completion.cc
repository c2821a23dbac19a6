#include "shell/completion.h"

#include <cstring>

#include "link/protocol.h"
#include "shell/commands.h"
#include "shell/line.h"

namespace rq {

namespace {

// Which argument of a command names a local file, if any.
enum class Arguments { kOther, kScriptName, kDiagTest, kPutSource, kLocalTarget };

Arguments arguments_of(const char* keyword) {
  if (strcmp(keyword, "diag") == 0) return Arguments::kDiagTest;
  if (strcmp(keyword, "put") == 0) return Arguments::kPutSource;
  if (strcmp(keyword, "s") == 0) return Arguments::kScriptName;
  if (strcmp(keyword, "get") == 0 || strcmp(keyword, "rb") == 0 || strcmp(keyword, "wb") == 0)
    return Arguments::kLocalTarget;
  return Arguments::kOther;
}


bool is_blank(char ch) { return ch == ' ' || ch == '\t'; }

int skip_blanks_before(const char* line, int i, int cursor) {
  while (i < cursor && is_blank(line[i])) ++i;
  return i;
}

bool has_blank(const std::string& s) { return s.find_first_of(" \t") != std::string::npos; }

// A two-argument command: the first argument up to a blank or inside double quotes, the
// second from the next non-blank to the end of the line.
CompletionContext two_argument_context(const char* line, int p, int cursor, bool local_first) {
  CompletionContext ctx;
  p = skip_blanks_before(line, p, cursor);
  int first_end = -1;  // where the second argument's leading blanks start, once known
  bool quoted = p < cursor && line[p] == '"';
  if (quoted) {
    const void* close = memchr(line + p + 1, '"', static_cast<size_t>(cursor - p - 1));
    if (close) first_end = static_cast<int>(static_cast<const char*>(close) - line) + 1;
  } else {
    for (int i = p; i < cursor && first_end < 0; ++i)
      if (is_blank(line[i])) first_end = i;
  }
  if (first_end < 0) {
    if (!local_first) return ctx;
    ctx.kind = CompletionKind::kLocalFile;
    ctx.quoted = quoted;
    ctx.word_begin = quoted ? p + 1 : p;
    return ctx;
  }
  if (local_first) return ctx;
  ctx.kind = CompletionKind::kLocalFile;
  ctx.word_begin = skip_blanks_before(line, first_end, cursor);
  ctx.runs_to_end = true;
  return ctx;
}

}  // namespace

CompletionContext completion_context(const char* line, int cursor) {
  CompletionContext ctx;
  int begin = skip_blanks_before(line, 0, cursor);
  int first_word_end = begin;
  while (first_word_end < cursor && !is_blank(line[first_word_end])) ++first_word_end;
  if (first_word_end == cursor) {
    ctx.kind = CompletionKind::kKeyword;
    ctx.word_begin = begin;
    return ctx;
  }
  // Read the line as the loop will dispatch it ("rbx" runs rb, "status" runs s).
  const char* keyword =
      dispatched_keyword(line + begin, static_cast<size_t>(first_word_end - begin));
  if (!keyword) return ctx;
  int p = begin + static_cast<int>(strlen(keyword));
  switch (arguments_of(keyword)) {
    case Arguments::kScriptName:
      ctx.kind = CompletionKind::kLocalFile;
      ctx.word_begin = skip_blanks_before(line, p, cursor);
      ctx.runs_to_end = true;
      return ctx;
    case Arguments::kDiagTest: {
      int word = skip_blanks_before(line, p, cursor);
      for (int i = word; i < cursor; ++i)
        if (is_blank(line[i])) return ctx;  // past the test name: the rest is ignored
      ctx.kind = CompletionKind::kDiagTest;
      ctx.word_begin = word;
      ctx.runs_to_end = true;
      return ctx;
    }
    case Arguments::kPutSource: return two_argument_context(line, p, cursor, true);
    case Arguments::kLocalTarget: return two_argument_context(line, p, cursor, false);
    case Arguments::kOther: return ctx;
  }
  return ctx;
}

std::vector<std::string> matching_words(CompletionKind kind, const std::string& typed) {
  std::vector<std::string> words;
  auto offer = [&](const char* word) {
    if (strlen(word) >= typed.size() &&
        strnicmp_ascii(word, typed.c_str(), static_cast<unsigned>(typed.size())) == 0)
      words.emplace_back(word);
  };
  if (kind == CompletionKind::kKeyword) {
    for (size_t i = 0; const char* keyword = command_keyword(i); ++i) offer(keyword);
    offer("h");  // help is the one command outside the table
  }
  if (kind == CompletionKind::kDiagTest)
    for (const DiagTestName& test : kDiagTestNames) offer(test.word);
  return words;
}

std::string common_prefix(const std::vector<std::string>& candidates) {
  if (candidates.empty()) return "";
  std::string prefix = candidates[0];
  for (const std::string& c : candidates) {
    size_t n = 0;
    while (n < prefix.size() && n < c.size() && prefix[n] == c[n]) ++n;
    prefix.resize(n);
  }
  return prefix;
}

std::string completion_replacement(const char* line, int start, const CompletionContext& ctx,
                                   const std::string& candidate, bool finished, bool is_directory) {
  std::string out;
  std::string body = candidate;
  const int begin = ctx.word_begin;
  if (start < begin) {
    out.assign(line + start, static_cast<size_t>(begin - start));  // an opening quote
  } else if (start > begin) {
    size_t typed = static_cast<size_t>(start - begin);
    body = typed < candidate.size() ? candidate.substr(typed) : "";
  }
  // put's first argument ends at the first blank unless it is quoted.
  bool open_quote = ctx.kind == CompletionKind::kLocalFile && !ctx.runs_to_end && !ctx.quoted &&
                    start <= begin && has_blank(candidate);
  if (open_quote) out += '"';
  out += body;
  if (!finished) return out;
  if (is_directory) {
    if (candidate.empty() || candidate.back() != '/') out += '/';
  } else if (ctx.quoted || open_quote) {
    out += "\" ";
  } else if (!ctx.runs_to_end) {
    out += ' ';
  }
  return out;
}

}  // namespace rq
