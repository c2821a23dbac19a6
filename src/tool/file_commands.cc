#include "tool/file_commands.h"

#include <chrono>

#include "device/info.h"
#include "device/listing.h"
#include "device/path_exchange.h"
#include "device/ping.h"
#include "link/status.h"
#include "tool/connect.h"

namespace rq {

namespace {

// format and diag may keep the device busy for minutes.
constexpr double kLongCommandSeconds = 300;

double elapsed_ms(std::chrono::steady_clock::time_point since) {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now() - since).count();
}

bool is_root(const std::string& path) {
  // "/", "//", "/./" and the like all name the root.
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '/') continue;
    if (path[i] == '.' && (i + 1 == path.size() || path[i + 1] == '/') &&
        (i == 0 || path[i - 1] == '/'))
      continue;
    return false;
  }
  return true;
}

}  // namespace

std::string join_device_path(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

int check_device_path(Tool& t, const std::string& path) {
  if (path.size() + 1 <= kMaxPayload) return 0;
  return tool_fail(t, kExitUsage, "usage", 0,
                   "device path too long: at most " + std::to_string(kMaxPayload - 1) + " bytes");
}

Result device_path_command(Device& d, uint8_t code, const std::string& path) {
  return path_exchange(d, code, path.c_str(), static_cast<int>(path.size()) + 1);
}

Result device_list(Device& d, const std::string& path, LsListing& listing) {
  ListingReply reply;
  Result r = list_path(d, path.c_str(), static_cast<int>(path.size()) + 1, &reply);
  listing.path = path;
  listing.entries.clear();
  if (!r.ok()) return r;
  listing.is_file = listing_is_file(reply);
  if (listing.is_file) {
    listing.record = listing_file_record(reply);
    return r;
  }
  listing.may_be_cut = listing_may_be_cut(reply);
  ListingCursor cursor;
  ListingEntry e;
  while (listing_next(reply, cursor, &e))
    listing.entries.push_back(LsEntry{std::string(e.name, e.name_length), e.directory, false, {}});
  return r;
}

std::string cut_listing_text(const LsListing& l) {
  return "the listing of " + l.path + " filled its frame and may have been cut (" +
         std::to_string(l.entries.size()) + " entries arrived)";
}

int cut_listing_fail(Tool& t, const std::string& what, const LsListing& l) {
  return tool_fail(t, kExitDevice, "reply", 0, what + ": " + cut_listing_text(l));
}

int tool_ping(Tool& t, const PingArgs& a, PingSummary& s) {
  if (tool_connect(t) != 0) return kExitLink;
  double total = 0;
  for (int i = 0; i < a.count; ++i) {
    auto start = std::chrono::steady_clock::now();
    PingResult p = ping_device(t.device, false);
    double ms = elapsed_ms(start);
    if (p.result.step == Step::kCommand) return device_fail(t, "ping", p.result);
    if (!p.result.ok()) {
      if (t.link_failed) return tool_fail(t, kExitLink, "reply", 0, "ping: " + t.link_text);
      char text[96];
      snprintf(text, sizeof text, "ping: reply out of sync (got %d, expected %d)", p.received,
               p.expected);
      return tool_fail(t, kExitLink, "reply", 0, text);
    }
    s.round_trips_ms.push_back(ms);
    if (s.count == 0 || ms < s.min_ms) s.min_ms = ms;
    if (ms > s.max_ms) s.max_ms = ms;
    total += ms;
    ++s.count;
    s.avg_ms = total / s.count;
  }
  return kExitOk;
}

void print_ping(Tool& t, const PingSummary& s) {
  fprintf(t.out, "%d pings: min/avg/max %.3f/%.3f/%.3f ms\n", s.count, s.min_ms, s.avg_ms,
          s.max_ms);
}

int tool_ver(Tool& t, std::string& build) {
  if (tool_connect(t) != 0) return kExitLink;
  TextReply reply;
  Result r = read_text(t.device, kCmdVer, &reply);
  if (!r.ok()) return device_fail(t, "ver", r);
  build.assign(reply.text, static_cast<size_t>(reply.length));
  return kExitOk;
}

void print_ver(Tool& t, const std::string& build) { fprintf(t.out, "%s\n", build.c_str()); }

int tool_ls(Tool& t, const std::string& path, LsListing& listing) {
  if (check_device_path(t, path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  Result r = device_list(t.device, path, listing);
  if (!r.ok()) return device_fail(t, "ls " + path, r);
  return kExitOk;
}

namespace {

void print_record(Tool& t, const std::string& name, const FileRecord& f) {
  fwrite(name.data(), 1, name.size(), t.out);
  fprintf(t.out, " size=%d uid=%d gid=%d attr=0x%x own=0x%x grp=%d other=%d\n", f.size, f.uid,
          f.gid, static_cast<unsigned>(f.attr), static_cast<unsigned>(f.own), f.grp, f.other);
}

void print_entries(Tool& t, const LsListing& l) {
  for (const LsEntry& e : l.entries) {
    if (e.has_record) {
      print_record(t, e.name, e.record);
      continue;
    }
    fwrite(e.name.data(), 1, e.name.size(), t.out);
    fputs(e.directory ? "/\n" : "\n", t.out);
  }
}

// ls -R: each directory under a "path:" line, a blank line between directories.
void print_below(Tool& t, const LsListing& l) {
  for (const LsListing& sub : l.below) {
    fputc('\n', t.out);
    fwrite(sub.path.data(), 1, sub.path.size(), t.out);
    fputs(":\n", t.out);
    print_entries(t, sub);
    print_below(t, sub);
  }
}

// Fills the records (-l) and the subdirectories' listings (-R) of a directory listing.
int fill_listing(Tool& t, const LsArgs& a, LsListing& l, int depth) {
  for (LsEntry& e : l.entries) {
    if (e.name.empty() || e.name == "." || e.name == "..") continue;
    std::string child = join_device_path(l.path, e.name);
    if (check_device_path(t, child) != 0) return kExitUsage;
    if (!e.directory && a.long_form) {
      LsListing file;
      Result r = device_list(t.device, child, file);
      if (!r.ok()) return device_fail(t, "ls " + child, r);
      e.has_record = file.is_file;
      e.record = file.record;
    }
    if (!e.directory || !a.recursive) continue;
    // A device that lists a directory inside itself must not keep the walk going for ever.
    if (depth >= 64) return tool_fail(t, kExitDevice, "reply", 0, "ls -R " + child + ": too deep");
    LsListing sub;
    Result r = device_list(t.device, child, sub);
    if (!r.ok()) return device_fail(t, "ls " + child, r);
    if (sub.is_file) continue;
    if (sub.may_be_cut) return cut_listing_fail(t, "ls -R", sub);
    int status = fill_listing(t, a, sub, depth + 1);
    l.below.push_back(std::move(sub));
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace

int tool_ls(Tool& t, const LsArgs& a, LsListing& listing) {
  int status = tool_ls(t, a.path, listing);
  listing.recursive = a.recursive;
  if (status != kExitOk || listing.is_file) return status;
  if (listing.may_be_cut) {
    // A tree is not listed from part of a directory; one directory is shown as far as it
    // goes, with a warning.
    if (a.recursive) return cut_listing_fail(t, "ls -R", listing);
    if (t.text_errors)
      fprintf(t.err, "rqtool: ls %s: %s\n", a.path.c_str(), cut_listing_text(listing).c_str());
  }
  if (!a.long_form && !a.recursive) return status;
  return fill_listing(t, a, listing, 0);
}

void print_ls(Tool& t, const LsListing& l) {
  if (l.is_file) {
    print_record(t, l.path, l.record);
    return;
  }
  if (l.recursive) {
    fwrite(l.path.data(), 1, l.path.size(), t.out);
    fputs(":\n", t.out);
  }
  print_entries(t, l);
  print_below(t, l);
}

int tool_mkdir(Tool& t, const MkdirArgs& a) {
  if (check_device_path(t, a.path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  if (!a.parents) {
    Result r = device_path_command(t.device, kCmdMkdir, a.path);
    return r.ok() ? kExitOk : device_fail(t, "mkdir " + a.path, r);
  }
  // Each prefix ending before a slash, then the whole path.
  for (size_t end = 1; end <= a.path.size(); ++end) {
    if (end < a.path.size() && a.path[end] != '/') continue;
    if (a.path[end - 1] == '/') continue;  // "a//b": the empty component is no directory
    std::string prefix = a.path.substr(0, end);
    Result r = device_path_command(t.device, kCmdMkdir, prefix);
    if (r.ok()) continue;
    if (r.code != kStatusExists) return device_fail(t, "mkdir -p " + prefix, r);
    // Exists: a directory is fine, a file of that name is in the way.
    LsListing l;
    Result check = device_list(t.device, prefix, l);
    if (!check.ok()) return device_fail(t, "mkdir -p " + prefix, check);
    if (l.is_file) return device_fail(t, "mkdir -p " + prefix + ": a file of that name exists", r);
  }
  return kExitOk;
}

namespace {

// Removes path and, when it is a directory, everything below it, deepest entries first.
int remove_tree(Tool& t, const std::string& path, bool force, bool top) {
  LsListing l;
  Result r = device_list(t.device, path, l);
  if (!r.ok()) {
    if (top && force && r.code == kStatusMissing && !t.link_failed) return kExitOk;
    return device_fail(t, "rm -r " + path, r);
  }
  if (!l.is_file) {
    for (const LsEntry& e : l.entries) {
      if (e.name.empty() || e.name == "." || e.name == "..") continue;
      std::string child = join_device_path(path, e.name);
      if (e.directory) {
        int status = remove_tree(t, child, false, false);
        if (status != kExitOk) return status;
        continue;
      }
      Result removed = device_path_command(t.device, kCmdRm, child);
      if (!removed.ok()) return device_fail(t, "rm -r " + child, removed);
    }
  }
  Result removed = device_path_command(t.device, kCmdRm, path);
  return removed.ok() ? kExitOk : device_fail(t, "rm -r " + path, removed);
}

}  // namespace

int tool_rm(Tool& t, const RmArgs& a) {
  if (a.recursive && is_root(a.path))
    return tool_fail(t, kExitUsage, "usage", 0, "rm -r: refusing to remove the root directory");
  if (check_device_path(t, a.path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  if (a.recursive) return remove_tree(t, a.path, a.force, true);
  Result r = device_path_command(t.device, kCmdRm, a.path);
  if (r.ok() || (a.force && r.code == kStatusMissing && !t.link_failed)) return kExitOk;
  return device_fail(t, "rm " + a.path, r);
}

int tool_rename_copy(Tool& t, const char* word, uint8_t code, const std::string& old_name,
                     const std::string& new_name) {
  std::string payload = old_name;
  payload.push_back('\0');
  payload += new_name;
  if (check_device_path(t, payload) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  Result r = path_exchange(t.device, code, payload.c_str(), static_cast<int>(payload.size()) + 1);
  if (r.ok()) return kExitOk;
  return device_fail(t, std::string(word) + " " + old_name + " " + new_name, r);
}

int tool_launch(Tool& t, const std::string& path) {
  if (check_device_path(t, path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  Result r = device_path_command(t.device, kCmdLaunch, path);
  return r.ok() ? kExitOk : device_fail(t, "launch " + path, r);
}

int tool_format(Tool& t) {
  if (tool_connect(t) != 0) return kExitLink;
  set_exchange_timeout(t, kLongCommandSeconds);
  Result r = format_device(t.device);
  return r.ok() ? kExitOk : device_fail(t, "format", r);
}

}  // namespace rq
