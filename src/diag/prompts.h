// The console questions the diagnostics ask while a test runs. Answers always come from the
// operator's console (the session's console reader), also when `diag` came from a script.
#pragma once

#include "link/connection.h"

namespace rq {

// yes_no_prompt results.
constexpr int kAnswerYes = 0;
constexpr int kAnswerNo = 1;
constexpr int kAnswerEnd = -1;  // console input ended before either key was given

// key_prompt results.
constexpr int kKeyGoSent = 0;
constexpr int kKeyCancelSent = 1;
constexpr int kKeyEnd = -1;  // console input ended; nothing was sent to the device
constexpr int kKeyGoRefused = -2;
constexpr int kKeyCancelRefused = -3;

// Prints the question and a line feed, then reads answers of at most 255 characters
// (a longer line counts as several answers) until one starts with yes_key or no_key.
// The test is on the raw first byte: case-sensitive, no blanks skipped.
int yes_no_prompt(Connection& c, const char* question, char yes_key, char no_key);

// Prints text and a line feed, then reads answers like yes_no_prompt until one starts
// with go_key (tested first) or cancel_key, and sends the audio test's go or cancel
// message through the ready rule. A refusal is reported here. At the end of console input
// nothing is sent, so the caller must not wait for a status for this stage.
int key_prompt(Connection& c, const char* text, char go_key, char cancel_key);

}  // namespace rq
