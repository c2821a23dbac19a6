#include "commands.h"

#include <cstring>

#include "boot_exchanges.h"
#include "diag_exchanges.h"
#include "file_exchanges.h"
#include "link/protocol.h"
#include "transfer_exchanges.h"

namespace rq::sim {

namespace {

constexpr bool kMovesData = true;
constexpr bool kNoData = false;

// The keyword comes from the protocol's table, the same one the link's trace reads.
constexpr SimCommand row(CommandCode code, Exchange play, bool moves_data) {
  return {command_code_keyword(code), code, play, moves_data};
}

// Code, exchange, and whether --drop counts its data; in the order the options' help and
// errors list the keywords.
constexpr SimCommand kCommands[] = {
    row(kCmdPing, play_ping, kNoData),      row(kCmdFormat, play_format, kNoData),
    row(kCmdLs, play_ls, kMovesData),       row(kCmdPwd, play_pwd, kMovesData),
    row(kCmdCd, play_cd, kNoData),          row(kCmdMkdir, play_mkdir, kNoData),
    row(kCmdRm, play_rm, kNoData),          row(kCmdMv, play_mv, kNoData),
    row(kCmdPut, play_put, kMovesData),     row(kCmdGet, play_get, kMovesData),
    row(kCmdLaunch, play_launch, kNoData),  row(kCmdCp, play_cp, kNoData),
    row(kCmdVer, play_ver, kMovesData),     row(kCmdDiag, play_diag, kNoData),
    row(kCmdReadBoot, play_rb, kMovesData), row(kCmdWriteBoot, play_wb, kMovesData),
};
constexpr int kCount = static_cast<int>(sizeof kCommands / sizeof kCommands[0]);

constexpr bool every_row_is_named() {
  for (const SimCommand& c : kCommands)
    if (!c.keyword) return false;
  return true;
}
static_assert(every_row_is_named(), "a command code with no keyword in link/protocol.h");
// The fault rules keep one bit per command (faults.h).
static_assert(kCount <= 32, "more commands than bits in a fault flag");

}  // namespace

int command_count() { return kCount; }

const SimCommand& command_row(int id) { return kCommands[id]; }

const char* command_name(int id) {
  if (id < 0 || id >= kCount) return "?";
  return kCommands[id].keyword;
}

int command_from_code(uint8_t code) {
  for (int i = 0; i < kCount; ++i)
    if (kCommands[i].code == code) return i;
  return kNoCommand;
}

int command_from_name(const char* name, size_t length) {
  for (int i = 0; i < kCount; ++i)
    if (std::strlen(kCommands[i].keyword) == length &&
        std::memcmp(kCommands[i].keyword, name, length) == 0)
      return i;
  return kNoCommand;
}

void print_keywords(FILE* out, const char* separator, const char* last_separator,
                    bool only_moving_data) {
  int last = -1;
  for (int i = 0; i < kCount; ++i)
    if (!only_moving_data || kCommands[i].moves_data) last = i;
  bool first = true;
  for (int i = 0; i <= last; ++i) {
    if (only_moving_data && !kCommands[i].moves_data) continue;
    if (!first) fputs(i == last ? last_separator : separator, out);
    fputs(kCommands[i].keyword, out);
    first = false;
  }
}

}  // namespace rq::sim
