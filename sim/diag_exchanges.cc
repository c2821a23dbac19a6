// diag: the device's self-tests (sub-code 1 audio, 2 rtc, 3 usb, 4 gba, 5 flash). Each test
// takes a pause as the device would and answers a status (0, or --diag-status TEST=CODE).
//
// The audio test is a dialogue paced by the operator (doc/protocol.md). The ready for the
// next prompt goes out before the operator has answered the question before it. If the
// operator answers "no", the shell ends the test and its next command takes that ready: a
// frame other than go or cancel therefore is the next command, and it is handed back to the
// session loop to be played.
#include "diag_exchanges.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "device_status.h"
#include "wire.h"

namespace rq::sim {

namespace {

enum Answer { kGo, kCancel, kLeft };

void device_pause(const Session& s) {
  if (s.options->diag_delay_ms > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(s.options->diag_delay_ms));
}

// Sends the ready for a prompt and waits, for as long as the operator takes, for the answer.
int await_answer(Session& s) {
  int rc = send_ready(s);
  if (rc < 0) return rc;
  const uint8_t* p = nullptr;
  int n = receive_frame(s, "answer", kTraceCommand, kWaitForever, &p);
  if (n < 0 && n != kWireOversize) return n;
  if (n == static_cast<int>(kMessageSize) && (p[0] == kCmdAudioGo || p[0] == kCmdAudioCancel))
    return p[0] == kCmdAudioGo ? kGo : kCancel;
  // The operator left the dialogue: this frame is the next command (a malformed one, if it
  // is not 8 bytes long, which the loop answers as such).
  size_t length = n < 0 ? 0 : static_cast<size_t>(n);
  if (length > 0) std::memcpy(s.command, p, length < kMessageSize ? length : kMessageSize);
  s.command_length = length;
  s.command_pending = true;
  return kLeft;
}

int play_audio(Session& s) {
  int answer = await_answer(s);
  if (answer != kGo && answer != kCancel) return answer < 0 ? answer : 0;
  device_pause(s);  // two tones
  int code = s.options->diag_status[kDiagAudio];
  int rc = send_status(s, code, 0, "tone");
  if (rc < 0 || code != 0) return rc;

  answer = await_answer(s);
  if (answer != kGo) return answer < 0 ? answer : 0;
  device_pause(s);  // five seconds of recording, shortened
  if ((rc = send_status(s, 0, 0, "record")) < 0) return rc;

  answer = await_answer(s);
  if (answer != kGo) return answer < 0 ? answer : 0;
  device_pause(s);  // playback
  if ((rc = send_status(s, 0, 0, "playback")) < 0) return rc;
  return send_status(s, preempting_status(s), 0, "final");
}

}  // namespace

int play_diag(Session& s, uint8_t test, int32_t) {
  if (test == kDiagAudio) return play_audio(s);
  if (test < kDiagRtc || test > kDiagFlash) return send_status(s, kStatusInvalidParameter, 0);
  device_pause(s);
  int code = preempting_status(s);
  if (code == 0) code = s.options->diag_status[test];
  return send_status(s, code, 0);
}

}  // namespace rq::sim
