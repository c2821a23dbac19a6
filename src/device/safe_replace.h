// Replacing a device file so that a failure at any point leaves the old file or the new one,
// never a partial file and never nothing. The device's put may write in place (a cut upload
// leaves a partial file) and its mv refuses an existing target, so the sequence is: the new
// content to a temporary name in the same directory, the old file moved aside, the new one
// moved in, the old one removed; on a failure the old one is put back. The exchange sequence
// is described in doc/protocol.md ("Safe replace").
//
// The temporary and aside names are ".NAME.rq-new" and ".NAME.rq-old" beside NAME. They count
// toward the device's path limit (a path whose side names do not fit fails with
// kStatusPathTooLong), and a front end hides them from its listings. A pair left by a cut
// (the link lost, the program killed) is put right by repair_replace_leftovers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "device/device.h"
#include "device/file_transfer.h"

namespace rq {

enum class ReplaceSide : uint8_t { kNew, kOld };

// Writes the side name of path's last component ("/d/f" -> "/d/.f.rq-new") into out.
// Returns its length, or -1 when path has no last component or out is too small.
int replace_side_path(const char* path, ReplaceSide side, char* out, size_t capacity);

// True when a bare directory entry name is a temporary or aside name; *side and *target
// (the name it stands beside) are set then.
bool parse_replace_side_name(const std::string& name, ReplaceSide* side, std::string* target);

// Whether the caller knows that the target exists. kUnknown tries the move first and takes
// "already exists" as the answer, so a new file costs no extra round trip.
enum class ReplaceTarget : uint8_t { kUnknown, kMissing, kExists };

// Where a replace stopped.
enum class ReplaceStage : uint8_t {
  kNone,       // it succeeded
  kUpload,     // the put to the temporary name (transfer tells the step)
  kMoveAside,  // moving the old file to its aside name
  kMoveIn,     // moving the new file (or the renamed one) to the target name
};

struct ReplaceResult {
  Result result;  // the first failure, or ok
  ReplaceStage stage = ReplaceStage::kNone;
  TransferResult transfer;         // the upload's own result (safe_replace only)
  bool old_left_aside = false;     // a failure, and putting the old file back failed too
  bool aside_not_removed = false;  // succeeded, but the old file stays under its aside name
  bool link_lost = false;          // kCodeLinkLost somewhere: the caller closes the link
};

// Sends size bytes from source to path through a temporary name. On kSource the device
// waits for data that will not come: the caller must close the link (link_lost is set).
ReplaceResult safe_replace(Device& d, const char* path, int32_t size, DataSource& source,
                           ReplaceTarget target, const DeviceEvents* events);

// mv from to, replacing an existing file (or empty directory) at to the same way: the old
// one moved aside, from moved in, the old one removed, and put back on a failure.
ReplaceResult safe_move_over(Device& d, const char* from, const char* to, ReplaceTarget target);

// What repair_replace_leftovers did with one side name.
struct RepairAction {
  std::string side_path;    // the leftover
  std::string target_path;  // the name it belongs to
  bool restored = false;    // an aside file put back under its missing target name
  Result result;            // the exchange's result
};

// Puts right the side names among a directory's entries (dir: the directory's device path;
// entry_names: the names of all its entries, files and directories): an aside entry whose
// target is missing goes back, an aside entry whose target exists and every temporary file
// are removed. Returns 0, or the first failure's code (kCodeLinkLost stops it).
int repair_replace_leftovers(Device& d, const std::string& dir,
                             const std::vector<std::string>& entry_names,
                             std::vector<RepairAction>* actions);

// The same repairs decided from the names alone, nothing sent, in the order
// repair_replace_leftovers carries them out: for a caller that shows what it would do
// first, or that orders the repairs among other work of its own.
std::vector<RepairAction> plan_replace_repairs(const std::string& dir,
                                               const std::vector<std::string>& entry_names);

// Carries out one planned repair (the move back or the removal); sets action.result and
// returns it.
Result apply_replace_repair(Device& d, RepairAction& action);

}  // namespace rq
