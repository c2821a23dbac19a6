// rqmount's command line: the connection options as rqtool has them, -f, and -o with the
// mount's own options (anything else given with -o goes to libfuse).
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "device/connect.h"

namespace rq::mount {

struct MountOptions {
  // The connection, as rqtool's -H, -p, -t, -w and --trace mean them (trace_file empty:
  // the log, which is standard error in the foreground).
  ConnectSettings connect;

  bool foreground = false;
  std::string mountpoint;

  // -o
  std::string cache_dir;  // empty: under $XDG_RUNTIME_DIR or the temporary directory
  std::string log_file;   // empty: standard error in the foreground, else in the cache dir
  uid_t uid = 0;          // the mounting user's unless given
  gid_t gid = 0;
  mode_t umask = 022;
  double cache_timeout_s = 10;
  double idle_s = 0;  // 0: the link stays open
  double flush_deadline_s = 30;
  bool direct_put = false;
  bool strict_attrs = false;
  std::vector<std::string> fuse_options;  // for libfuse, as given
};

// Fills o from argv. Returns 0 to mount, 1 when help or the version was printed to out, or -1
// after printing the problem (and a usage line) to err.
int parse_mount_options(int argc, char** argv, MountOptions& o, FILE* out, FILE* err);

// Applies one -o option ("uid=1000", "direct_put"); an option the mount does not know is kept
// for libfuse. Returns 0, or -1 with the reason in *why.
int apply_mount_option(MountOptions& o, const std::string& option, std::string* why);

}  // namespace rq::mount
