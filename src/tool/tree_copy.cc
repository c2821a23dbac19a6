#include "tool/tree_copy.h"

#include <cerrno>
#include <chrono>

#include "device/listing.h"
#include "link/protocol.h"
#include "link/status.h"
#include "local/local_names.h"
#include "local/platform.h"
#include "tool/connect.h"
#include "tool/file_commands.h"
#include "tool/verify.h"

namespace rq {

namespace {

// Deeper than this is taken for a loop the identity check could not see.
constexpr int kMaxDepth = 64;

struct LocalAncestor {
  uint64_t device, inode;
};

bool ends_in_slash(const std::string& path, bool backslash_too) {
  return !path.empty() && (path.back() == '/' || (backslash_too && path.back() == '\\'));
}

// Where a source lands: inside dest under its last name, or at dest itself.
std::string target_for(const std::string& source, const std::string& dest, bool into) {
  std::string name = last_name(source);
  if (!into || name.empty() || name == "." || name == "..") return dest;
  return join_device_path(dest, name);
}

double seconds_since(std::chrono::steady_clock::time_point since) {
  using namespace std::chrono;
  return duration<double>(steady_clock::now() - since).count();
}

// ---- put ----

// Walks a local directory into items (directories before what they hold), device paths
// relative to `to`.
int walk_local(Tool& t, const std::string& what, const std::string& from, const std::string& to,
               bool follow_links, std::vector<LocalAncestor>& ancestors,
               std::vector<CopyItem>& items) {
  if (ancestors.size() > kMaxDepth)
    return tool_fail(t, kExitLocalFile, "local", 0, what + ": " + from + ": too deeply nested");
  std::vector<std::string> names;
  int error = local_list_dir(from, &names);
  if (error)
    return tool_fail(t, kExitLocalFile, "local", error,
                     what + ": cannot read directory " + from + ": " + local_error_text(error));
  for (const std::string& name : names) {
    std::string path = join_local(from, name);
    std::string device_path = join_device_path(to, name);
    if (!listing_can_carry(name))
      return tool_fail(
          t, kExitLocalFile, "local", 0,
          what + ": " + path + ": the device cannot list a name with the bytes 1 or 2");
    LocalStat st = local_lstat(path);
    if (st.kind == LocalKind::kLink) {
      if (!follow_links)
        return tool_fail(t, kExitLocalFile, "local", 0,
                         what + ": " + path + " is a symbolic link (-L follows links)");
      st = local_stat(path);
      if (st.kind == LocalKind::kMissing)
        return tool_fail(
            t, kExitLocalFile, "local", st.error,
            what + ": " + path + " is a link to nothing: " + local_error_text(st.error));
    }
    if (st.kind == LocalKind::kMissing)
      return tool_fail(t, kExitLocalFile, "local", st.error,
                       what + ": cannot read " + path + ": " + local_error_text(st.error));
    if (st.kind == LocalKind::kOther)
      return tool_fail(t, kExitLocalFile, "local", 0,
                       what + ": " + path + " is neither a file nor a directory");
    if (st.kind == LocalKind::kFile) {
      items.push_back(CopyItem{path, device_path, false, st.size});
      continue;
    }
    for (const LocalAncestor& up : ancestors)
      if ((st.device || st.inode) && up.device == st.device && up.inode == st.inode)
        return tool_fail(t, kExitLocalFile, "local", 0,
                         what + ": " + path + " leads back into a directory above it");
    items.push_back(CopyItem{path, device_path, true});
    ancestors.push_back(LocalAncestor{st.device, st.inode});
    int status = walk_local(t, what, path, device_path, follow_links, ancestors, items);
    ancestors.pop_back();
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

// The device path must fit one frame beside what its command sends with it.
int check_put_path(Tool& t, const std::string& path) {
  if (path.size() + 1 + kPutSizeFieldLength <= kMaxPayload) return kExitOk;
  return tool_fail(t, kExitUsage, "usage", 0, "put: device path too long: " + path);
}

// Whether the device path names a directory (false when missing or a file).
int device_is_directory(Tool& t, const std::string& path, bool* directory, bool* exists) {
  LsListing l;
  Result r = device_list(t.device, path, l);
  *exists = r.ok();
  *directory = r.ok() && !l.is_file;
  if (r.ok() || (r.code == kStatusMissing && !t.link_failed)) return kExitOk;
  return device_fail(t, "put: ls " + path, r);
}

// One directory on the device: made, or already there (a file in the way is an error).
int ensure_device_directory(Tool& t, const std::string& path) {
  Result r = device_path_command(t.device, kCmdMkdir, path);
  if (r.ok()) return kExitOk;
  if (r.code != kStatusExists || t.link_failed) return device_fail(t, "put: mkdir " + path, r);
  LsListing l;
  Result check = device_list(t.device, path, l);
  if (!check.ok()) return device_fail(t, "put: mkdir " + path, check);
  if (l.is_file)
    return tool_fail(t, kExitDevice, "status", r.code,
                     "put: mkdir " + path + ": a file of that name is in the way");
  return kExitOk;
}

// ---- get ----

}  // namespace

int check_local_names(Tool& t, const std::string& what, const std::string& dir,
                      const std::vector<std::string>& device_names) {
  std::vector<std::string> names;
  for (const std::string& name : device_names) {
    if (name == "." || name == "..") continue;
    std::string path = join_device_path(dir, name);
    // The device's names come from outside: none may climb out of the destination.
    if (name.empty() || name.find('/') != std::string::npos)
      return tool_fail(t, kExitLocalFile, "local", 0,
                       what + ": " + path + ": not a name a local file can have");
    if (local_names_windows()) {
      if (const char* why = windows_name_problem(name))
        return tool_fail(t, kExitLocalFile, "local", 0,
                         what + ": " + path + " cannot be a Windows file name: " + why);
      names.push_back(name);
    }
  }
  size_t first = 0, second = 0;
  if (find_case_clash(names, &first, &second))
    return tool_fail(t, kExitLocalFile, "local", 0,
                     what + ": " + join_device_path(dir, names[first]) + " and " + names[second] +
                         " differ only in case and would be one Windows file");
  return kExitOk;
}

namespace {

int walk_device(Tool& t, const std::string& from, const std::string& to, int depth,
                std::vector<CopyItem>& items) {
  if (depth > kMaxDepth)
    return tool_fail(t, kExitDevice, "reply", 0, "get: " + from + ": too deeply nested");
  LsListing l;
  Result r = device_list(t.device, from, l);
  if (!r.ok()) return device_fail(t, "get: ls " + from, r);
  if (l.is_file) {
    // Listed as a directory entry, answered as a file: copy it as one.
    items.back().directory = false;
    return kExitOk;
  }
  if (l.may_be_cut) return cut_listing_fail(t, "get", l);
  std::vector<std::string> names;
  for (const LsEntry& e : l.entries) names.push_back(e.name);
  if (check_local_names(t, "get", from, names) != kExitOk) return t.failure.status;
  for (const LsEntry& e : l.entries) {
    if (e.name == "." || e.name == "..") continue;
    std::string device_path = join_device_path(from, e.name);
    if (check_device_path(t, device_path) != 0) return kExitUsage;
    std::string local_path = join_local(to, e.name);
    items.push_back(CopyItem{device_path, local_path, e.directory});
    if (!e.directory) continue;
    // By value: the walk below grows items, which would leave a reference into it dangling.
    int status = walk_device(t, device_path, local_path, depth + 1, items);
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

int ensure_local_directory(Tool& t, const std::string& path) {
  int error = local_make_dir(path);
  if (error == 0) return kExitOk;
  if (error == EEXIST && local_stat(path).kind == LocalKind::kDirectory) return kExitOk;
  if (error == EEXIST)
    return tool_fail(t, kExitLocalFile, "local", error,
                     "get: cannot make directory " + path + ": a file of that name is in the way");
  return tool_fail(t, kExitLocalFile, "local", error,
                   "get: cannot make directory " + path + ": " + local_error_text(error));
}

// DEST ending in a slash may be missing: it is made, with its missing parents.
int ensure_local_directories(Tool& t, const std::string& path) {
  bool windows = local_names_windows();
  for (size_t end = 1; end <= path.size(); ++end) {
    bool separator = end < path.size() && (path[end] == '/' || (windows && path[end] == '\\'));
    if (end < path.size() && !separator) continue;
    char last = path[end - 1];
    if (last == '/' || (windows && (last == '\\' || last == ':'))) continue;
    std::string prefix = path.substr(0, end);
    if (local_stat(prefix).kind == LocalKind::kDirectory) continue;
    if (ensure_local_directory(t, prefix) != kExitOk) return t.failure.status;
  }
  return kExitOk;
}

}  // namespace

std::string join_local(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return ends_in_slash(dir, local_names_windows()) ? dir + name : dir + "/" + name;
}

int walk_local_tree(Tool& t, const std::string& what, const std::string& from, const LocalStat& top,
                    bool follow_links, std::vector<CopyItem>& items) {
  std::vector<LocalAncestor> ancestors{LocalAncestor{top.device, top.inode}};
  return walk_local(t, what, from, "", follow_links, ancestors, items);
}

std::string last_name(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] == '/') --end;
  size_t start = path.rfind('/', end == 0 ? 0 : end - 1);
  start = start == std::string::npos || end == 0 ? 0 : start + 1;
  if (end == 0) return "";
  return path.substr(start, end - start);
}

int tool_put_tree(Tool& t, const TreeArgs& a, TransferSummary& s) {
  s.what = "put";
  s.tree = a.recursive || a.sources.size() > 1;
  s.to = a.dest;
  if (a.sources.size() == 1) s.from = a.sources[0];
  if (!listing_can_carry(a.dest))
    return tool_fail(t, kExitUsage, "usage", 0,
                     "put: " + a.dest + ": the device cannot list a name with the bytes 1 or 2");
  bool dest_slash = ends_in_slash(a.dest, false);
  // The local side first: every source and, for directories, the whole tree.
  struct Source {
    std::string path;
    bool directory;
    std::vector<CopyItem> items;  // device paths relative to ""
  };
  std::vector<Source> sources;
  for (const std::string& path : a.sources) {
    LocalStat st = local_stat(path);  // a link named on the command line is followed
    if (st.kind == LocalKind::kMissing)
      return tool_fail(t, kExitLocalFile, "local", st.error,
                       "put: cannot open " + path + ": " + local_error_text(st.error));
    if (st.kind == LocalKind::kOther)
      return tool_fail(t, kExitLocalFile, "local", 0,
                       "put: " + path + " is neither a file nor a directory");
    std::string name = last_name(path);
    if (!listing_can_carry(name))
      return tool_fail(t, kExitLocalFile, "local", 0,
                       "put: " + path + ": the device cannot list a name with the bytes 1 or 2");
    Source src{path, st.kind == LocalKind::kDirectory, {}};
    if (src.directory) {
      if (!a.recursive)
        return tool_fail(t, kExitLocalFile, "local", 0,
                         "put: " + path + " is a directory (use -r)");
      if (walk_local_tree(t, "put", path, st, a.follow_links, src.items) != kExitOk)
        return t.failure.status;
    }
    sources.push_back(std::move(src));
  }

  if (tool_connect(t) != 0) return kExitLink;
  bool dest_directory = false, dest_exists = false;
  if (device_is_directory(t, a.dest, &dest_directory, &dest_exists) != kExitOk)
    return t.failure.status;
  if (a.sources.size() > 1 && !dest_directory && !dest_slash)
    return tool_fail(
        t, kExitUsage, "usage", 0,
        "put: with several sources, " + a.dest + " must be a directory on the device or end in /");
  bool into = dest_directory || dest_slash;
  // Every device path is known now: all must fit before anything is sent.
  std::vector<CopyItem> plan;
  for (Source& src : sources) {
    std::string top = target_for(src.path, a.dest, into);
    plan.push_back(CopyItem{src.path, top, src.directory});
    for (CopyItem& item : src.items) {
      item.to = join_device_path(top, item.to);
      plan.push_back(std::move(item));
    }
  }
  for (const CopyItem& item : plan)
    if (check_put_path(t, item.to) != kExitOk) return kExitUsage;

  auto start = std::chrono::steady_clock::now();
  if (dest_slash && !dest_exists) {
    MkdirArgs m{a.dest, true};
    if (tool_mkdir(t, m) != kExitOk) return t.failure.status;
  }
  for (const CopyItem& item : plan) {
    if (item.directory) {
      if (ensure_device_directory(t, item.to) != kExitOk) return t.failure.status;
      ++s.directories;
      continue;
    }
    TransferSummary one;
    int status = tool_put(t, item.from, item.to, one);
    if (status != kExitOk) return status;
    if (a.verify) {
      status = read_back_and_compare(t, "put " + item.from + " " + item.to, item.from, item.to);
      if (status != kExitOk) return status;
    }
    ++s.files;
    s.bytes += one.bytes;
    if (!s.tree) s.to = item.to;
  }
  s.verified = a.verify;
  s.seconds = seconds_since(start);
  return kExitOk;
}

int tool_get_tree(Tool& t, const TreeArgs& a, TransferSummary& s) {
  s.what = "get";
  s.tree = a.recursive || a.sources.size() > 1;
  s.to = a.dest;
  if (a.sources.size() == 1) s.from = a.sources[0];
  for (const std::string& path : a.sources)
    if (check_device_path(t, path) != 0) return kExitUsage;
  if (a.dest == "-") {
    if (a.sources.size() != 1 || a.recursive)
      return tool_fail(t, kExitUsage, "usage", 0, "get: - (standard output) takes one file");
    return tool_get(t, a.sources[0], a.dest, s);
  }
  bool windows = local_names_windows();
  bool dest_slash = ends_in_slash(a.dest, windows);
  bool dest_directory = local_stat(a.dest).kind == LocalKind::kDirectory;
  bool into = dest_slash || dest_directory;
  if (a.sources.size() > 1 && !into)
    return tool_fail(t, kExitUsage, "usage", 0,
                     "get: with several sources, " + a.dest + " must be a directory or end in /");

  if (tool_connect(t) != 0) return kExitLink;
  // The device side first: every source and, for directories, the whole tree, so that a
  // name the local side cannot hold stops the run before anything is written.
  std::vector<CopyItem> plan;
  for (const std::string& path : a.sources) {
    LsListing l;
    Result r = device_list(t.device, path, l);
    if (!r.ok()) return device_fail(t, "get " + path, r);
    std::string name = last_name(path);
    if (into && windows && !name.empty() && name != "." && name != "..")
      if (const char* why = windows_name_problem(name))
        return tool_fail(t, kExitLocalFile, "local", 0,
                         "get: " + path + " cannot be a Windows file name: " + why);
    std::string top = into ? join_local(a.dest, name) : a.dest;
    if (name.empty() || name == "." || name == "..") top = a.dest;
    if (l.is_file) {
      plan.push_back(CopyItem{path, top, false});
      continue;
    }
    if (!a.recursive)
      return tool_fail(t, kExitUsage, "usage", 0, "get: " + path + " is a directory (use -r)");
    plan.push_back(CopyItem{path, top, true});
    if (walk_device(t, path, top, 1, plan) != kExitOk) return t.failure.status;
  }

  auto start = std::chrono::steady_clock::now();
  if (dest_slash && !dest_directory && ensure_local_directories(t, a.dest) != kExitOk)
    return t.failure.status;
  for (const CopyItem& item : plan) {
    if (item.directory) {
      if (ensure_local_directory(t, item.to) != kExitOk) return t.failure.status;
      ++s.directories;
      continue;
    }
    TransferSummary one;
    int status = tool_get(t, item.from, item.to, one);
    s.bytes += one.bytes;
    if (status != kExitOk) return status;
    ++s.files;
    if (!s.tree) s.to = item.to;
  }
  s.seconds = seconds_since(start);
  return kExitOk;
}

}  // namespace rq
