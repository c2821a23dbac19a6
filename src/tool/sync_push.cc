// sync's plan for a push: the local tree walked whole first (put -r's rules), then each
// device directory listed and compared with it, one ls per file for its size.
#include <map>
#include <set>
#include <vector>

#include "device/listing.h"
#include "device/safe_replace.h"
#include "link/protocol.h"
#include "link/status.h"
#include "local/platform.h"
#include "local/whole_file.h"
#include "tool/connect.h"
#include "tool/file_commands.h"
#include "tool/sync_plan.h"
#include "tool/tree_copy.h"

namespace rq {

namespace {

const std::string kWhat = "sync";

// One entry of a local directory, as the walk found it.
struct LocalEntry {
  std::string name, path;
  bool directory = false;
  int64_t size = 0;
};
// Each directory's entries in name order, by its path relative to the tree's top ("" the top).
using LocalTree = std::map<std::string, std::vector<LocalEntry>>;

std::string parent_of(const std::string& relative) {
  size_t slash = relative.rfind('/');
  return slash == std::string::npos ? "" : relative.substr(0, slash);
}

std::string device_parent(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return trimmed.substr(0, slash);
}

// What the device can hold of one local entry: not a name the safe replace keeps for
// itself, not a file larger than put can announce, not a path (with the temporary name a
// file is sent under) longer than the device keeps.
int check_sendable(Planner& p, const CopyItem& item, const std::string& name,
                   const std::string& device_path) {
  if (is_replace_side_name(name))
    return local_fail(p.t, 0,
                      kWhat + ": " + item.from +
                          ": names like .NAME.rq-new and .NAME.rq-old are kept on the device for "
                          "replacing files safely");
  if (!item.directory && item.size > static_cast<int64_t>(kMaxSendableFileSize))
    return local_fail(p.t, 0,
                      kWhat + ": " + item.from + " is too large: " + std::to_string(item.size) +
                          " bytes, at most " + std::to_string(kMaxSendableFileSize) +
                          " can be sent");
  char side[kMaxPayload];
  int length = item.directory
                   ? static_cast<int>(device_path.size())
                   : replace_side_path(device_path.c_str(), ReplaceSide::kNew, side, sizeof side);
  if (length >= 0 && static_cast<size_t>(length) <= kMaxDevicePath) return kExitOk;
  std::string why = item.directory ? "" : " with the temporary name it is sent under";
  return tool_fail(p.t, kExitDevice, FailStep::kStatus, kStatusPathTooLong,
                   kWhat + ": " + device_path + why + " is longer than the device keeps (" +
                       std::to_string(kMaxDevicePath) + " bytes)");
}

// The device's answer for path: *found false when it is missing; listing holds a file's
// record or a directory's entries.
int list_device(Planner& p, const std::string& path, bool* found, LsListing& listing) {
  Result r = device_list(p.t.device, path, listing);
  *found = r.ok();
  if (r.ok() || (r.code == kStatusMissing && r.step == Step::kStatus && !link_failed(p.t)))
    return kExitOk;
  return device_fail(p.t, kWhat + ": cannot list " + path, r);
}

int device_clash(Planner& p, const std::string& device_path, const std::string& local,
                 bool device_has_directory) {
  std::string text = device_has_directory
                         ? device_path + " is a directory on the device and " + local + " a file"
                         : device_path + " is a file on the device and " + local + " a directory";
  return tool_fail(p.t, kExitDevice, FailStep::kStatus, kStatusExists,
                   kWhat + ": " + text + " (--delete replaces it)");
}

int plan_device_dir(Planner& p, const LocalTree& tree, const std::string& relative,
                    const std::string& device_dir, const LsListing* listing);

// What the device holds under a local entry's name: path, or read_path when a cut left it
// aside there (the plan puts it back first); known_missing when the listing says it is not there.
struct DeviceSide {
  std::string path, read_path;
  bool known_missing = false;
};

// One local file against what the device holds under its name.
int plan_push_file(Planner& p, const LocalEntry& e, const DeviceSide& d) {
  const std::string& path = d.path;
  bool found = false;
  LsListing l;
  if (!d.known_missing && list_device(p, d.read_path, &found, l) != kExitOk)
    return p.t.failure.status;
  if (!found) {
    p.add(SyncActionKind::kCopy, SyncReason::kNew, path, e.path).size = e.size;
    return kExitOk;
  }
  if (!l.is_file) {
    if (!p.a.remove_extras) return device_clash(p, path, e.path, true);
    p.add(SyncActionKind::kDelete, SyncReason::kType, path, "", true);
    p.add(SyncActionKind::kCopy, SyncReason::kType, path, e.path).size = e.size;
    return kExitOk;
  }
  SyncReason reason = SyncReason::kNone;
  if (l.record.size != e.size) {
    reason = SyncReason::kSize;
  } else if (p.a.checksum) {
    bool differ = false;
    if (sync_compare(p.t, e.path, d.read_path, &differ) != kExitOk) return p.t.failure.status;
    if (differ) reason = SyncReason::kContent;
  }
  if (reason == SyncReason::kNone) {
    ++p.s.unchanged;
    return kExitOk;
  }
  SyncAction& copy = p.add(SyncActionKind::kCopy, reason, path, e.path);
  copy.size = e.size;
  copy.destination_exists = true;
  return kExitOk;
}

// One local directory against what the device holds under its name.
int plan_push_dir(Planner& p, const LocalTree& tree, const LocalEntry& e,
                  const std::string& relative, const DeviceSide& d) {
  const std::string& path = d.path;
  bool found = false;
  LsListing l;
  if (!d.known_missing && list_device(p, d.read_path, &found, l) != kExitOk)
    return p.t.failure.status;
  if (found && !l.is_file) return plan_device_dir(p, tree, relative, path, &l);
  if (found) {
    if (!p.a.remove_extras) return device_clash(p, path, e.path, false);
    p.add(SyncActionKind::kDelete, SyncReason::kType, path);
    p.add(SyncActionKind::kMakeDir, SyncReason::kType, path);
  } else {
    p.add(SyncActionKind::kMakeDir, SyncReason::kNew, path);
  }
  return plan_device_dir(p, tree, relative, path, nullptr);
}

// What a device directory holds once the leftovers of a cut are put right: each name,
// whether it is a directory, and for a name a cut left aside, where it is read until then.
struct DeviceDir {
  std::map<std::string, bool> directory;
  std::map<std::string, std::string> aside;
};

// Reads a device directory's listing into d and plans the repair of its leftovers.
int read_device_dir(Planner& p, const std::string& device_dir, const LsListing& listing,
                    DeviceDir& d) {
  std::vector<std::string> names;
  std::map<std::string, bool> directory;
  if (check_listed_names(p.t, kWhat, listing) != kExitOk) return kExitDevice;
  for (const LsEntry& e : listing.entries) {
    if (e.name == "." || e.name == "..") continue;
    names.push_back(e.name);
    directory[e.name] = e.directory;
    if (!is_replace_side_name(e.name)) d.directory[e.name] = e.directory;
  }
  for (const RepairAction& r : plan_replace_repairs(device_dir, names)) {
    bool is_directory = directory[last_name(r.side_path)];
    if (!r.restored) {
      p.add(SyncActionKind::kRemoveLeftover, SyncReason::kLeftover, r.side_path, r.side_path,
            is_directory);
      continue;
    }
    p.add(SyncActionKind::kRestore, SyncReason::kLeftover, r.target_path, r.side_path);
    d.directory[last_name(r.target_path)] = is_directory;
    d.aside[last_name(r.target_path)] = r.side_path;
  }
  return kExitOk;
}

// A device directory (listing: its entries; nullptr when this sync makes it) against the
// local directory at relative: leftovers of a cut first, then what the source lacks, then
// each local entry.
int plan_device_dir(Planner& p, const LocalTree& tree, const std::string& relative,
                    const std::string& device_dir, const LsListing* listing) {
  static const std::vector<LocalEntry> kNone;
  auto found = tree.find(relative);
  const std::vector<LocalEntry>& local = found == tree.end() ? kNone : found->second;
  DeviceDir there;
  if (listing) {
    // Names beyond a cut are not seen: each local entry is then looked up by itself, and
    // nothing can be told to be extra.
    if (listing->may_be_cut && p.a.remove_extras)
      return cut_listing_fail(p.t, kWhat + " --delete", *listing);
    if (read_device_dir(p, device_dir, *listing, there) != kExitOk) return p.t.failure.status;
  }
  if (p.a.remove_extras) {
    std::set<std::string> wanted;
    for (const LocalEntry& e : local) wanted.insert(e.name);
    for (const auto& [name, directory] : there.directory)
      if (!wanted.count(name))
        p.add(SyncActionKind::kDelete, SyncReason::kExtra, join_device_path(device_dir, name), "",
              directory);
  }
  for (const LocalEntry& e : local) {
    DeviceSide d;
    d.path = join_device_path(device_dir, e.name);
    auto left = there.aside.find(e.name);
    d.read_path = left == there.aside.end() ? d.path : left->second;
    // A name the whole listing lacks is missing; any other is asked for by itself.
    bool complete = listing == nullptr || !listing->may_be_cut;
    d.known_missing = complete && !there.directory.count(e.name);
    std::string child = relative.empty() ? e.name : relative + "/" + e.name;
    int status = e.directory ? plan_push_dir(p, tree, e, child, d) : plan_push_file(p, e, d);
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace

int plan_push(Planner& p) {
  Tool& t = p.t;
  const SyncArgs& a = p.a;
  LocalStat top = local_stat(a.source);  // a link named on the command line is followed
  if (top.kind == LocalKind::kMissing)
    return local_fail(t, top.error,
                      kWhat + ": cannot open " + a.source + ": " + local_error_text(top.error));
  if (top.kind != LocalKind::kDirectory)
    return local_fail(t, 0, kWhat + ": " + a.source + " is not a directory");
  if (!listing_can_carry(a.dest))
    return usage_fail(
        t, kWhat + ": " + a.dest + ": the device cannot list a name with the bytes 1 or 2");
  if (check_device_path(t, a.dest) != 0) return kExitUsage;
  // The local side first, whole: nothing is sent when any of it cannot be.
  std::vector<CopyItem> items;
  if (walk_local_tree(t, kWhat, a.source, top, a.follow_links, items) != kExitOk)
    return t.failure.status;
  LocalTree tree;
  tree[""];
  for (const CopyItem& item : items) {
    std::string name = last_name(item.to);
    std::string device_path = join_device_path(a.dest, item.to);
    if (check_sendable(p, item, name, device_path) != kExitOk) return t.failure.status;
    tree[parent_of(item.to)].push_back(LocalEntry{name, item.from, item.directory, item.size});
    if (item.directory) tree[item.to];
  }

  if (tool_connect(t) != 0) return kExitLink;
  bool found = false;
  LsListing l;
  if (list_device(p, a.dest, &found, l) != kExitOk) return t.failure.status;
  if (found && !l.is_file) return plan_device_dir(p, tree, "", a.dest, &l);
  if (found) {
    if (!a.remove_extras) return device_clash(p, a.dest, a.source, false);
    p.add(SyncActionKind::kDelete, SyncReason::kType, a.dest);
    p.add(SyncActionKind::kMakeDir, SyncReason::kType, a.dest);
    return plan_device_dir(p, tree, "", a.dest, nullptr);
  }
  // A missing destination is made, as cp -r makes it, when its parent is a directory.
  std::string parent = device_parent(a.dest);
  LsListing up;
  if (list_device(p, parent, &found, up) != kExitOk) return t.failure.status;
  if (!found || up.is_file)
    return tool_fail(
        t, kExitDevice, FailStep::kStatus, kStatusMissing,
        kWhat + ": " + a.dest + ": no directory " + parent + " on the device to make it in");
  p.add(SyncActionKind::kMakeDir, SyncReason::kNew, a.dest);
  return plan_device_dir(p, tree, "", a.dest, nullptr);
}

}  // namespace rq
