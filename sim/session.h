// One shell connection as the simulated proxy and device see it: the socket, the frame
// reader, the device file system's session state and the command being played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "commands.h"
#include "device_fs.h"
#include "faults.h"
#include "link/link.h"
#include "link/protocol.h"
#include "listing.h"
#include "sim_options.h"

namespace rq::sim {

struct Session {
  const SimOptions* options = nullptr;
  Link link;              // no report hook: every failure is handled where it is returned
  FILE* log = stderr;     // connection notes and launches
  FILE* trace = nullptr;  // every frame, with --trace
  bool dropped = false;   // the link is gone or no longer trusted: the session ends

  uint8_t data[kMaxPayload];   // file data and replies
  char text[kMaxPayload + 1];  // the path or names the current command carries

  // The next command message. When the audio dialogue receives a frame that is not an
  // answer, the operator has left the dialogue and that frame is the next command; its
  // ready message has already been sent.
  uint8_t command[kMessageSize];
  size_t command_length = 0;
  bool command_pending = false;

  DeviceFs fs;
  ListingBuilder listing;

  // The command being played, and what the fault rules do to it.
  int command_id = kNoCommand;
  int ordinal = 0;  // command messages so far in this connection
  CommandFaults faults;
  int gates = 0;           // ready and grant messages sent for this command (its own is 1)
  bool answered = false;   // its first status or reply has gone out
  int64_t data_bytes = 0;  // file data and reply bytes moved for it
};

// Prepares s for a new shell on `socket`; the root descriptor in s.fs stays.
void session_start(Session& s, SocketHandle socket);

// Plays the proxy and the device for one shell until it leaves or the link is dropped.
void serve_session(Session& s);

}  // namespace rq::sim
