// Scratch directories, whole-file reads and writes, and byte patterns for test data.
#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace rq::testing {

// A fresh directory under the system's temporary directory, removed with its contents
// (read-only directories included) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Names of the entries in the directory (to see that no temporary file was left).
  std::set<std::string> entries() const;  // names_in(path())

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);   // "" when missing
std::string read_bytes(const std::string& path);  // "<missing>" when missing
bool file_exists(const std::string& path);        // a dangling link exists too

// Names of the entries in dir (none when it cannot be read).
std::set<std::string> names_in(const std::string& dir);

// Everything below dir by relative path ("a/b.txt"), links not followed: a file as its bytes,
// a directory as "a/" with "", a link as "-> its target". What a run may not change, or
// must have built. Entries that vanish while it looks are left out; empty when dir is
// missing.
std::map<std::string, std::string> tree_of(const std::string& dir);

// Paths below dir (recursively) that a transfer left behind: the shell's download files
// (names holding "rqpart") and rqsim's upload files (names beginning with byte 0x01).
std::vector<std::string> leftovers(const std::string& dir);

// Everything written so far to a stream such as tmpfile() gives, from its start.
std::string read_stream(FILE* stream);

// Bytes that differ from position to position, so a misplaced chunk shows.
std::string patterned(size_t size, unsigned seed = 0);

// Bytes from a seeded generator: the same for the same seed on every run.
std::string random_bytes(size_t size, unsigned seed);

}  // namespace rq::testing
