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
#include "support/files.h"

namespace rq::sim::testing {

class TestRoot {
 public:
  TestRoot() : base_(dir_.path()) {
    std::filesystem::create_directories(base_ + "/root");
    std::filesystem::create_directories(base_ + "/boot");
    std::filesystem::create_directories(base_ + "/outside");
    fs.root_fd = open(root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  ~TestRoot() { close(fs.root_fd); }
  TestRoot(const TestRoot&) = delete;
  TestRoot& operator=(const TestRoot&) = delete;

  std::string root() const { return base_ + "/root"; }
  std::string boot_dir() const { return base_ + "/boot"; }
  // A directory beside the root that no device path may reach.
  std::string outside() const { return base_ + "/outside"; }
  std::string host(const std::string& device_path) const { return root() + device_path; }

  void write(const std::string& device_path, const std::string& bytes) const {
    rq::testing::write_file(host(device_path), bytes);
  }
  std::string read(const std::string& host_path) const { return rq::testing::read_file(host_path); }
  void mkdir(const std::string& device_path) const {
    std::filesystem::create_directories(host(device_path));
  }
  bool exists(const std::string& host_path) const { return rq::testing::file_exists(host_path); }
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
  rq::testing::TempDir dir_;
  std::string base_;
};

}  // namespace rq::sim::testing
