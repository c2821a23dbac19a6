#include "tool/sync_plan.h"

#include <cerrno>
#include <map>
#include <set>
#include <vector>

#include "device/file_transfer.h"
#include "device/listing.h"
#include "device/safe_replace.h"
#include "link/protocol.h"
#include "link/status.h"
#include "local/platform.h"
#include "local/stream.h"
#include "local/whole_file.h"
#include "tool/connect.h"
#include "tool/file_commands.h"
#include "tool/transfer_commands.h"
#include "tool/tree_copy.h"

namespace rq {

namespace {

const std::string kWhat = "sync";
// Deeper than this is taken for a device that lists a directory inside itself.
constexpr int kMaxDepth = 64;

struct Planner {
  Tool& t;
  const SyncArgs& a;
  SyncSummary& s;

  SyncAction& add(SyncActionKind kind, SyncReason reason, const std::string& path,
                  const std::string& from = "", bool directory = false) {
    SyncAction action;
    action.kind = kind;
    action.reason = reason;
    action.path = path;
    action.from = from;
    action.directory = directory || kind == SyncActionKind::kMakeDir;
    s.actions.push_back(action);
    return s.actions.back();
  }
};

bool is_side_name(const std::string& name) {
  ReplaceSide side;
  std::string target;
  return parse_replace_side_name(name, &side, &target);
}

bool is_dot_name(const std::string& name) { return name.empty() || name == "." || name == ".."; }

// ---- push: a local tree to the device ----

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
  if (is_side_name(name))
    return tool_fail(p.t, kExitLocalFile, "local", 0,
                     kWhat + ": " + item.from +
                         ": names like .NAME.rq-new and .NAME.rq-old are kept on the device for "
                         "replacing files safely");
  if (!item.directory && item.size > static_cast<int64_t>(kMaxSendableFileSize))
    return tool_fail(p.t, kExitLocalFile, "local", 0,
                     kWhat + ": " + item.from + " is too large: " + std::to_string(item.size) +
                         " bytes, at most " + std::to_string(kMaxSendableFileSize) +
                         " can be sent");
  char side[kMaxPayload];
  int length = item.directory
                   ? static_cast<int>(device_path.size())
                   : replace_side_path(device_path.c_str(), ReplaceSide::kNew, side, sizeof side);
  if (length >= 0 && static_cast<size_t>(length) <= kMaxDevicePath) return kExitOk;
  std::string why = item.directory ? "" : " with the temporary name it is sent under";
  return tool_fail(p.t, kExitDevice, "status", kStatusPathTooLong,
                   kWhat + ": " + device_path + why + " is longer than the device keeps (" +
                       std::to_string(kMaxDevicePath) + " bytes)");
}

// The device's answer for path: *found false when it is missing; listing holds a file's
// record or a directory's entries.
int list_device(Planner& p, const std::string& path, bool* found, LsListing& listing) {
  Result r = device_list(p.t.device, path, listing);
  *found = r.ok();
  if (r.ok() || (r.code == kStatusMissing && r.step == Step::kStatus && !p.t.link_failed))
    return kExitOk;
  return device_fail(p.t, kWhat + ": ls " + path, r);
}

int device_clash(Planner& p, const std::string& device_path, const std::string& local,
                 bool device_has_directory) {
  std::string text = device_has_directory
                         ? device_path + " is a directory on the device and " + local + " a file"
                         : device_path + " is a file on the device and " + local + " a directory";
  return tool_fail(p.t, kExitDevice, "status", kStatusExists,
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

// A device directory (listing: its entries; nullptr when this sync makes it) against the
// local directory at relative: leftovers of a cut first, then what the source lacks, then
// each local entry.
int plan_device_dir(Planner& p, const LocalTree& tree, const std::string& relative,
                    const std::string& device_dir, const LsListing* listing) {
  std::set<std::string> there;  // the names the device holds, once leftovers are put right
  std::map<std::string, std::string> aside;  // of those, the ones a cut left aside: where
  bool complete = listing == nullptr;
  if (listing) {
    // Names beyond a cut are not seen: each local entry is then looked up by itself, and
    // nothing can be told to be extra.
    if (listing->may_be_cut && p.a.remove_extras)
      return cut_listing_fail(p.t, kWhat + " --delete", *listing);
    complete = !listing->may_be_cut;
    std::vector<std::string> names;
    std::map<std::string, bool> directory;
    for (const LsEntry& e : listing->entries) {
      if (e.name == "." || e.name == "..") continue;
      // Every name is joined to the directory's path for a command: one that is empty or
      // holds a slash would make that command act somewhere else.
      if (e.name.empty() || e.name.find('/') != std::string::npos)
        return tool_fail(
            p.t, kExitDevice, "reply", 0,
            kWhat + ": the listing of " + device_dir + " holds an empty name or one with a slash");
      names.push_back(e.name);
      directory[e.name] = e.directory;
      if (!is_side_name(e.name)) there.insert(e.name);
    }
    for (const RepairAction& r : plan_replace_repairs(device_dir, names)) {
      if (r.restored) {
        p.add(SyncActionKind::kRestore, SyncReason::kLeftover, r.target_path, r.side_path);
        there.insert(last_name(r.target_path));
        aside[last_name(r.target_path)] = r.side_path;
      } else {
        p.add(SyncActionKind::kRemoveLeftover, SyncReason::kLeftover, r.side_path, r.side_path,
              directory[last_name(r.side_path)]);
      }
    }
    if (p.a.remove_extras) {
      std::set<std::string> wanted;
      auto local = tree.find(relative);
      if (local != tree.end())
        for (const LocalEntry& e : local->second) wanted.insert(e.name);
      for (const LsEntry& e : listing->entries)
        if (!is_dot_name(e.name) && !is_side_name(e.name) && !wanted.count(e.name))
          p.add(SyncActionKind::kDelete, SyncReason::kExtra, join_device_path(device_dir, e.name),
                "", e.directory);
      for (const RepairAction& r : plan_replace_repairs(device_dir, names))
        if (r.restored && !wanted.count(last_name(r.target_path)))
          p.add(SyncActionKind::kDelete, SyncReason::kExtra, r.target_path, "",
                directory[last_name(r.side_path)]);
    }
  }
  auto local = tree.find(relative);
  if (local == tree.end()) return kExitOk;
  for (const LocalEntry& e : local->second) {
    DeviceSide d;
    d.path = join_device_path(device_dir, e.name);
    auto left = aside.find(e.name);
    d.read_path = left == aside.end() ? d.path : left->second;
    // A name the whole listing lacks is missing; any other is asked for by itself.
    d.known_missing = complete && !there.count(e.name);
    std::string child = relative.empty() ? e.name : relative + "/" + e.name;
    int status = e.directory ? plan_push_dir(p, tree, e, child, d) : plan_push_file(p, e, d);
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

int plan_push(Planner& p) {
  Tool& t = p.t;
  const SyncArgs& a = p.a;
  LocalStat top = local_stat(a.source);  // a link named on the command line is followed
  if (top.kind == LocalKind::kMissing)
    return tool_fail(t, kExitLocalFile, "local", top.error,
                     kWhat + ": cannot open " + a.source + ": " + local_error_text(top.error));
  if (top.kind != LocalKind::kDirectory)
    return tool_fail(t, kExitLocalFile, "local", 0,
                     kWhat + ": " + a.source + " is not a directory");
  if (!listing_can_carry(a.dest))
    return tool_fail(
        t, kExitUsage, "usage", 0,
        kWhat + ": " + a.dest + ": the device cannot list a name with the bytes 1 or 2");
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
        t, kExitDevice, "status", kStatusMissing,
        kWhat + ": " + a.dest + ": no directory " + parent + " on the device to make it in");
  p.add(SyncActionKind::kMakeDir, SyncReason::kNew, a.dest);
  return plan_device_dir(p, tree, "", a.dest, nullptr);
}

// ---- pull: a device tree to a local directory ----

std::string local_parent(const std::string& path) {
  bool windows = local_names_windows();
  auto separator = [windows](char c) { return c == '/' || (windows && c == '\\'); };
  std::string trimmed = path;
  while (trimmed.size() > 1 && separator(trimmed.back())) trimmed.pop_back();
  size_t end = trimmed.size();
  while (end > 0 && !separator(trimmed[end - 1])) --end;
  if (end == 0) return ".";
  if (end == 1) return trimmed.substr(0, 1);
  return trimmed.substr(0, end - 1);
}

int local_clash(Planner& p, const std::string& local, const std::string& device_path,
                bool local_is_directory) {
  std::string text = local_is_directory
                         ? local + " is a directory and " + device_path + " a file on the device"
                         : local + " is a file and " + device_path + " a directory on the device";
  return tool_fail(p.t, kExitLocalFile, "local", EEXIST,
                   kWhat + ": " + text + " (--delete replaces it)");
}

// A device entry to fetch: its name here, and where it is read (an aside file whose target
// is missing stands for the target: it is what the device holds under that name).
struct DeviceEntry {
  std::string name, read_path;
  bool directory = false;
};

std::vector<DeviceEntry> device_entries(const std::string& device_dir, const LsListing& l) {
  std::set<std::string> names;
  for (const LsEntry& e : l.entries) names.insert(e.name);
  std::vector<DeviceEntry> entries;
  for (const LsEntry& e : l.entries) {
    if (e.name == "." || e.name == "..") continue;
    ReplaceSide side;
    std::string target;
    std::string read_path = join_device_path(device_dir, e.name);
    if (!parse_replace_side_name(e.name, &side, &target)) {
      entries.push_back(DeviceEntry{e.name, read_path, e.directory});
    } else if (side == ReplaceSide::kOld && !names.count(target)) {
      entries.push_back(DeviceEntry{target, read_path, e.directory});
    }
  }
  return entries;
}

int plan_local_dir(Planner& p, const std::string& device_dir, const LsListing& listing,
                   const std::string& local_dir, bool local_exists, int depth);

// One device file against what the local directory holds under its name.
int plan_pull_file(Planner& p, const DeviceEntry& d, const std::string& path,
                   const LocalStat& here) {
  if (here.kind == LocalKind::kMissing) {
    p.add(SyncActionKind::kCopy, SyncReason::kNew, path, d.read_path);
    return kExitOk;
  }
  if (here.kind == LocalKind::kDirectory) {
    if (!p.a.remove_extras) return local_clash(p, path, d.read_path, true);
    p.add(SyncActionKind::kDelete, SyncReason::kType, path, "", true);
    p.add(SyncActionKind::kCopy, SyncReason::kType, path, d.read_path);
    return kExitOk;
  }
  LsListing l;  // the listing carries no sizes: one ls for the file's record
  Result r = device_list(p.t.device, d.read_path, l);
  if (!r.ok()) return device_fail(p.t, kWhat + ": ls " + d.read_path, r);
  if (!l.is_file)
    return tool_fail(
        p.t, kExitDevice, "reply", 0,
        kWhat + ": " + d.read_path + " was listed as a file and answers as a directory");
  SyncReason reason = SyncReason::kNone;
  if (l.record.size != here.size) {
    reason = SyncReason::kSize;
  } else if (p.a.checksum) {
    bool differ = false;
    if (sync_compare(p.t, path, d.read_path, &differ) != kExitOk) return p.t.failure.status;
    if (differ) reason = SyncReason::kContent;
  }
  if (reason == SyncReason::kNone) {
    ++p.s.unchanged;
    return kExitOk;
  }
  SyncAction& copy = p.add(SyncActionKind::kCopy, reason, path, d.read_path);
  copy.size = l.record.size;
  copy.destination_exists = true;
  return kExitOk;
}

// One device directory against what the local directory holds under its name.
int plan_pull_dir(Planner& p, const DeviceEntry& d, const std::string& path, const LocalStat& here,
                  int depth) {
  LsListing l;
  Result r = device_list(p.t.device, d.read_path, l);
  if (!r.ok()) return device_fail(p.t, kWhat + ": ls " + d.read_path, r);
  if (l.is_file)
    return tool_fail(
        p.t, kExitDevice, "reply", 0,
        kWhat + ": " + d.read_path + " was listed as a directory and answers as a file");
  if (here.kind == LocalKind::kDirectory)
    return plan_local_dir(p, d.read_path, l, path, true, depth);
  if (here.kind == LocalKind::kFile) {
    if (!p.a.remove_extras) return local_clash(p, path, d.read_path, false);
    p.add(SyncActionKind::kDelete, SyncReason::kType, path);
    p.add(SyncActionKind::kMakeDir, SyncReason::kType, path);
  } else {
    p.add(SyncActionKind::kMakeDir, SyncReason::kNew, path);
  }
  return plan_local_dir(p, d.read_path, l, path, false, depth);
}

// A device directory against the local one (local_exists: false when this sync makes it):
// what the source lacks first, then each device entry.
int plan_local_dir(Planner& p, const std::string& device_dir, const LsListing& listing,
                   const std::string& local_dir, bool local_exists, int depth) {
  Tool& t = p.t;
  if (depth > kMaxDepth)
    return tool_fail(t, kExitDevice, "reply", 0, kWhat + ": " + device_dir + ": too deeply nested");
  if (listing.may_be_cut) {
    if (p.a.remove_extras) return cut_listing_fail(t, kWhat + " --delete", listing);
    p.s.possibly_incomplete.push_back(device_dir);
    if (t.text_errors)
      fprintf(t.err, "rqtool: %s: %s: names beyond it are not synced\n", kWhat.c_str(),
              cut_listing_text(listing).c_str());
  }
  std::vector<DeviceEntry> entries = device_entries(device_dir, listing);
  std::vector<std::string> names;
  for (const DeviceEntry& d : entries) names.push_back(d.name);
  if (check_local_names(t, kWhat, device_dir, names) != kExitOk) return t.failure.status;

  std::map<std::string, LocalStat> here;
  if (local_exists) {
    std::vector<std::string> local_names;
    int error = local_list_dir(local_dir, &local_names);
    if (error)
      return tool_fail(
          t, kExitLocalFile, "local", error,
          kWhat + ": cannot read directory " + local_dir + ": " + local_error_text(error));
    for (const std::string& name : local_names)
      here[name] = local_lstat(join_local(local_dir, name));
  }
  if (p.a.remove_extras) {
    std::set<std::string> wanted(names.begin(), names.end());
    // A link goes as a link, never what it leads to.
    for (const auto& [name, st] : here)
      if (!wanted.count(name))
        p.add(SyncActionKind::kDelete, SyncReason::kExtra, join_local(local_dir, name), "",
              st.kind == LocalKind::kDirectory);
  }
  for (const DeviceEntry& d : entries) {
    std::string path = join_local(local_dir, d.name);
    LocalStat st;
    st.kind = LocalKind::kMissing;
    if (auto found = here.find(d.name); found != here.end()) st = found->second;
    if (st.kind == LocalKind::kLink) {
      if (!p.a.follow_links)
        return tool_fail(t, kExitLocalFile, "local", 0,
                         kWhat + ": " + path + " is a symbolic link (-L follows links)");
      st = local_stat(path);  // a link to nothing reads as missing: the download writes through
    }
    if (st.kind == LocalKind::kOther)
      return tool_fail(t, kExitLocalFile, "local", 0,
                       kWhat + ": " + path + " is neither a file nor a directory");
    int status =
        d.directory ? plan_pull_dir(p, d, path, st, depth + 1) : plan_pull_file(p, d, path, st);
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

int plan_pull(Planner& p) {
  Tool& t = p.t;
  const SyncArgs& a = p.a;
  if (check_device_path(t, a.source) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  LsListing top;
  Result r = device_list(t.device, a.source, top);
  if (!r.ok()) return device_fail(t, kWhat + ": ls " + a.source, r);
  if (top.is_file)
    return tool_fail(t, kExitUsage, "usage", 0,
                     kWhat + ": " + a.source + " is a file on the device; sync copies directories");
  LocalStat dest = local_stat(a.dest);  // a link named on the command line is followed
  if (dest.kind == LocalKind::kDirectory) return plan_local_dir(p, a.source, top, a.dest, true, 0);
  if (dest.kind == LocalKind::kFile) {
    if (!a.remove_extras) return local_clash(p, a.dest, a.source, false);
    p.add(SyncActionKind::kDelete, SyncReason::kType, a.dest);
    p.add(SyncActionKind::kMakeDir, SyncReason::kType, a.dest);
    return plan_local_dir(p, a.source, top, a.dest, false, 0);
  }
  if (dest.kind == LocalKind::kOther)
    return tool_fail(t, kExitLocalFile, "local", 0,
                     kWhat + ": " + a.dest + " is neither a file nor a directory");
  // A missing destination is made, as cp -r makes it, when its parent is a directory.
  std::string parent = local_parent(a.dest);
  if (dest.error != ENOENT || local_stat(parent).kind != LocalKind::kDirectory)
    return tool_fail(t, kExitLocalFile, "local", dest.error,
                     kWhat + ": " + a.dest + ": no directory " + parent + " to make it in");
  p.add(SyncActionKind::kMakeDir, SyncReason::kNew, a.dest);
  return plan_local_dir(p, a.source, top, a.dest, false, 0);
}

}  // namespace

int sync_compare(Tool& t, const std::string& local, const std::string& device_path, bool* differ) {
  std::string what = kWhat + ": compare " + local + " " + device_path;
  StreamSource source;
  LocalFailure f = open_stream_source(source, local);
  if (!f.ok()) return local_source_fail(t, what, local, f);
  CompareSink compare;
  compare.fd = source.fd;
  DataSink sink = compare_sink(compare);
  ProgressView view;
  view.tool = &t;
  DeviceEvents events = view.events();
  TransferResult back = get_file(t.device, device_path.c_str(), sink, &events);
  progress_finish(view.progress);
  if (!back.result.ok()) return device_fail(t, what, back.result);
  if (compare.read_error)
    return tool_fail(t, kExitLocalFile, "local", compare.read_error,
                     what + ": cannot read " + local + ": " + local_error_text(compare.read_error));
  *differ = compare.first_difference >= 0 || back.moved != source.size;
  return kExitOk;
}

int plan_sync(Tool& t, const SyncArgs& a, SyncSummary& s) {
  Planner p{t, a, s};
  return a.pull ? plan_pull(p) : plan_push(p);
}

}  // namespace rq
