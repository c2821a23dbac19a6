// The shell front end: its session state, the command line, the start-up probe and the
// read-dispatch loop.
#pragma once

#include <cstdio>

#include "device/device.h"
#include "local/progress.h"

namespace rq {

struct LineEditor;

// One shell session: the console it reads and writes, over a device connection it does not
// own (rqshell's main owns both; rqtool's run builds a session over its own connection).
// Handlers get it by reference, so several sessions can run side by side in one process (as
// the tests do). While the session lives, the device's link reports its failures to this
// session's console; the hook it replaced is put back when the session ends.
struct Shell {
  explicit Shell(Device& device);
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  Device& device;

  FILE* console_in = stdin;
  FILE* console_out = stdout;
  FILE* script = nullptr;        // the command script being read, if any
  LineEditor* editor = nullptr;  // set when the console is a terminal with line editing
  ProgressLine progress;         // transfer progress, drawn when someone watches it
  bool quit = false;

  // The link's report hook before this session took it over.
  LinkReport replaced_report = nullptr;
  void* replaced_report_context = nullptr;
};

// Runs the whole program: arguments as main() gets them. Returns the exit status
// (0 after q or end of console input, -1 for start-up failures).
int shell_main(Shell& c, int argc, char** argv);

// Reads and runs command lines from the current source until q or end of console input.
void run_command_loop(Shell& c);

}  // namespace rq
