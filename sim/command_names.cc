#include "command_names.h"

#include <cstdio>
#include <cstring>

#include "link/protocol.h"

namespace rq::sim {

namespace {

struct CommandEntry {
  const char* name;
  uint8_t code;
};

// Indexed by SimCommand.
constexpr CommandEntry kCommands[kSimCommandCount] = {
    {"ping", kCmdPing}, {"format", kCmdFormat}, {"ls", kCmdLs},         {"pwd", kCmdPwd},
    {"cd", kCmdCd},     {"mkdir", kCmdMkdir},   {"rm", kCmdRm},         {"mv", kCmdMv},
    {"put", kCmdPut},   {"get", kCmdGet},       {"launch", kCmdLaunch}, {"cp", kCmdCp},
    {"ver", kCmdVer},   {"diag", kCmdDiag},     {"rb", kCmdReadBoot},   {"wb", kCmdWriteBoot},
};

}  // namespace

const char* command_name(int command) {
  if (command < 0 || command >= kSimCommandCount) return "?";
  return kCommands[command].name;
}

int command_from_code(uint8_t code) {
  for (int i = 0; i < kSimCommandCount; ++i)
    if (kCommands[i].code == code) return i;
  return kNoCommand;
}

int command_from_name(const char* name, size_t length) {
  for (int i = 0; i < kSimCommandCount; ++i)
    if (std::strlen(kCommands[i].name) == length &&
        std::memcmp(kCommands[i].name, name, length) == 0)
      return i;
  return kNoCommand;
}

const char* code_name(uint8_t code, char* scratch, size_t scratch_size) {
  if (code == kCmdAudioGo) return "go";
  if (code == kCmdAudioCancel) return "cancel";
  int command = command_from_code(code);
  if (command != kNoCommand) return command_name(command);
  snprintf(scratch, scratch_size, "0x%02x", code);
  return scratch;
}

}  // namespace rq::sim
