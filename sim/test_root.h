// A throw-away device root for the simulator's tests: a temporary host directory, opened
// the way rqsim opens its root, removed with everything in it afterwards.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "device_fs.h"

namespace rq::sim::testing {

class TestRoot {
 public:
  TestRoot() {
    char pattern[] = "/tmp/rqsim-test.XXXXXX";
    base_ = mkdtemp(pattern);
    std::filesystem::create_directories(base_ + "/root");
    std::filesystem::create_directories(base_ + "/boot");
    std::filesystem::create_directories(base_ + "/outside");
    fs.root_fd = open(root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  ~TestRoot() {
    close(fs.root_fd);
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
  }
  TestRoot(const TestRoot&) = delete;
  TestRoot& operator=(const TestRoot&) = delete;

  std::string root() const { return base_ + "/root"; }
  std::string boot_dir() const { return base_ + "/boot"; }
  // A directory beside the root that no device path may reach.
  std::string outside() const { return base_ + "/outside"; }
  std::string host(const std::string& device_path) const { return root() + device_path; }

  void write(const std::string& device_path, const std::string& bytes) const {
    FILE* f = fopen(host(device_path).c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  std::string read(const std::string& host_path) const {
    std::string out;
    FILE* f = fopen(host_path.c_str(), "rb");
    if (!f) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
  }
  void mkdir(const std::string& device_path) const {
    std::filesystem::create_directories(host(device_path));
  }
  bool exists(const std::string& host_path) const {
    std::error_code ec;
    return std::filesystem::symlink_status(host_path, ec).type() !=
           std::filesystem::file_type::not_found;
  }
  // Names in a host directory, sorted, with nothing hidden.
  std::string names(const std::string& host_dir) const {
    std::vector<std::string> v;
    for (const auto& e : std::filesystem::directory_iterator(host_dir))
      v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    std::string out;
    for (const auto& n : v) out += (out.empty() ? "" : " ") + n;
    return out;
  }

  DeviceFs fs;

 private:
  std::string base_;
};

}  // namespace rq::sim::testing
