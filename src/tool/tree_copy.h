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

#include <string>
#include <vector>

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

int tool_put_tree(Tool& t, const TreeArgs& a, TransferSummary& s);
int tool_get_tree(Tool& t, const TreeArgs& a, TransferSummary& s);

// The last name of a path: trailing slashes do not count; "" for a root.
std::string last_name(const std::string& path);

}  // namespace rq
