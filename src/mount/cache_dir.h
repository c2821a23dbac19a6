// The mount's directory on local disk: files/ holds the cache files (emptied at every start
// and at the end), unsent/ the local copies of files the device never got (kept for the
// user, named in the log), and the default log file. It is private to the mounting user.
#pragma once

#include <cstdint>
#include <string>

namespace rq::mount {

struct CacheDir {
  std::string root;
  std::string files;
  std::string unsent;
  uint64_t next_serial = 0;
};

// Makes (or takes) the directory: `given` when set, else a directory named after the mount
// point under rqmount-UID in $XDG_RUNTIME_DIR or the temporary directory. Returns 0, or -1
// with the reason in *why.
int open_cache_dir(CacheDir& c, const std::string& given, const std::string& mountpoint,
                   std::string* why);

// A new, empty cache file; returns its descriptor (read-write) and sets *path, or -errno.
int create_cache_file(CacheDir& c, std::string* path);

// -ENOSPC when the cache's file system has less than bytes free (with a margin), else 0.
int check_free_space(const CacheDir& c, int64_t bytes);

// Moves a cache file into unsent/ under a name made from the device path. Returns the new
// local path, or "" when it could not be moved.
std::string keep_unsent(const CacheDir& c, const std::string& cache_path,
                        const std::string& device_path);

// Removes every cache file (not the unsent ones or the log).
void clear_cache_files(const CacheDir& c);

}  // namespace rq::mount
