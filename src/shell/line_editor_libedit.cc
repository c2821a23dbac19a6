// Line editing, in-session history and completion at a terminal, through libedit's
// readline interface. Nothing is written to disk: the history lives for the session.
#include <editline/readline.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shell/completion.h"
#include "shell/line_editor.h"

namespace rq {

struct LineEditor {
  std::string pending;      // the rest of a line longer than one read takes
  std::string last_stored;  // the newest history entry, so a repeated line is kept once
  bool at_end = false;
};

namespace {

std::vector<std::string> local_file_names(const std::string& typed) {
  std::vector<std::string> names;
  for (int state = 0;; ++state) {
    char* name = rl_filename_completion_function(typed.c_str(), state);
    if (!name) break;
    names.emplace_back(name);
    free(name);
  }
  return names;
}

bool names_directory(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_directory(name, ec);
}

// libedit takes a malloc'ed array: the text that replaces the word, then (when there is a
// choice) the candidates to list, then a null.
char** completion_array(const std::vector<std::string>& entries) {
  auto** array = static_cast<char**>(calloc(entries.size() + 1, sizeof(char*)));
  if (!array) return nullptr;
  for (size_t i = 0; i < entries.size(); ++i) array[i] = strdup(entries[i].c_str());
  return array;
}

// The editor replaces line[start, end) with the first entry. Everything it would add by
// itself (a blank, an escape) is switched off: a blank after the last argument would
// become part of a file name, and the shell knows quotes, not backslashes.
char** complete(const char*, int start, int end) {
  rl_attempted_completion_over = 1;  // no file names where none belong
  rl_completion_append_character = '\0';
  const char* line = rl_line_buffer;
  CompletionContext ctx = completion_context(line, end);
  if (ctx.kind == CompletionKind::kNone || ctx.word_begin > end) return nullptr;
  std::string typed(line + ctx.word_begin, static_cast<size_t>(end - ctx.word_begin));
  std::vector<std::string> candidates = ctx.kind == CompletionKind::kLocalFile
                                            ? local_file_names(typed)
                                            : matching_words(ctx.kind, typed);
  if (candidates.empty()) return nullptr;
  if (candidates.size() == 1) {
    bool directory = ctx.kind == CompletionKind::kLocalFile && names_directory(candidates[0]);
    return completion_array(
        {completion_replacement(line, start, ctx, candidates[0], true, directory)});
  }
  std::vector<std::string> entries = {
      completion_replacement(line, start, ctx, common_prefix(candidates), false, false)};
  entries.insert(entries.end(), candidates.begin(), candidates.end());
  return completion_array(entries);
}

}  // namespace

LineEditor* line_editor_open() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return nullptr;
  rl_readline_name = "rqshell";
  rl_attempted_completion_function = complete;
  // A word for the editor ends at a blank or a quote; completion_context decides the rest.
  rl_completer_word_break_characters = const_cast<char*>(" \t\"");
  using_history();
  return new LineEditor;
}

void line_editor_close(LineEditor* editor) {
  clear_history();
  delete editor;
}

char* line_editor_read(LineEditor& editor, char* buf, int size, const char* prompt) {
  if (size < 2) return nullptr;
  if (editor.pending.empty()) {
    if (editor.at_end) return nullptr;
    fflush(stdout);
    char* line = readline(prompt ? prompt : "");
    if (!line) {
      // End the prompt's line, so that whatever runs next starts on a line of its own.
      fputs("\n", stdout);
      editor.at_end = true;
      return nullptr;
    }
    // Only command lines go into the history; the answers to diag's questions (read
    // without a prompt) would only be in the way of the up arrow.
    if (prompt && line[0] && editor.last_stored != line) {
      add_history(line);
      editor.last_stored = line;
    }
    editor.pending = line;
    editor.pending += '\n';
    free(line);
  }
  size_t n = editor.pending.size() < static_cast<size_t>(size - 1) ? editor.pending.size()
                                                                   : static_cast<size_t>(size - 1);
  memcpy(buf, editor.pending.data(), n);
  buf[n] = '\0';
  editor.pending.erase(0, n);
  return buf;
}

}  // namespace rq
