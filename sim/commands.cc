#include "command_names.h"

#include <cstdio>
#include <cstring>

#include "link/protocol.h"
#include "link/trace.h"

namespace rq::sim {

namespace {

// Indexed by SimCommand; the keywords come from the link's table of command codes.
constexpr uint8_t kCommandCodes[kSimCommandCount] = {
    kCmdPing, kCmdFormat, kCmdLs,     kCmdPwd, kCmdCd,  kCmdMkdir, kCmdRm,       kCmdMv,
    kCmdPut,  kCmdGet,    kCmdLaunch, kCmdCp,  kCmdVer, kCmdDiag,  kCmdReadBoot, kCmdWriteBoot,
};

}  // namespace

const char* command_name(int command) {
  if (command < 0 || command >= kSimCommandCount) return "?";
  return command_code_keyword(kCommandCodes[command]);
}

int command_from_code(uint8_t code) {
  for (int i = 0; i < kSimCommandCount; ++i)
    if (kCommandCodes[i] == code) return i;
  return kNoCommand;
}

int command_from_name(const char* name, size_t length) {
  for (int i = 0; i < kSimCommandCount; ++i)
    if (std::strlen(command_name(i)) == length && std::memcmp(command_name(i), name, length) == 0)
      return i;
  return kNoCommand;
}

}  // namespace rq::sim
