// examples/boot-write-all.sh as a production line runs it: several rqsim stand in for several
// devices, one rqtool per device writes the same boot image in parallel, and the script
// prints one result line per device.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

const std::string kScript = std::string(RQ_SOURCE_DIR) + "/examples/boot-write-all.sh";

class BootWriteAll : public ToolTest {
 protected:
  void TearDown() override {
    for (Sim& s : devices_) stop_sim(s);
    ToolTest::TearDown();
  }

  // A device of its own: root and boot images under dir_/device<N>.
  void add_device(const std::vector<std::string>& extra = {}) {
    const std::string base = dir_ / ("device" + std::to_string(devices_.size()));
    fs::create_directories(base + "/root");
    fs::create_directories(base + "/boots");
    std::vector<std::string> args = {"--root", base + "/root", "--boot-dir", base + "/boots"};
    args.insert(args.end(), extra.begin(), extra.end());
    devices_.emplace_back();
    ASSERT_TRUE(start_sim(devices_.back(), args, base + "/sim.err"))
        << read_file(base + "/sim.err");
  }
  std::string image_on(size_t device, int boot) const {
    return read_file(
        dir_ / ("device" + std::to_string(device) + "/boots/boot" + std::to_string(boot) + ".img"));
  }
  std::string address(int port) const { return "127.0.0.1:" + std::to_string(port); }

  e2e::Run run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"env", "RQTOOL=" + rqtool_bin(), "RQTOOL_TIMEOUT=10", "bash",
                                     kScript};
    argv.insert(argv.end(), args.begin(), args.end());
    e2e::Run r = run_program(argv, "", 60000, dir_.path());
    EXPECT_FALSE(r.timed_out) << r.out << r.err;
    return r;
  }

  std::vector<Sim> devices_;
};

TEST_F(BootWriteAll, WritesEveryDeviceAndReportsEachOnItsOwnLine) {
  const std::string image = random_bytes(100000, 9);
  write_file(dir_ / "boot.img", image);
  for (int i = 0; i < 3; ++i) add_device();
  e2e::Run r = run({"3", "boot.img", address(devices_[0].port), address(devices_[1].port),
                    address(devices_[2].port)});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, address(devices_[0].port) + " ok\n" + address(devices_[1].port) + " ok\n" +
                       address(devices_[2].port) + " ok\n");
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(image_on(i, 3) == image) << "device " << i;
}

TEST_F(BootWriteAll, AFailingDeviceIsNamedAndTheOthersStillGetTheImage) {
  const std::string image = random_bytes(50000, 10);
  write_file(dir_ / "boot.img", image);
  add_device();
  add_device({"--refuse", "wb:2=3"});  // refuses the image's first chunk
  add_device();
  const int closed = devices_.back().port;
  stop_sim(devices_.back());  // nothing listens there any more
  add_device();
  e2e::Run r = run({"2", "boot.img", address(devices_[0].port), address(devices_[1].port),
                    address(closed), address(devices_[3].port)});
  EXPECT_EQ(r.exit_status, 1) << r.err;
  const std::string expected_start[] = {
      address(devices_[0].port) + " ok\n",
      address(devices_[1].port) + " FAILED (exit 1, device refused): rqtool: ",
      address(closed) + " FAILED (exit 3, link): rqtool: ",
      address(devices_[3].port) + " ok\n",
  };
  size_t at = 0;
  for (const std::string& start : expected_start) {
    EXPECT_EQ(r.out.compare(at, start.size(), start), 0) << r.out;
    at = r.out.find('\n', at);
    if (at == std::string::npos) break;
    ++at;
  }
  EXPECT_EQ(at, r.out.size()) << "one line per device:\n" << r.out;
  EXPECT_TRUE(image_on(0, 2) == image);
  EXPECT_EQ(image_on(1, 2), "");
  EXPECT_TRUE(image_on(3, 2) == image);
}

TEST_F(BootWriteAll, UsageMistakesWriteNothing) {
  write_file(dir_ / "boot.img", "image");
  add_device();
  const std::string device = address(devices_[0].port);
  for (std::vector<std::string> args : {std::vector<std::string>{"4", "boot.img", device},
                                        {"2", "missing.img", device},
                                        {"2", "boot.img", "no-port"},
                                        {"2", "boot.img"}}) {
    e2e::Run r = run(args);
    EXPECT_EQ(r.exit_status, 2) << args[0] << " " << args[1];
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(image_on(0, 2), "");
}

}  // namespace
}  // namespace rq::e2e
