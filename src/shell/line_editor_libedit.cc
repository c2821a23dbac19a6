// Line editing, in-session history and completion at a terminal, through libedit's
// readline interface. Nothing is written to disk: the history lives for the session.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <editline/readline.h>

#include <string>

#include "shell/line_editor.h"

namespace rq {

struct LineEditor {
  std::string pending;  // the rest of a line longer than one read takes
  bool at_end = false;
};

namespace {

const char* const kKeywords[] = {"cd",  "cp", "diag", "format", "get", "launch", "ls",
                                 "mkdir", "mv", "ping", "put",  "pwd", "rm",     "s",
                                 "ver", "wb", "rb",   "q",      "h",   nullptr};
const char* const kDiagTests[] = {"usb", "aud", "rtc", "flash", "gba", nullptr};

const char* const* word_list = kKeywords;

char* next_word(const char* text, int state) {
  static int index;
  if (state == 0) index = 0;
  size_t length = strlen(text);
  while (word_list[index]) {
    const char* word = word_list[index++];
    if (strncmp(word, text, length) == 0) return strdup(word);
  }
  return nullptr;
}

// Which argument (1-based) ends at `start`, and the command's keyword.
int argument_index(const char* line, int start, std::string* keyword) {
  int index = 0;
  int i = 0;
  while (i < start) {
    while (i < start && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= start) break;
    int word_start = i;
    while (i < start && line[i] != ' ' && line[i] != '\t') ++i;
    if (index == 0) keyword->assign(line + word_start, static_cast<size_t>(i - word_start));
    ++index;
  }
  return index;
}

bool names_local_file(const std::string& keyword, int argument) {
  if (keyword == "put" || keyword == "s") return argument == 1;
  if (keyword == "get" || keyword == "rb" || keyword == "wb") return argument == 2;
  return false;
}

char** complete(const char* text, int start, int) {
  rl_attempted_completion_over = 1;  // no file names where none belong
  std::string keyword;
  int argument = argument_index(rl_line_buffer, start, &keyword);
  for (char& ch : keyword) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  if (argument == 0) {
    word_list = kKeywords;
    return rl_completion_matches(text, next_word);
  }
  if (keyword == "diag" && argument == 1) {
    word_list = kDiagTests;
    return rl_completion_matches(text, next_word);
  }
  if (names_local_file(keyword, argument))
    return rl_completion_matches(text, rl_filename_completion_function);
  return nullptr;
}

}  // namespace

LineEditor* line_editor_open() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return nullptr;
  rl_readline_name = "rqshell";
  rl_attempted_completion_function = complete;
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
      editor.at_end = true;
      return nullptr;
    }
    if (line[0]) add_history(line);
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
