// diag: the device's self-tests. The simple ones send one command message and read one
// status (the GBA test then needs the operator's word); the audio test is a dialogue paced
// by the operator. Whatever needs the operator goes through the Operator the front end
// supplies, which also owns the questions' words and keys.
#pragma once

#include <cstdint>
#include <string_view>

#include "device/device.h"

namespace rq {

// The test a word names as the operator types it: each of kDiagTestNames in turn, compared
// over its `compared` characters with ASCII letters folded, so "FLASHY" names the flash
// test. nullptr when none matches.
const DiagTestName* diag_test_for_word(const char* word);

// The test whose word is exactly name, or nullptr.
const DiagTestName* diag_test_named(std::string_view name);

enum class Question { kToneHeard, kPlaybackHeard, kGbaTextSeen };
enum class KeyPrompt { kStartTone, kRecord, kPlayback };
enum class Answer { kYes, kNo, kEnd };  // kEnd: the operator's input ended
enum class Key { kGo, kCancel, kEnd };

struct Operator {
  void* context = nullptr;
  // Called once the test's command message went out: the device is running the test now.
  void (*test_started)(void* context) = nullptr;
  Answer (*ask)(void* context, Question question) = nullptr;
  Key (*await_key)(void* context, KeyPrompt prompt) = nullptr;
};

// usb, rtc, flash or gba (the command message's sub-code). Steps: kCommand, kStatus. For
// gba a status of 0 is followed by the operator's question; passed says whether the test
// passed as a whole.
struct DiagResult {
  Result result;
  bool passed = false;
};
DiagResult run_diag_test(Device& d, uint8_t test, Operator& op);

enum class AudioVerdict { kNotStarted, kPassed, kFailed, kCanceled };
enum class AudioFailure {
  kNone,
  kCommandRefused,  // the command message was refused: the test never started
  kGoRefused,       // the go message after a key was refused
  kCancelRefused,   // the cancel message was refused
  kStatus,          // a stage's status was not 0, or did not arrive
};
struct AudioResult {
  AudioVerdict verdict = AudioVerdict::kNotStarted;
  AudioFailure failure = AudioFailure::kNone;  // at most one, just before the verdict
  int code = 0;
};
AudioResult run_audio_dialogue(Device& d, Operator& op);

}  // namespace rq
