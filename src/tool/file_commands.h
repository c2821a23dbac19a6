// The commands that move no file data: ping, ver, ls, mkdir, rm, mv, cp, launch, format.
// Each connects, runs its exchanges through the device library, fills its result and
// returns the exit status; a failure has been reported through tool_fail. The print_*
// functions are the text presenter of the results.
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
void print_ping(Tool& t, const PingSummary& s);

int tool_ver(Tool& t, std::string& build);
void print_ver(Tool& t, const std::string& build);

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
  std::string path = "/";
  bool long_form = false;  // -l: each file's record
  bool recursive = false;  // -R: the subdirectories' listings too
};
int tool_ls(Tool& t, const std::string& path, LsListing& listing);
int tool_ls(Tool& t, const LsArgs& a, LsListing& listing);
void print_ls(Tool& t, const LsListing& listing);

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
int tool_rename_copy(Tool& t, const char* word, uint8_t code, const std::string& old_name,
                     const std::string& new_name);

int tool_launch(Tool& t, const std::string& path);

int tool_format(Tool& t);

// The exchanges behind the commands, for whoever builds on them (tree copies): each returns
// the device's Result; nothing is printed.
Result device_list(Device& d, const std::string& path, LsListing& listing);
Result device_path_command(Device& d, uint8_t code, const std::string& path);

// A directory listing that may have been cut, where acting on part of a tree would be wrong
// (ls -R, get -r, sync --delete): reported as a device failure naming the directory, after
// what (e.g. "get"). Returns kExitDevice.
int cut_listing_fail(Tool& t, const std::string& what, const LsListing& listing);

// The text that says a listing may have been cut, naming its directory and what arrived.
std::string cut_listing_text(const LsListing& listing);

// dir and name joined with one slash.
std::string join_device_path(const std::string& dir, const std::string& name);

// A device path (and its zero) must fit one frame. Returns 0 or reports a usage error.
int check_device_path(Tool& t, const std::string& path);

}  // namespace rq
