// sync: the destination directory comes to hold what the source directory holds, copying
// only what differs. LOCAL_DIR DEVICE_DIR pushes to the device; --pull DEVICE_DIR LOCAL_DIR
// fetches from it. The device keeps no time stamps or hashes, so a file is copied when the
// destination lacks it or its size differs, or, with --checksum, when its content differs
// (the device's copy is read back and compared).
//
// Everything is planned before anything changes: both trees are walked, every name is checked
// and every comparison made, so a refusal (a link, a name the other side cannot hold, a file
// where the source has a directory, a listing that may have been cut) stops the run with
// nothing done. The plan is then carried out in order, each action reported as it completes;
// --dry-run reports the plan only. A file is replaced only when complete: on the device
// through the safe replace (device/safe_replace.h), whose leftovers from a cut are put right
// at the next sync of that directory; locally through a download target (local/).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace rq {

struct SyncArgs {
  std::string source, dest;  // directories: local and device (pull: device and local)
  bool pull = false;
  bool remove_extras = false;  // --delete: what the source lacks goes
  bool checksum = false;       // --checksum: same-size files are compared byte for byte
  bool dry_run = false;        // --dry-run: report the plan, change nothing
  bool follow_links = false;   // -L: follow symbolic links inside the local tree
};

enum class SyncActionKind : uint8_t {
  kCopy,            // a file to the destination
  kMakeDir,         // a directory at the destination
  kDelete,          // a file or a whole tree at the destination
  kRestore,         // a device file left aside by a cut goes back under its name
  kRemoveLeftover,  // a device file a cut left under a temporary or aside name goes
};

enum class SyncReason : uint8_t {
  kNone,
  kNew,       // the destination lacks it
  kSize,      // the sizes differ
  kContent,   // same size, different bytes (--checksum)
  kType,      // a file where the source has a directory, or the other way round (--delete)
  kExtra,     // the source lacks it (--delete)
  kLeftover,  // left by a cut sync or replace
};

struct SyncAction {
  SyncActionKind kind = SyncActionKind::kCopy;
  SyncReason reason = SyncReason::kNone;
  std::string path;        // at the destination: a device path (push) or a local one (pull)
  std::string from;        // kCopy: the source's path; kRestore, kRemoveLeftover: the side name
  bool directory = false;  // kDelete: a directory and all it holds
  bool destination_exists = false;  // kCopy: a file of that name is there to replace
  int64_t size = -1;                // kCopy: bytes; -1 while unknown (a pull's new file)
  bool done = false;
};

struct SyncSummary {
  std::string from, to;
  bool pull = false;
  bool dry_run = false;
  std::vector<SyncAction> actions;  // the plan, in order; `done` marks what was carried out
  // Directories whose listing may have been cut (pull without --delete: names beyond the cut
  // were not seen).
  std::vector<std::string> possibly_incomplete;
  int64_t unchanged = 0;  // files found equal
  // What was carried out: files copied whole and their bytes, directories made, deletions.
  int64_t files = 0, bytes = 0, directories = 0, deleted = 0, repaired = 0;
  double seconds = 0;
};

int tool_sync(Tool& t, const SyncArgs& a, SyncSummary& s);

// The text presenter: one line per action on the results stream as it is carried out (all
// of the plan with --dry-run), the summary on standard error.
void print_sync_action(Tool& t, const SyncSummary& s, const SyncAction& action);
void print_sync_summary(Tool& t, const SyncSummary& s);

// Text, or the JSON object: result {from, to, direction, dry_run, actions, files, bytes,
// directories, deleted, repaired, unchanged, seconds, outcome[, possibly_incomplete]}.
int present(Tool& t, int status, const SyncSummary& s);

}  // namespace rq
