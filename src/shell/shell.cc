#include "shell/shell.h"

#include <cstdlib>

#include "local/interrupt_cleanup.h"
#include "local/platform.h"
#include "local/progress.h"
#include "shell/args.h"
#include "shell/commands.h"
#include "shell/console.h"
#include "shell/failure_report.h"
#include "shell/line.h"
#include "shell/ping_command.h"

namespace rq {

namespace {
constexpr size_t kLineSize = 1024;
}  // namespace

Shell::Shell(Device& d)
    : device(d),
      replaced_report(d.link.report),
      replaced_report_context(d.link.report_context) {
  device.link.report = report_link_event;
  device.link.report_context = this;
}

Shell::~Shell() {
  device.link.report = replaced_report;
  device.link.report_context = replaced_report_context;
}

void run_command_loop(Shell& c) {
  char line[kLineSize];
  while (!c.quit) {
    bool from_script = c.script != nullptr;
    char* got = from_script ? fgets(line, sizeof line, c.script)
                            : console_read_line(c, line, sizeof line, "> ");
    if (!got) {
      if (!c.script) break;
      fclose(c.script);
      c.script = nullptr;
      continue;
    }
    char* command = skip_blanks(line);
    trim_line(command);
    if (*command) dispatch_command(c, command);
  }
  fflush(c.console_out);
}

int shell_main(Shell& c, int argc, char** argv) {
  const char* script = nullptr;
  const char* server = "127.0.0.1";
  int port = kDefaultProxyPort;
  switch (argc - 1) {
    case 0: break;
    case 1: script = argv[1]; break;
    case 2: server = argv[1]; port = atoi(argv[2]); break;
    case 3: script = argv[1]; server = argv[2]; port = atoi(argv[3]); break;
    default: print_help(c); return -1;
  }
  if (script) {
    c.script = fopen(script, "rb");
    if (!c.script) {
      fprintf(c.console_out, "Cannot open given cmd script file %s\n", script);
      return -1;
    }
  }
  if (link_connect(c.device.link, server, port) != 0) {
    if (c.script) fclose(c.script);
    c.script = nullptr;
    return -1;
  }
  // A proxy that speaks first keeps its message for the first command; otherwise greet it.
  ProbeResult probe = startup_probe(c.device);
  if (probe.pinged) report_ping(c, probe.ping);
  // Before the first command: an interrupted download removes its temporary file.
  install_interrupt_cleanup(kEveryInterrupt, WindowsInterruptExit::kConsoleDefault);
  console_start_editor(c);
  // After the interrupt clean-up, so that an interrupt puts the console's mode back as well.
  progress_on_stderr(c.progress);
  run_command_loop(c);
  stderr_restore_mode();
  console_stop_editor(c);
  link_close(c.device.link);
  if (c.script) fclose(c.script);
  c.script = nullptr;
  return 0;
}

}  // namespace rq
