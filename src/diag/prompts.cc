#include "diag/prompts.h"

#include <cstdio>

#include "link/message.h"
#include "link/protocol.h"
#include "shell/console.h"

namespace rq {

namespace {

// Room for 255 characters of an answer and the terminating zero; longer lines arrive in
// pieces, and each piece is an answer of its own.
constexpr int kAnswerSize = 256;

// Reads the next answer and returns its first byte, or -1 at the end of console input.
// Answers come through the same reader as console commands (which flushes the question
// first), so typed-ahead lines are never split between two readers.
int next_answer_key(Connection& c) {
  char answer[kAnswerSize];
  if (!console_read_line(c, answer, kAnswerSize, nullptr)) return -1;
  return static_cast<unsigned char>(answer[0]);
}

bool is_key(int first_byte, char key) { return first_byte == static_cast<unsigned char>(key); }

}  // namespace

int yes_no_prompt(Connection& c, const char* question, char yes_key, char no_key) {
  fprintf(c.console_out, "%s\n", question);
  for (;;) {
    int key = next_answer_key(c);
    if (key < 0) return kAnswerEnd;
    if (is_key(key, yes_key)) return kAnswerYes;
    if (is_key(key, no_key)) return kAnswerNo;
  }
}

int key_prompt(Connection& c, const char* text, char go_key, char cancel_key) {
  fprintf(c.console_out, "%s\n", text);
  for (;;) {
    int key = next_answer_key(c);
    if (key < 0) return kKeyEnd;
    if (is_key(key, go_key)) {
      int code = send_command(c, kCmdAudioGo, 0, 0);
      if (code == 0) return kKeyGoSent;
      print_failure_report(c, code, "diag audio failed rcving err = %d\n");
      // The caller ends the line with its verdict.
      fputs("X audio diag test Failed", c.console_out);
      return kKeyGoRefused;
    }
    if (is_key(key, cancel_key)) {
      int code = send_command(c, kCmdAudioCancel, 0, 0);
      if (code == 0) return kKeyCancelSent;
      print_failure_report(c, code, "diag cancel failed rcving err = %d\n");
      return kKeyCancelRefused;
    }
  }
}

}  // namespace rq
