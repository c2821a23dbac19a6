// What the console shows while a transfer runs: the progress line, the start of the timing
// for the rate report, and the line for an empty data frame. It turns a device operation's
// events into console output, in the order they happen.
#pragma once

#include <cstdint>

#include "device/device.h"
#include "local/progress.h"
#include "shell/shell.h"

namespace rq {

struct TransferView {
  explicit TransferView(Shell& shell) : c(shell) {}
  Shell& c;
  Progress progress;
  int64_t data_start_ms = 0;  // when the data phase began
  DeviceEvents events() { return DeviceEvents{this, on_event}; }

 private:
  static void on_event(void* context, const DeviceEvent& e);
};

// Printed when a data frame comes empty (the download goes on) and when one is lost.
void print_fetch_failed(Shell& c);

}  // namespace rq
