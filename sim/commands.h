// The commands rqsim plays, by the shell keyword that sends them. The keyword names a command
// in the trace and in the fault-injection options (--status ls=9).
#pragma once

#include <cstddef>
#include <cstdint>

namespace rq::sim {

enum SimCommand : int {
  kSimPing,
  kSimFormat,
  kSimLs,
  kSimPwd,
  kSimCd,
  kSimMkdir,
  kSimRm,
  kSimMv,
  kSimPut,
  kSimGet,
  kSimLaunch,
  kSimCp,
  kSimVer,
  kSimDiag,
  kSimRb,
  kSimWb,
  kSimCommandCount,
};

constexpr int kNoCommand = -1;

// "ls" for kSimLs; "?" for anything else.
const char* command_name(int command);

// The command a command-message code starts, or kNoCommand (unknown codes and the audio
// test's go and cancel messages, which are answers, not commands).
int command_from_code(uint8_t code);

// The command for a keyword of `length` bytes (exact, lower case), or kNoCommand.
int command_from_name(const char* name, size_t length);

}  // namespace rq::sim
