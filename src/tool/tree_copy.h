// put and get over whole trees, with cp's rules for the destination: when DEST is a
// directory or ends in '/', each source goes inside it under its own last name (a trailing
// slash on a source changes nothing); otherwise the one source is copied to the name DEST.
// A DEST ending in '/' that is no directory takes no file; for trees it is made, as cp -r
// makes it, where its parent exists (no parents are made: a mistyped path stops the run).
// Everything that can be checked is checked before the first byte of data moves: the local
// tree is walked first (links stop it unless followed, names the listing cannot carry are
// refused), device names are checked against the local file system, and every path must
// fit one frame. Files then go one at a time through put and get, so the first failure
// stops the run with what was completed in place and no partial file left locally.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "local/platform.h"
#include "tool/tool.h"
#include "tool/transfer_commands.h"

namespace rq {

struct TreeArgs {
  std::vector<std::string> sources;
  std::string dest;
  bool recursive = false;     // -r: directories too
  bool follow_links = false;  // -L (put): follow symbolic links inside a tree
  bool verify = false;        // --verify (put): read each file back and compare
};

// One step of a copy: make a directory, or copy a file of size bytes; `from` and `to` are
// full paths.
struct CopyItem {
  std::string from, to;
  bool directory = false;
  int64_t size = 0;
};

int tool_put_tree(Tool& t, const TreeArgs& a, TransferSummary& s);
int tool_get_tree(Tool& t, const TreeArgs& a, TransferSummary& s);

// Walks the local directory from (whose own stat is top) into items, directories before
// what they hold, with device paths relative to the tree's top ("a", "a/b.txt"). Everything
// that cannot be copied whole stops it with a local-file failure whose text begins with what:
// a symbolic link (followed with follow_links; one to nothing), a link back into a directory
// above it, what is neither a file nor a directory, a name holding the bytes 1 or 2.
int walk_local_tree(Tool& t, const std::string& what, const std::string& from, const LocalStat& top,
                    bool follow_links, std::vector<CopyItem>& items);

// Device names (a directory's entries, dir its device path) that could not all be local
// names: empty, holding a '/', and where local names follow Windows' rules, what Windows
// refuses and names that differ only in case. Reports a local-file failure beginning with
// what and returns its status, or kExitOk.
int check_local_names(Tool& t, const std::string& what, const std::string& dir,
                      const std::vector<std::string>& device_names);

// dir and a local name joined with one separator.
std::string join_local(const std::string& dir, const std::string& name);

// The last name of a path: trailing slashes do not count; "" for a root.
std::string last_name(const std::string& path);

}  // namespace rq
