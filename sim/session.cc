#include "session.h"

#include <cstring>

#include "link/status.h"
#include "wire.h"

namespace rq::sim {

namespace {

// How long to wait after the connection for the start-up probe's ping, which a client sends
// once the proxy has stayed silent for kStartupProbeWaitMs: 25 times that wait, a margin for
// a loaded machine.
constexpr int kStartupPingWaitMs = 25 * kStartupProbeWaitMs;

// Begins a command (kNoCommand until its command message has arrived), s.ordinal counting it.
void begin_command(Session& s, int command) {
  s.command_id = command;
  s.faults = faults_for(s.options->faults, command, s.ordinal);
  s.gates = 1;  // the ready ahead of the command message
  s.answered = false;
  s.data_bytes = 0;
}

// Plays the command message in s.command.
void dispatch(Session& s) {
  if (s.command_length != kMessageSize) {
    begin_command(s, kNoCommand);
    send_status(s, kStatusInvalidParameter, 0, "status");
    return;
  }
  uint8_t code = s.command[0];
  int command = command_from_code(code);
  if (command == kNoCommand) {
    begin_command(s, kNoCommand);
    if (code == kCmdAudioGo || code == kCmdAudioCancel) {
      // An answer with no dialogue open: nothing waits for it, and a status now would be
      // read as the ready for the shell's next command.
      fprintf(s.log, "rqsim: a go/cancel message outside the audio test, ignored\n");
      return;
    }
    send_status(s, kStatusInvalidParameter, 0, "status");
    return;
  }
  begin_command(s, command);
  command_row(command).play(s, s.command[1], message_value(s.command));
}

// Takes a received frame as the next command message.
void keep_command(Session& s, const uint8_t* p, int n) {
  size_t length = n < 0 ? 0 : static_cast<size_t>(n);
  if (length > 0) std::memcpy(s.command, p, length < kMessageSize ? length : kMessageSize);
  s.command_length = length;
}

// The client's start-up probe: it waits kStartupProbeWaitMs for anything from the proxy and,
// hearing nothing, sends a ping without waiting for a ready message. So rqsim sends nothing
// at first; a ping that arrives is answered; any other frame is taken as a first command sent
// without a ready.
void answer_startup_ping(Session& s) {
  if (!shell_sent_within(s, kStartupPingWaitMs)) return;
  const uint8_t* p = nullptr;
  int n = receive_frame(s, "command", kTraceCommand, kPeerTimeoutMs, &p);
  if (n < 0 && n != kWireOversize) return;
  keep_command(s, p, n);
  if (s.command_length == kMessageSize && s.command[0] == kCmdPing) {
    dispatch(s);  // with s.ordinal still 0: --refuse N counts from the command after it
    return;
  }
  s.command_pending = true;
}

}  // namespace

void session_start(Session& s, SocketHandle socket) {
  link_attach(s.link, socket);
  // A shell owes the rest of a frame, and must keep reading, within this time.
  s.link.timeout_ms = kPeerTimeoutMs;
  s.link.write_piece = s.options && s.options->faults.split ? 1 : 0;
  s.dropped = false;
  s.command_length = 0;
  s.command_pending = false;
  s.command_id = kNoCommand;
  s.ordinal = 0;
  s.faults = CommandFaults();
  s.gates = 0;
  s.answered = false;
  s.data_bytes = 0;
  fs_reset_session(s.fs);
}

void serve_session(Session& s) {
  answer_startup_ping(s);
  while (!s.dropped) {
    if (s.command_pending) {
      s.command_pending = false;
      ++s.ordinal;
    } else {
      // One ready ahead of every command: the shell's next command message may go out.
      ++s.ordinal;
      begin_command(s, kNoCommand);
      s.gates = 0;
      int rc = send_ready(s);
      if (rc == kWireRefused) continue;  // the shell drops that command; the next needs a ready
      if (rc < 0) break;
      const uint8_t* p = nullptr;
      int n = receive_frame(s, "command", kTraceCommand, kWaitForever, &p);
      if (n < 0 && n != kWireOversize) break;
      keep_command(s, p, n);
    }
    dispatch(s);
  }
}

}  // namespace rq::sim
