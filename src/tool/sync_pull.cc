// sync's plan for a pull: each device directory listed and compared with the local one,
// one ls per file whose size is compared; device names checked as get -r checks them.
#include <cerrno>
#include <map>
#include <set>
#include <vector>

#include "device/safe_replace.h"
#include "local/platform.h"
#include "tool/connect.h"
#include "tool/file_commands.h"
#include "tool/sync_plan.h"
#include "tool/tree_copy.h"

namespace rq {

namespace {

const std::string kWhat = "sync";
// Deeper than this is taken for a device that lists a directory inside itself.
constexpr int kMaxDepth = 64;

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
  return local_fail(p.t, EEXIST, kWhat + ": " + text + " (--delete replaces it)");
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
  if (!r.ok()) return device_fail(p.t, kWhat + ": cannot list " + d.read_path, r);
  if (!l.is_file)
    return tool_fail(
        p.t, kExitDevice, FailStep::kReply, 0,
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
  if (!r.ok()) return device_fail(p.t, kWhat + ": cannot list " + d.read_path, r);
  if (l.is_file)
    return tool_fail(
        p.t, kExitDevice, FailStep::kReply, 0,
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
    return tool_fail(t, kExitDevice, FailStep::kReply, 0,
                     kWhat + ": " + device_dir + ": too deeply nested");
  if (listing.may_be_cut) {
    if (p.a.remove_extras) return cut_listing_fail(t, kWhat + " --delete", listing);
    p.s.possibly_incomplete.push_back(device_dir);
    tool_warn(t, kWhat + ": " + cut_listing_text(listing) + ": names beyond it are not synced");
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
      return local_fail(
          t, error,
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
        return local_fail(t, 0, kWhat + ": " + path + " is a symbolic link (-L follows links)");
      st = local_stat(path);  // a link to nothing reads as missing: the download writes through
    }
    if (st.kind == LocalKind::kOther)
      return local_fail(t, 0, kWhat + ": " + path + " is neither a file nor a directory");
    int status =
        d.directory ? plan_pull_dir(p, d, path, st, depth + 1) : plan_pull_file(p, d, path, st);
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace

int plan_pull(Planner& p) {
  Tool& t = p.t;
  const SyncArgs& a = p.a;
  if (check_device_path(t, a.source) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  LsListing top;
  Result r = device_list(t.device, a.source, top);
  if (!r.ok()) return device_fail(t, kWhat + ": cannot list " + a.source, r);
  if (top.is_file)
    return usage_fail(
        t, kWhat + ": " + a.source + " is a file on the device; sync copies directories");
  LocalStat dest = local_stat(a.dest);  // a link named on the command line is followed
  if (dest.kind == LocalKind::kDirectory) return plan_local_dir(p, a.source, top, a.dest, true, 0);
  if (dest.kind == LocalKind::kFile) {
    if (!a.remove_extras) return local_clash(p, a.dest, a.source, false);
    p.add(SyncActionKind::kDelete, SyncReason::kType, a.dest);
    p.add(SyncActionKind::kMakeDir, SyncReason::kType, a.dest);
    return plan_local_dir(p, a.source, top, a.dest, false, 0);
  }
  if (dest.kind == LocalKind::kOther)
    return local_fail(t, 0, kWhat + ": " + a.dest + " is neither a file nor a directory");
  // A missing destination is made, as cp -r makes it, when its parent is a directory.
  std::string parent = local_parent(a.dest);
  if (dest.error != ENOENT || local_stat(parent).kind != LocalKind::kDirectory)
    return local_fail(t, dest.error,
                      kWhat + ": " + a.dest + ": no directory " + parent + " to make it in");
  p.add(SyncActionKind::kMakeDir, SyncReason::kNew, a.dest);
  return plan_local_dir(p, a.source, top, a.dest, false, 0);
}

}  // namespace rq
