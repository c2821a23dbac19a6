// Comparing what the device holds with a local file, byte for byte through fixed buffers,
// without writing anything: verify (a device file), boot verify (a boot image), and the
// read-back after each file of put --verify. A difference ends with kExitVerify naming the
// first differing offset, or both sizes when one is a prefix of the other.
#pragma once

#include <cstdint>
#include <string>

#include "tool/tool.h"
#include "tool/transfer_commands.h"

namespace rq {

struct VerifyArgs {
  std::string local;
  std::string device_name;
};
int tool_verify(Tool& t, const VerifyArgs& a, TransferSummary& s);
int tool_boot_verify(Tool& t, const BootArgs& a, TransferSummary& s);

// Reads device_name back over the open connection and compares it with local; what begins
// each message ("put a.bin /a.bin"). Returns the exit status.
int read_back_and_compare(Tool& t, const std::string& what, const std::string& local,
                          const std::string& device_name);

}  // namespace rq
