#include <memory>

#include "device/device.h"
#include "shell/shell.h"

int main(int argc, char** argv) {
  // The device's buffers are large; keep them off the stack.
  auto device = std::make_unique<rq::Device>();
  rq::Shell session(*device);
  return rq::shell_main(session, argc, argv);
}
