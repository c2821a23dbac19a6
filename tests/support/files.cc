#include "support/files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace rq::testing {

TempDir::TempDir() {
  fs::path base = fs::temp_directory_path();
  auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int i = 0;; ++i) {
    fs::path p = base / ("rqtest-" + std::to_string(tick) + "-" + std::to_string(i));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only directories behind; make them writable before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::set<std::string> TempDir::entries() const { return names_in(path_); }

std::set<std::string> names_in(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  return names;
}

std::map<std::string, std::string> tree_of(const std::string& dir) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string rel = it->path().lexically_relative(dir).generic_string();
    std::error_code kind_ec;
    if (it->is_symlink(kind_ec))
      tree[rel] = "-> " + fs::read_symlink(it->path(), kind_ec).string();
    else if (it->is_directory(kind_ec))
      tree[rel + "/"] = "";
    else if (it->exists(kind_ec))
      tree[rel] = read_file(it->path().string());
  }
  return tree;
}

std::vector<std::string> leftovers(const std::string& dir) {
  std::vector<std::string> paths;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.find("rqpart") != std::string::npos || (!name.empty() && name[0] == '\x01'))
      paths.push_back(it->path().string());
  }
  return paths;
}

void write_file(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string read_file(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

std::string read_bytes(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  fclose(f);
  return read_file(path);
}

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

std::string read_stream(FILE* stream) {
  fflush(stream);
  rewind(stream);
  std::string text;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, stream)) > 0;) text.append(buf, n);
  return text;
}

std::string patterned(size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
  return s;
}

std::string random_bytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& ch : s) ch = static_cast<char>(gen());
  return s;
}

}  // namespace rq::testing
