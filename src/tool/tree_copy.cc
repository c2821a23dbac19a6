#include "tool/tree_copy.h"

#include <cerrno>

#include "device/listing.h"
#include "device/path_exchange.h"
#include "link/protocol.h"
#include "link/status.h"
#include "local/local_names.h"
#include "local/platform.h"
#include "tool/connect.h"
#include "tool/file_commands.h"
#include "tool/verify.h"

namespace rq {

namespace {

struct LocalAncestor {
  uint64_t device, inode;
};

bool ends_in_slash(const std::string& path, bool backslash_too) {
  return !path.empty() && (path.back() == '/' || (backslash_too && path.back() == '\\'));
}

// A last name that can be copied into a directory under itself ("", "." and ".." cannot).
bool names_an_entry(const std::string& name) {
  return !name.empty() && name != "." && name != "..";
}

// Runs a plan in order: make_directory(path) for each directory, copy_file(item, one) for
// each file, whose own summary one counts what it delivered; the first failure stops it.
// Counts what was done in s.
template <typename MakeDirectory, typename CopyFile>
int run_plan(Tool& t, const std::vector<CopyItem>& plan, TransferSummary& s,
             MakeDirectory make_directory, CopyFile copy_file) {
  for (const CopyItem& item : plan) {
    if (item.directory) {
      if (make_directory(t, item.to) != kExitOk) return t.failure.status;
      ++s.directories;
      continue;
    }
    TransferSummary one;
    int status = copy_file(item, one);
    s.files += one.files;
    s.bytes += one.bytes;
    if (status != kExitOk) return status;
    if (!s.tree) s.to = item.to;
  }
  return kExitOk;
}

// ---- put ----

// What an entry of a local tree is, links followed with -L. kMissing, kLink and kOther have
// been reported (kLink: a link not to be followed).
LocalKind local_entry_kind(Tool& t, const std::string& what, const std::string& path,
                           bool follow_links, LocalStat& st) {
  st = local_lstat(path);
  if (st.kind == LocalKind::kLink) {
    if (!follow_links) {
      local_fail(t, 0, what + ": " + path + " is a symbolic link (-L follows links)");
      return LocalKind::kLink;
    }
    st = local_stat(path);
    if (st.kind == LocalKind::kMissing) {
      local_fail(t, st.error,
                 what + ": " + path + " is a link to nothing: " + local_error_text(st.error));
      return LocalKind::kMissing;
    }
  }
  if (st.kind == LocalKind::kMissing)
    local_fail(t, st.error, what + ": cannot read " + path + ": " + local_error_text(st.error));
  if (st.kind == LocalKind::kOther)
    local_fail(t, 0, what + ": " + path + " is neither a file nor a directory");
  return st.kind;
}

// Walks a local directory into items (directories before what they hold), device paths
// relative to `to`.
int walk_local(Tool& t, const std::string& what, const std::string& from, const std::string& to,
               bool follow_links, std::vector<LocalAncestor>& ancestors,
               std::vector<CopyItem>& items) {
  if (ancestors.size() > kMaxTreeDepth)
    return local_fail(t, 0, what + ": " + from + ": too deeply nested");
  std::vector<std::string> names;
  if (int error = local_list_dir(from, &names))
    return local_fail(t, error,
                      what + ": cannot read directory " + from + ": " + local_error_text(error));
  for (const std::string& name : names) {
    std::string path = join_local(from, name);
    std::string device_path = join_device_path(to, name);
    if (!listing_can_carry(name))
      return local_fail(
          t, 0, what + ": " + path + ": the device cannot list a name with the bytes 1 or 2");
    LocalStat st;
    LocalKind kind = local_entry_kind(t, what, path, follow_links, st);
    if (kind == LocalKind::kFile) {
      items.push_back(CopyItem{path, device_path, false, st.size});
      continue;
    }
    if (kind != LocalKind::kDirectory) return t.failure.status;
    for (const LocalAncestor& up : ancestors)
      if ((st.device || st.inode) && up.device == st.device && up.inode == st.inode)
        return local_fail(t, 0, what + ": " + path + " leads back into a directory above it");
    items.push_back(CopyItem{path, device_path, true});
    ancestors.push_back(LocalAncestor{st.device, st.inode});
    int status = walk_local(t, what, path, device_path, follow_links, ancestors, items);
    ancestors.pop_back();
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

// A source of put: a file, or a directory with its tree (device paths relative to "").
struct PutSource {
  std::string path;
  bool directory = false;
  std::vector<CopyItem> items;
};

// The local side first: every source and, for directories, the whole tree.
int walk_put_sources(Tool& t, const TreeArgs& a, std::vector<PutSource>& sources) {
  for (const std::string& path : a.sources) {
    LocalStat st = local_stat(path);  // a link named on the command line is followed
    if (st.kind == LocalKind::kMissing)
      return local_fail(t, st.error,
                        "put: cannot open " + path + ": " + local_error_text(st.error));
    if (st.kind == LocalKind::kOther)
      return local_fail(t, 0, "put: " + path + " is neither a file nor a directory");
    if (!listing_can_carry(last_name(path)))
      return local_fail(t, 0,
                        "put: " + path + ": the device cannot list a name with the bytes 1 or 2");
    PutSource src{path, st.kind == LocalKind::kDirectory, {}};
    if (src.directory) {
      if (!a.recursive) return local_fail(t, 0, "put: " + path + " is a directory (use -r)");
      if (walk_local_tree(t, "put", path, st, a.follow_links, src.items) != kExitOk)
        return t.failure.status;
    }
    sources.push_back(std::move(src));
  }
  return kExitOk;
}

// Whether the device path names a directory (false when missing or a file).
int device_is_directory(Tool& t, const std::string& path, bool* directory, bool* exists) {
  LsListing l;
  Result r = device_list(t.device, path, l);
  *exists = r.ok();
  *directory = r.ok() && !l.is_file;
  if (r.ok() || (r.code == kStatusMissing && !link_failed(t))) return kExitOk;
  return device_fail(t, "put: " + path, r);
}

// Every source's items with their device paths under cp's rules (into: inside dest under
// their own names); every path must fit one frame beside what put sends with it.
int plan_put(Tool& t, std::vector<PutSource>& sources, const std::string& dest, bool into,
             std::vector<CopyItem>& plan) {
  for (PutSource& src : sources) {
    std::string name = last_name(src.path);
    std::string top = into && names_an_entry(name) ? join_device_path(dest, name) : dest;
    plan.push_back(CopyItem{src.path, top, src.directory});
    for (CopyItem& item : src.items) {
      item.to = join_device_path(top, item.to);
      plan.push_back(std::move(item));
    }
  }
  for (const CopyItem& item : plan)
    if (!put_path_fits(item.to)) return usage_fail(t, "put: device path too long: " + item.to);
  return kExitOk;
}

// One directory on the device: made, or already there (a file in the way is an error).
int ensure_device_directory(Tool& t, const std::string& path) {
  Result r = path_command(t.device, kCmdMkdir, path.c_str());
  if (r.ok()) return kExitOk;
  const std::string making = "put: cannot make directory " + path;
  if (r.code != kStatusExists || link_failed(t)) return device_fail(t, making, r);
  LsListing l;
  Result check = device_list(t.device, path, l);
  if (!check.ok()) return device_fail(t, making, check);
  if (l.is_file)
    return tool_fail(t, kExitDevice, FailStep::kStatus, r.code,
                     making + ": a file of that name is in the way");
  return kExitOk;
}

// ---- get ----

int walk_device(Tool& t, const std::string& from, const std::string& to, int depth,
                std::vector<CopyItem>& items) {
  if (depth > kMaxTreeDepth)
    return tool_fail(t, kExitDevice, FailStep::kReply, 0, "get: " + from + ": too deeply nested");
  LsListing l;
  Result r = device_list(t.device, from, l);
  if (!r.ok()) return device_fail(t, "get: " + from, r);
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

// The device side first: every source and, for directories, the whole tree, so that a
// name the local side cannot hold stops the run before anything is written. *file_source:
// the first source that is a file, "" when all are directories.
int plan_get(Tool& t, const TreeArgs& a, bool into, std::vector<CopyItem>& plan,
             std::string* file_source) {
  for (const std::string& path : a.sources) {
    LsListing l;
    Result r = device_list(t.device, path, l);
    if (!r.ok()) return device_fail(t, "get " + path, r);
    std::string name = last_name(path);
    bool named = names_an_entry(name);
    if (into && named && local_names_windows())
      if (const char* why = windows_name_problem(name))
        return local_fail(t, 0, "get: " + path + " cannot be a Windows file name: " + why);
    std::string top = into && named ? join_local(a.dest, name) : a.dest;
    if (l.is_file) {
      if (file_source->empty()) *file_source = path;
      plan.push_back(CopyItem{path, top, false});
      continue;
    }
    if (!a.recursive) return usage_fail(t, "get: " + path + " is a directory (use -r)");
    plan.push_back(CopyItem{path, top, true});
    if (walk_device(t, path, top, 1, plan) != kExitOk) return t.failure.status;
  }
  return kExitOk;
}

int ensure_local_directory(Tool& t, const std::string& path) {
  int error = local_make_dir(path);
  if (error == 0) return kExitOk;
  if (error == EEXIST && local_stat(path).kind == LocalKind::kDirectory) return kExitOk;
  if (error == EEXIST)
    return local_fail(t, error,
                      "get: cannot make directory " + path + ": a file of that name is in the way");
  return local_fail(t, error,
                    "get: cannot make directory " + path + ": " + local_error_text(error));
}

// DEST without its trailing separators, for making it: "new/" is made as "new".
std::string without_trailing_separators(const std::string& path, bool backslash_too) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && ends_in_slash(trimmed, backslash_too)) trimmed.pop_back();
  return trimmed;
}

// The summary of a tree copy before anything is copied.
TransferSummary tree_summary(TransferKind kind, const TreeArgs& a) {
  TransferSummary s{kind, a.sources.size() == 1 ? a.sources[0] : "", a.dest};
  s.tree = a.recursive || a.sources.size() > 1;
  return s;
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

int check_local_names(Tool& t, const std::string& what, const std::string& dir,
                      const std::vector<std::string>& device_names) {
  std::vector<std::string> names;
  for (const std::string& name : device_names) {
    if (name == "." || name == "..") continue;
    std::string path = join_device_path(dir, name);
    // The device's names come from outside: none may climb out of the destination.
    if (name.empty() || name.find('/') != std::string::npos)
      return local_fail(t, 0, what + ": " + path + ": not a name a local file can have");
    if (local_names_windows()) {
      if (const char* why = windows_name_problem(name))
        return local_fail(t, 0, what + ": " + path + " cannot be a Windows file name: " + why);
      names.push_back(name);
    }
  }
  size_t first = 0, second = 0;
  if (find_case_clash(names, &first, &second))
    return local_fail(t, 0,
                      what + ": " + join_device_path(dir, names[first]) + " and " + names[second] +
                          " differ only in case and would be one Windows file");
  return kExitOk;
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
  s = tree_summary(TransferKind::kPut, a);
  if (!listing_can_carry(a.dest))
    return usage_fail(t,
                      "put: " + a.dest + ": the device cannot list a name with the bytes 1 or 2");
  bool dest_slash = ends_in_slash(a.dest, false);
  std::vector<PutSource> sources;
  if (walk_put_sources(t, a, sources) != kExitOk) return t.failure.status;
  if (tool_connect(t) != 0) return kExitLink;
  bool dest_directory = false, dest_exists = false;
  if (device_is_directory(t, a.dest, &dest_directory, &dest_exists) != kExitOk)
    return t.failure.status;
  if (a.sources.size() > 1 && !dest_directory && !dest_slash)
    return usage_fail(t, "put: with several sources, " + a.dest +
                             " must be a directory on the device or end in /");
  // DEST/ that is no directory: cp's rules. A file goes only into a directory that exists;
  // a tree makes DEST itself, where its parent exists.
  if (dest_slash && !dest_directory) {
    for (const PutSource& src : sources) {
      if (dest_exists)
        return tool_fail(t, kExitDevice, FailStep::kStatus, 0,
                         "put: cannot copy " + src.path + " into " + a.dest +
                             ": it is a file on the device, not a directory");
      if (!src.directory)
        return device_fail(t, "put: cannot copy " + src.path + " into " + a.dest,
                           failed_at(Step::kStatus, kStatusMissing));
    }
  }
  // Every device path is known now: all must fit before anything is sent.
  std::vector<CopyItem> plan;
  if (plan_put(t, sources, a.dest, dest_directory || dest_slash, plan) != kExitOk)
    return kExitUsage;
  Stopwatch clock;
  if (dest_slash && !dest_exists) {
    Result r =
        path_command(t.device, kCmdMkdir, without_trailing_separators(a.dest, false).c_str());
    if (!r.ok()) return device_fail(t, "put: cannot make directory " + a.dest, r);
  }
  int status = run_plan(
      t, plan, s, ensure_device_directory, [&](const CopyItem& item, TransferSummary& one) {
        int sent = tool_put(t, item.from, item.to, one);
        if (sent != kExitOk || !a.verify) return sent;
        return read_back_and_compare(t, "put " + item.from + " " + item.to, item.from, item.to);
      });
  if (status != kExitOk) return status;
  s.verified = a.verify;
  s.seconds = clock.seconds();
  return kExitOk;
}

int tool_get_tree(Tool& t, const TreeArgs& a, TransferSummary& s) {
  s = tree_summary(TransferKind::kGet, a);
  for (const std::string& path : a.sources)
    if (check_device_path(t, path) != 0) return kExitUsage;
  if (a.dest == "-") {
    if (a.sources.size() != 1 || a.recursive)
      return usage_fail(t, "get: - (standard output) takes one file");
    return tool_get(t, a.sources[0], a.dest, s);
  }
  bool dest_slash = ends_in_slash(a.dest, local_names_windows());
  bool dest_directory = local_stat(a.dest).kind == LocalKind::kDirectory;
  bool into = dest_slash || dest_directory;
  if (a.sources.size() > 1 && !into)
    return usage_fail(t,
                      "get: with several sources, " + a.dest + " must be a directory or end in /");
  if (tool_connect(t) != 0) return kExitLink;
  std::vector<CopyItem> plan;
  std::string file_source;
  if (plan_get(t, a, into, plan, &file_source) != kExitOk) return t.failure.status;
  // DEST/ that is no directory: cp's rules, as for put.
  if (dest_slash && !dest_directory) {
    // "f/" names nothing when f is a file: ask for f.
    bool windows = local_names_windows();
    bool in_the_way =
        local_stat(without_trailing_separators(a.dest, windows)).kind != LocalKind::kMissing;
    if (in_the_way || !file_source.empty()) {
      int error = in_the_way ? ENOTDIR : ENOENT;
      return local_fail(t, error,
                        "get: cannot copy " + (in_the_way ? a.sources[0] : file_source) + " into " +
                            a.dest + ": " + local_error_text(error));
    }
  }
  Stopwatch clock;
  if (dest_slash && !dest_directory) {
    int error = local_make_dir(without_trailing_separators(a.dest, local_names_windows()));
    if (error != 0)
      return local_fail(t, error,
                        "get: cannot make directory " + a.dest + ": " + local_error_text(error));
  }
  int status =
      run_plan(t, plan, s, ensure_local_directory, [&](const CopyItem& item, TransferSummary& one) {
        return tool_get(t, item.from, item.to, one);
      });
  if (status != kExitOk) return status;
  s.seconds = clock.seconds();
  return kExitOk;
}

}  // namespace rq
