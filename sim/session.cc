#include "session.h"

#include <cstring>

#include "boot_exchanges.h"
#include "diag_exchanges.h"
#include "file_exchanges.h"
#include "link/status.h"
#include "transfer_exchanges.h"
#include "wire.h"

namespace rq::sim {

namespace {

// How long to wait after the connection for the shell's no-wait ping. The shell sends it
// 20 ms after connecting; the margin covers a loaded machine.
constexpr int kStartupPingWaitMs = 500;

// Plays the rest of a command's exchange once its command message has arrived.
using Exchange = int (*)(Session& s, uint8_t sub_code, int32_t value);

// Indexed by SimCommand.
constexpr Exchange kExchanges[kSimCommandCount] = {
    play_ping, play_format, play_ls,     play_pwd, play_cd,  play_mkdir, play_rm, play_mv,
    play_put,  play_get,    play_launch, play_cp,  play_ver, play_diag,  play_rb, play_wb,
};

void begin_command(Session& s, int command) {
  s.command_id = command;
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
  kExchanges[command](s, s.command[1], message_value(s.command));
}

// Takes a received frame as the next command message.
void keep_command(Session& s, const uint8_t* p, int n) {
  size_t length = n < 0 ? 0 : static_cast<size_t>(n);
  if (length > 0) std::memcpy(s.command, p, length < kMessageSize ? length : kMessageSize);
  s.command_length = length;
}

// The shell's start-up probe: it waits 20 ms for anything from the proxy and, hearing
// nothing, sends a ping without waiting for a ready message. So rqsim sends nothing at
// first; a ping that arrives is answered; any other frame is taken as a first command sent
// without a ready.
void answer_startup_ping(Session& s) {
  if (!shell_sent_within(s, kStartupPingWaitMs)) return;
  const uint8_t* p = nullptr;
  int n = receive_frame(s, "command", kTraceCommand, kPeerTimeoutMs, &p);
  if (n < 0 && n != kWireOversize) return;
  keep_command(s, p, n);
  if (s.command_length == kMessageSize && s.command[0] == kCmdPing) {
    begin_command(s, kSimPing);
    play_ping(s, s.command[1], message_value(s.command));
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
      begin_command(s, kNoCommand);
      s.gates = 0;
      ++s.ordinal;
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
