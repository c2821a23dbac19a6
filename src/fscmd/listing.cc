// ls: sends a path like the path commands, then prints the one reply frame the device
// sends, which holds either one file's record or a directory's entries.
//
// File form (byte 0 is 'F'); every number is a signed 32-bit little-endian integer:
//   0 'F' | 1..3 unused | 4 uid | 8 gid | 12 attr | 16 own | 20 grp | 24 other | 28 size
// Directory form (byte 0 is anything else, lower-case 'f' included):
//   0 tag | 1..3 unused | 4 entry count | 8.. entries back to back, each a name ended by
//   one type byte, 0x01 for a directory or 0x02 for a file (names carry no zero or length).
//
// The reply comes from the peer, so it is walked with a cursor bounded by the bytes that
// actually arrived: a field cut off by the frame's end reads as 0, and the walk stops at
// the end of the frame whatever count was announced.
#include <cstring>

#include "fscmd/fscmd.h"
#include "fscmd/path_exchange.h"
#include "link/link.h"
#include "link/message.h"
#include "shell/args.h"

namespace rq {

namespace {

constexpr uint8_t kFileTag = 'F';
constexpr uint8_t kDirEntry = 0x01;
constexpr uint8_t kFileEntry = 0x02;
constexpr size_t kEntriesOffset = 8;

struct Reply {
  const uint8_t* bytes;
  size_t length;
};

// The 32-bit field at offset, or 0 when the reply ends before the field does.
int32_t field(const Reply& r, size_t offset) {
  return offset + 4 <= r.length ? get_le32(r.bytes + offset) : 0;
}

void print_file_record(Connection& c, const char* path, const Reply& r) {
  fprintf(c.console_out, "%s %dBytes ", path, field(r, 28));
  fprintf(c.console_out, "uid=%d gid=%d attr=%x own=%x grp=%d other=%d\n", field(r, 4), field(r, 8),
          static_cast<unsigned>(field(r, 12)), static_cast<unsigned>(field(r, 16)), field(r, 20),
          field(r, 24));
}

void print_directory(Connection& c, const char* path, const Reply& r) {
  int32_t count = field(r, 4);
  fprintf(c.console_out, "%s contains %d files\n", path, count);
  int32_t entry = 1;
  size_t name_start = kEntriesOffset;
  for (size_t i = kEntriesOffset; i < r.length && entry <= count; ++i) {
    uint8_t type = r.bytes[i];
    if (type != kDirEntry && type != kFileEntry) continue;
    // A zero inside a name ends what is printed; the type byte still ends the entry.
    const char* name = reinterpret_cast<const char*>(r.bytes + name_start);
    int shown = static_cast<int>(strnlen(name, i - name_start));
    fprintf(c.console_out, type == kDirEntry ? "%d Dir %.*s \n" : "%d File %.*s \n", entry, shown,
            name);
    ++entry;
    name_start = i + 1;
  }
}

}  // namespace

int cmd_ls(Connection& c, char* command) {
  static constexpr PathFailureLines kLines = {
      "ls command failed rv cmd = %d\n",
      "ls command failed errcode = %d\n",
      "ls command failed errcode = %d\n",
  };
  char* path;
  int wire_length = single_path(command, 2, &path);
  if (path_exchange(c, kCmdLs, path, wire_length, kLines) != 0) return kCommandFailed;

  // The status value announces the reply's length; the frame's own header decides what
  // arrives, so a wrong or negative announcement cannot put the shell out of step.
  int n = receive_frame(c, payload_area(c), kMaxPayload);
  if (n < 0) {
    print_failure_report(c, kCommandFailed, kLines.bad_status);
    return kCommandFailed;
  }
  Reply reply = {payload_area(c), static_cast<size_t>(n)};
  // An empty reply has no tag; it prints as an empty directory.
  if (reply.length > 0 && reply.bytes[0] == kFileTag)
    print_file_record(c, path, reply);
  else
    print_directory(c, path, reply);
  return 0;
}

}  // namespace rq
