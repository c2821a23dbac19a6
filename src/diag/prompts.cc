#include "diag/prompts.h"

#include <cstdio>

#include "shell/console.h"

namespace rq {

namespace {

// Room for 255 characters of an answer and the terminating zero; longer lines arrive in
// pieces, and each piece is an answer of its own.
constexpr int kAnswerSize = 256;

// Reads the next answer and returns its first byte, or -1 at the end of console input.
// Answers come through the same reader as console commands (which flushes the question
// first), so typed-ahead lines are never split between two readers. The test is on the raw
// first byte: case-sensitive, no blanks skipped.
int next_answer_key(Shell& c) {
  char answer[kAnswerSize];
  if (!console_read_line(c, answer, kAnswerSize, nullptr)) return -1;
  return static_cast<unsigned char>(answer[0]);
}

bool is_key(int first_byte, char key) { return first_byte == static_cast<unsigned char>(key); }

const char* question_text(Question q) {
  switch (q) {
    case Question::kToneHeard:
      return "Did you hear a tone on left channel followed by a tone on right channel(y/n)?";
    case Question::kPlaybackHeard: return "Did you hear the playback sound? (y/n)?";
    case Question::kGbaTextSeen: return "Did you see 'Quorbel Dexlink Diags on Gba'? (y/n)?";
  }
  return "";
}

struct KeyText {
  const char* text;
  char go_key;
};

KeyText key_text(KeyPrompt p) {
  switch (p) {
    case KeyPrompt::kStartTone: return {"Press a to start audio tone test (c to cancel) ...", 'a'};
    case KeyPrompt::kRecord: return {"Press r to record 5 seconds sound ...", 'r'};
    case KeyPrompt::kPlayback: return {"Press p to play back record sound", 'p'};
  }
  return {"", 'a'};
}

constexpr char kCancelKey = 'c';

void started(void* context) {
  auto& o = *static_cast<ConsoleOperator*>(context);
  fputs(o.start_line, o.c->console_out);
}

// Prints the question and a line feed, then reads answers until one starts with y or n.
Answer ask(void* context, Question q) {
  Shell& c = *static_cast<ConsoleOperator*>(context)->c;
  fprintf(c.console_out, "%s\n", question_text(q));
  for (;;) {
    int key = next_answer_key(c);
    if (key < 0) return Answer::kEnd;
    if (is_key(key, 'y')) return Answer::kYes;
    if (is_key(key, 'n')) return Answer::kNo;
  }
}

// Prints the prompt and a line feed, then reads answers until one starts with the go key
// (tested first) or the cancel key.
Key await_key(void* context, KeyPrompt p) {
  Shell& c = *static_cast<ConsoleOperator*>(context)->c;
  KeyText k = key_text(p);
  fprintf(c.console_out, "%s\n", k.text);
  for (;;) {
    int key = next_answer_key(c);
    if (key < 0) return Key::kEnd;
    if (is_key(key, k.go_key)) return Key::kGo;
    if (is_key(key, kCancelKey)) return Key::kCancel;
  }
}

}  // namespace

Operator console_operator(ConsoleOperator& o) {
  Operator op;
  op.context = &o;
  op.test_started = started;
  op.ask = ask;
  op.await_key = await_key;
  return op;
}

}  // namespace rq
