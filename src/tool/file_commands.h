// The commands that move no file data: ping, ver, ls, mkdir, rm, mv, cp, launch, format.
// Each connects, runs its exchanges through the device library, fills its result and
// returns the exit status; a failure has been reported through tool_fail. Presenting the
// results is text_output.h's and json_output.h's.
#pragma once

#include <string>
#include <vector>

#include "tool/tool.h"

namespace rq {

struct PingArgs {
  int count = 1;
};
struct PingSummary {
  int count = 0;  // round trips completed
  double min_ms = 0, avg_ms = 0, max_ms = 0;
  std::vector<double> round_trips_ms;
};
int tool_ping(Tool& t, const PingArgs& a, PingSummary& s);

// The device's build text.
struct VerReport {
  std::string build;
};
int tool_ver(Tool& t, VerReport& r);

struct LsEntry {
  std::string name;
  bool directory = false;
  bool has_record = false;  // ls -l: the file's record, listed on its own
  FileRecord record;
};
struct LsListing {
  std::string path;
  bool is_file = false;
  FileRecord record;             // is_file
  std::vector<LsEntry> entries;  // !is_file, in the device's order
  // The reply filled its frame: the device may have left out the entries that did not fit.
  bool may_be_cut = false;
  // ls -R: the listing of each subdirectory, depth first in the device's order.
  std::vector<LsListing> below;
  bool recursive = false;  // listed with -R: each directory is printed under its path
};
struct LsArgs {
  std::string path;        // empty: the root
  bool long_form = false;  // -l: each file's record
  bool recursive = false;  // -R: the subdirectories' listings too
};
int tool_ls(Tool& t, const std::string& path, LsListing& listing);
int tool_ls(Tool& t, const LsArgs& a, LsListing& listing);

struct MkdirArgs {
  std::string path;
  bool parents = false;
};
int tool_mkdir(Tool& t, const MkdirArgs& a);

struct RmArgs {
  std::string path;
  bool recursive = false;
  bool force = false;
};
int tool_rm(Tool& t, const RmArgs& a);

// mv and cp (code kCmdMv or kCmdCp; word names it in messages).
struct RenameArgs {
  std::string old_name, new_name;
};
int tool_rename_copy(Tool& t, const char* word, uint8_t code, const RenameArgs& a);

struct PathArgs {
  std::string path;
};
int tool_launch(Tool& t, const PathArgs& a);

struct FormatArgs {
  bool yes = false;  // required: nothing is sent without it
};
int tool_format(Tool& t);

// Walks deeper than this are taken for a loop: a device that lists a directory inside itself,
// or a local link back up that the identity check could not see.
constexpr int kMaxTreeDepth = 64;

// ls's exchange, for whoever builds on it (tree copies): the device's Result; nothing is
// printed.
Result device_list(Device& d, const std::string& path, LsListing& listing);

// A directory listing that may have been cut, where acting on part of a tree would be wrong
// (ls -R, get -r, sync --delete): reported as a device failure naming the directory, after
// what (e.g. "get"). Returns kExitDevice.
int cut_listing_fail(Tool& t, const std::string& what, const LsListing& listing);

// A directory listing whose names are joined to its path for further commands (ls -l, ls -R,
// rm -r, sync): a name that is empty or holds a slash would make such a command act
// somewhere else, so the listing is refused as a device failure after what. Returns
// kExitOk or kExitDevice.
int check_listed_names(Tool& t, const std::string& what, const LsListing& listing);

// The text that says a listing may have been cut, naming its directory and what arrived.
std::string cut_listing_text(const LsListing& listing);

// dir and name joined with one slash.
std::string join_device_path(const std::string& dir, const std::string& name);

// Whether a device path and its zero fit one frame, as a path exchange or get sends them;
// put_path_fits: beside the size field put sends with them.
bool device_path_fits(const std::string& path);
bool put_path_fits(const std::string& path);

// A device path (and its zero) must fit one frame. Returns 0 or reports a usage error.
int check_device_path(Tool& t, const std::string& path);

}  // namespace rq
