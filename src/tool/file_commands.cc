#include "tool/file_commands.h"

#include "device/info.h"
#include "device/listing.h"
#include "device/path_exchange.h"
#include "device/ping.h"
#include "link/status.h"
#include "tool/connect.h"

namespace rq {

namespace {

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

// A reply that did not come or came back wrong: either way the link is out of step.
int ping_reply_failed(Tool& t, const PingResult& p) {
  if (link_failed(t)) return tool_fail(t, kExitLink, FailStep::kReply, 0, "ping: " + link_text(t));
  char text[96];
  snprintf(text, sizeof text, "ping: reply out of sync (got %d, expected %d)", p.received,
           p.expected);
  return tool_fail(t, kExitLink, FailStep::kReply, 0, text);
}

}  // namespace

int check_listed_names(Tool& t, const std::string& what, const LsListing& listing) {
  for (const LsEntry& e : listing.entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.name.empty() || e.name.find('/') != std::string::npos)
      return tool_fail(
          t, kExitDevice, FailStep::kReply, 0,
          what + ": the listing of " + listing.path + " holds an empty name or one with a slash");
  }
  return kExitOk;
}

std::string join_device_path(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool device_path_fits(const std::string& path) { return path.size() + 1 <= kMaxPayload; }

bool put_path_fits(const std::string& path) {
  return kPutSizeFieldLength + path.size() + 1 <= kMaxPayload;
}

int check_device_path(Tool& t, const std::string& path) {
  if (device_path_fits(path)) return 0;
  return usage_fail(t,
                    "device path too long: at most " + std::to_string(kMaxPayload - 1) + " bytes");
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
  return tool_fail(t, kExitDevice, FailStep::kReply, 0, what + ": " + cut_listing_text(l));
}

int tool_ping(Tool& t, const PingArgs& a, PingSummary& s) {
  if (tool_connect(t) != 0) return kExitLink;
  double total = 0;
  for (int i = 0; i < a.count; ++i) {
    Stopwatch round_trip;
    PingResult p = ping_device(t.device, false);
    double ms = round_trip.milliseconds();
    if (p.result.step == Step::kCommand) return device_fail(t, "ping", p.result);
    if (!p.result.ok()) return ping_reply_failed(t, p);
    // In step, but the device answered with a failure.
    if (p.status != 0) return device_fail(t, "ping", failed_at(Step::kStatus, p.status));
    s.round_trips_ms.push_back(ms);
    if (s.count == 0 || ms < s.min_ms) s.min_ms = ms;
    if (ms > s.max_ms) s.max_ms = ms;
    total += ms;
    ++s.count;
    s.avg_ms = total / s.count;
  }
  return kExitOk;
}

int tool_ver(Tool& t, VerReport& v) {
  if (tool_connect(t) != 0) return kExitLink;
  TextReply reply;
  Result r = read_text(t.device, kCmdVer, &reply);
  if (!r.ok()) return device_fail(t, "ver", r);
  v.build.assign(reply.text, static_cast<size_t>(reply.length));
  return kExitOk;
}

int tool_ls(Tool& t, const std::string& path, LsListing& listing) {
  if (check_device_path(t, path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  Result r = device_list(t.device, path, listing);
  if (!r.ok()) return device_fail(t, "ls " + path, r);
  return kExitOk;
}

namespace {

// Fills the records (-l) and the subdirectories' listings (-R) of a directory listing.
int fill_listing(Tool& t, const LsArgs& a, LsListing& l, int depth) {
  if (check_listed_names(t, a.recursive ? "ls -R" : "ls -l", l) != kExitOk) return kExitDevice;
  for (LsEntry& e : l.entries) {
    if (e.name == "." || e.name == "..") continue;
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
    if (depth >= kMaxTreeDepth)
      return tool_fail(t, kExitDevice, FailStep::kReply, 0, "ls -R " + child + ": too deep");
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
  int status = tool_ls(t, a.path.empty() ? std::string("/") : a.path, listing);
  listing.recursive = a.recursive;
  if (status != kExitOk || listing.is_file) return status;
  if (listing.may_be_cut) {
    // A tree is not listed from part of a directory; one directory is shown as far as it
    // goes, with a warning.
    if (a.recursive) return cut_listing_fail(t, "ls -R", listing);
    tool_warn(t, "ls " + a.path + ": " + cut_listing_text(listing));
  }
  if (!a.long_form && !a.recursive) return status;
  return fill_listing(t, a, listing, 0);
}

int tool_mkdir(Tool& t, const MkdirArgs& a) {
  if (check_device_path(t, a.path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  if (!a.parents) {
    Result r = path_command(t.device, kCmdMkdir, a.path.c_str());
    return r.ok() ? kExitOk : device_fail(t, "mkdir " + a.path, r);
  }
  // Each prefix ending before a slash, then the whole path; a failure names the path given
  // and, when it is another, the prefix that failed.
  const std::string what = "mkdir -p " + a.path;
  for (size_t end = 1; end <= a.path.size(); ++end) {
    if (end < a.path.size() && a.path[end] != '/') continue;
    if (a.path[end - 1] == '/') continue;  // "a//b": the empty component is no directory
    std::string prefix = a.path.substr(0, end);
    std::string making = end == a.path.size() ? what : what + ": cannot make " + prefix;
    Result r = path_command(t.device, kCmdMkdir, prefix.c_str());
    if (r.ok()) continue;
    if (r.code != kStatusExists) return device_fail(t, making, r);
    // Exists: a directory is fine, a file of that name is in the way.
    LsListing l;
    Result check = device_list(t.device, prefix, l);
    if (!check.ok()) return device_fail(t, making, check);
    if (l.is_file)
      return tool_fail(t, kExitDevice, FailStep::kStatus, r.code,
                       what + ": " + prefix + " is a file, not a directory");
  }
  return kExitOk;
}

namespace {

// Removes path and, when it is a directory, everything below it, deepest entries first. A
// device that lists a directory inside itself is stopped at the depth ls -R stops at.
int remove_tree(Tool& t, const std::string& path, bool force, int depth) {
  LsListing l;
  Result r = device_list(t.device, path, l);
  if (!r.ok()) {
    if (depth == 0 && force && r.code == kStatusMissing && !link_failed(t)) return kExitOk;
    return device_fail(t, "rm -r " + path, r);
  }
  if (!l.is_file) {
    if (check_listed_names(t, "rm -r", l) != kExitOk) return kExitDevice;
    for (const LsEntry& e : l.entries) {
      if (e.name == "." || e.name == "..") continue;
      std::string child = join_device_path(path, e.name);
      if (e.directory) {
        if (depth >= kMaxTreeDepth)
          return tool_fail(t, kExitDevice, FailStep::kReply, 0, "rm -r " + child + ": too deep");
        int status = remove_tree(t, child, false, depth + 1);
        if (status != kExitOk) return status;
        continue;
      }
      Result removed = path_command(t.device, kCmdRm, child.c_str());
      if (!removed.ok()) return device_fail(t, "rm -r " + child, removed);
    }
  }
  Result removed = path_command(t.device, kCmdRm, path.c_str());
  return removed.ok() ? kExitOk : device_fail(t, "rm -r " + path, removed);
}

}  // namespace

int tool_rm(Tool& t, const RmArgs& a) {
  if (a.recursive && is_root(a.path))
    return usage_fail(t, "rm -r: refusing to remove the root directory");
  if (check_device_path(t, a.path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  if (a.recursive) return remove_tree(t, a.path, a.force, 0);
  Result r = path_command(t.device, kCmdRm, a.path.c_str());
  if (r.ok() || (a.force && r.code == kStatusMissing && !link_failed(t))) return kExitOk;
  return device_fail(t, "rm " + a.path, r);
}

int tool_rename_copy(Tool& t, const char* word, uint8_t code, const RenameArgs& a) {
  // Both names and their zeros travel in one frame.
  if (check_device_path(t, a.old_name + '\0' + a.new_name) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  Result r = two_path_command(t.device, code, a.old_name.c_str(), a.new_name.c_str());
  if (r.ok()) return kExitOk;
  return device_fail(t, std::string(word) + " " + a.old_name + " " + a.new_name, r);
}

int tool_launch(Tool& t, const PathArgs& a) {
  if (check_device_path(t, a.path) != 0) return kExitUsage;
  if (tool_connect(t) != 0) return kExitLink;
  Result r = path_command(t.device, kCmdLaunch, a.path.c_str());
  return r.ok() ? kExitOk : device_fail(t, "launch " + a.path, r);
}

int tool_format(Tool& t) {
  if (tool_connect(t) != 0) return kExitLink;
  set_exchange_timeout(t, kLongCommandSeconds);
  Result r = format_device(t.device);
  return r.ok() ? kExitOk : device_fail(t, "format", r);
}

}  // namespace rq
