// Scratch directories, whole-file reads and writes, and byte patterns for test data.
#pragma once

#include <cstddef>
#include <cstdio>
#include <set>
#include <string>

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
  std::set<std::string> entries() const;

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);   // "" when missing
std::string read_bytes(const std::string& path);  // "<missing>" when missing
bool file_exists(const std::string& path);        // a dangling link exists too

// Everything written so far to a stream such as tmpfile() gives, from its start.
std::string read_stream(FILE* stream);

// Bytes that differ from position to position, so a misplaced chunk shows.
std::string patterned(size_t size, unsigned seed = 0);

// Bytes from a seeded generator: the same for the same seed on every run.
std::string random_bytes(size_t size, unsigned seed);

}  // namespace rq::testing
