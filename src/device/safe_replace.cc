#include "device/safe_replace.h"

#include <cstring>
#include <set>

#include "device/path_exchange.h"
#include "link/status.h"

namespace rq {

namespace {

constexpr char kNewSuffix[] = ".rq-new";
constexpr char kOldSuffix[] = ".rq-old";
// Room for a device path and its side name (the exchange itself caps them at one frame).
constexpr size_t kSidePathCapacity = kMaxPayload;

const char* suffix_for(ReplaceSide side) {
  return side == ReplaceSide::kNew ? kNewSuffix : kOldSuffix;
}

Result move(Device& d, const char* from, const char* to) {
  return two_path_command(d, kCmdMv, from, to);
}

Result remove(Device& d, const char* path) { return path_command(d, kCmdRm, path); }

bool lost(const Result& r) { return r.code == kCodeLinkLost; }

ReplaceResult stopped(ReplaceResult rr, ReplaceStage stage, Result r) {
  rr.result = r;
  rr.stage = stage;
  if (lost(r)) rr.link_lost = true;
  return rr;
}

// The part shared by a replace and a move over: from (the new content, under its temporary
// name or its old name) goes to `to`, the old file at `to` moved aside first and removed
// after. from_is_temporary: on a failure the temporary file is removed too.
ReplaceResult move_in(Device& d, const char* from, const char* to, ReplaceTarget target,
                      bool from_is_temporary) {
  ReplaceResult rr;
  char aside[kSidePathCapacity];
  if (replace_side_path(to, ReplaceSide::kOld, aside, sizeof aside) < 0)
    return stopped(rr, ReplaceStage::kMoveIn, failed_at(Step::kCommand, kStatusPathTooLong));
  auto drop_from = [&] {
    if (from_is_temporary) remove(d, from);
  };

  if (target != ReplaceTarget::kExists) {
    Result r = move(d, from, to);
    if (r.ok()) return rr;
    // Anything but "already exists" is the move's own failure.
    if (r.code != kStatusExists || r.step != Step::kStatus) {
      if (!lost(r)) drop_from();
      return stopped(rr, ReplaceStage::kMoveIn, r);
    }
  }

  Result r = move(d, to, aside);
  if (!r.ok() && r.step == Step::kStatus && r.code == kStatusExists) {
    // An aside name left by an earlier cut while the target exists: the target is the newer
    // one (the aside file is removed only after the new file has moved in).
    Result gone = remove(d, aside);
    if (gone.ok()) r = move(d, to, aside);
  }
  if (!r.ok() && r.step == Step::kStatus && r.code == kStatusMissing) {
    // The target went away meanwhile: nothing to keep, move straight in.
    r = move(d, from, to);
    if (!r.ok() && !lost(r)) drop_from();
    return r.ok() ? rr : stopped(rr, ReplaceStage::kMoveIn, r);
  }
  if (!r.ok()) {
    if (!lost(r)) drop_from();
    return stopped(rr, ReplaceStage::kMoveAside, r);
  }

  r = move(d, from, to);
  if (!r.ok()) {
    rr = stopped(rr, ReplaceStage::kMoveIn, r);
    if (lost(r)) {
      rr.old_left_aside = true;
      return rr;
    }
    Result back = move(d, aside, to);
    if (!back.ok()) {
      rr.old_left_aside = true;
      if (lost(back)) rr.link_lost = true;
      return rr;
    }
    drop_from();
    return rr;
  }
  Result gone = remove(d, aside);
  if (!gone.ok()) {
    rr.aside_not_removed = true;
    if (lost(gone)) rr.link_lost = true;
  }
  return rr;
}

}  // namespace

int replace_side_path(const char* path, ReplaceSide side, char* out, size_t capacity) {
  const char* slash = strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  size_t dir_length = static_cast<size_t>(name - path);
  size_t name_length = strlen(name);
  if (name_length == 0 || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return -1;
  const char* suffix = suffix_for(side);
  size_t length = dir_length + 1 + name_length + strlen(suffix);
  if (length + 1 > capacity) return -1;
  std::memcpy(out, path, dir_length);
  out[dir_length] = '.';
  std::memcpy(out + dir_length + 1, name, name_length);
  std::memcpy(out + dir_length + 1 + name_length, suffix, strlen(suffix) + 1);
  return static_cast<int>(length);
}

bool parse_replace_side_name(const std::string& name, ReplaceSide* side, std::string* target) {
  const size_t suffix_length = strlen(kNewSuffix);  // both suffixes are as long
  if (name.size() < 2 + suffix_length || name[0] != '.') return false;
  std::string tail = name.substr(name.size() - suffix_length);
  if (tail == kNewSuffix) {
    *side = ReplaceSide::kNew;
  } else if (tail == kOldSuffix) {
    *side = ReplaceSide::kOld;
  } else {
    return false;
  }
  *target = name.substr(1, name.size() - 1 - suffix_length);
  return true;
}

ReplaceResult safe_replace(Device& d, const char* path, int32_t size, DataSource& source,
                           ReplaceTarget target, const DeviceEvents* events) {
  ReplaceResult rr;
  char temporary[kSidePathCapacity];
  if (replace_side_path(path, ReplaceSide::kNew, temporary, sizeof temporary) < 0)
    return stopped(rr, ReplaceStage::kUpload, failed_at(Step::kCommand, kStatusPathTooLong));
  rr.transfer = put_file(d, temporary, size, source, events);
  if (!rr.transfer.result.ok()) {
    Result r = rr.transfer.result;
    rr = stopped(rr, ReplaceStage::kUpload, r);
    if (r.step == Step::kSource) {
      rr.link_lost = true;  // the device still waits for data: only closing the link ends it
    } else if (!lost(r) && r.step == Step::kData) {
      // A device that writes in place may have left part of the file: it goes.
      remove(d, temporary);
    }
    return rr;
  }
  TransferResult transfer = rr.transfer;
  rr = move_in(d, temporary, path, target, true);
  rr.transfer = transfer;
  if (!rr.result.ok() && rr.stage == ReplaceStage::kNone) rr.stage = ReplaceStage::kMoveIn;
  return rr;
}

ReplaceResult safe_move_over(Device& d, const char* from, const char* to, ReplaceTarget target) {
  return move_in(d, from, to, target, false);
}

std::vector<RepairAction> plan_replace_repairs(const std::string& dir,
                                               const std::vector<std::string>& entry_names) {
  std::set<std::string> present(entry_names.begin(), entry_names.end());
  std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  std::vector<RepairAction> plan;
  for (const std::string& name : entry_names) {
    ReplaceSide side;
    std::string target;
    if (!parse_replace_side_name(name, &side, &target)) continue;
    RepairAction a;
    a.side_path = prefix + name;
    a.target_path = prefix + target;
    a.restored = side == ReplaceSide::kOld && !present.count(target);
    plan.push_back(a);
  }
  return plan;
}

Result apply_replace_repair(Device& d, RepairAction& a) {
  a.result = a.restored ? move(d, a.side_path.c_str(), a.target_path.c_str())
                        : remove(d, a.side_path.c_str());
  return a.result;
}

int repair_replace_leftovers(Device& d, const std::string& dir,
                             const std::vector<std::string>& entry_names,
                             std::vector<RepairAction>* actions) {
  int first_failure = 0;
  for (RepairAction& a : plan_replace_repairs(dir, entry_names)) {
    apply_replace_repair(d, a);
    if (actions) actions->push_back(a);
    if (!a.result.ok() && first_failure == 0) first_failure = a.result.code;
    if (lost(a.result)) break;
  }
  return first_failure;
}

}  // namespace rq
