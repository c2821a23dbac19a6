// A scratch directory and file helpers for the transfer tests.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

namespace rq::testing {

// A fresh directory under the system's temporary directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir() {
    auto base = std::filesystem::temp_directory_path();
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int i = 0;; ++i) {
      path_ = base / ("rqxfer-" + std::to_string(tick) + "-" + std::to_string(i));
      std::error_code ec;
      if (std::filesystem::create_directory(path_, ec)) break;
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  // Names of the entries in the directory (to see that no temporary file was left).
  std::set<std::string> entries() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.insert(e.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline void write_bytes(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline std::string read_bytes(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

// Bytes that differ from position to position, so a misplaced chunk shows.
inline std::string patterned(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

}  // namespace rq::testing
