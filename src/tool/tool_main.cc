// The command line: global options before the command, one subcommand per device command,
// and the dispatch to the commands and their presenters. Every usage error exits 2 with a
// short usage line; --help and --version exit 0.
#include "tool/tool_main.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/version.h"
#include "local/interrupt_cleanup.h"
#include "local/platform.h"
#include "local/progress.h"
#include "tool/diag_commands.h"
#include "tool/file_commands.h"
#include "tool/json_output.h"
#include "tool/script_run.h"
#include "tool/sync.h"
#include "tool/tool.h"
#include "tool/transfer_commands.h"
#include "tool/tree_copy.h"
#include "tool/verify.h"

namespace rq {

namespace {

constexpr const char* kUsageLine =
    "usage: rqtool [OPTIONS] COMMAND [ARGS...]  (rqtool --help lists the commands)";

constexpr const char* kFooter =
    "Device paths are relative to /: every run is a new connection.\n"
    "Exit status: 0 success, 1 the device refused or answered a non-zero status, 2 usage,\n"
    "3 link (connect, lost, time-out, bad frame, ping out of sync), 4 local file,\n"
    "5 verification, 6 diag cancelled; killed by the signal on SIGINT, SIGTERM or SIGHUP.\n"
    "--json: one JSON object on standard output for every outcome (see rqtool(1)).";

// Every argument the parsed command needs.
struct Parsed {
  PingArgs ping;
  std::string path, old_name, new_name, local;
  MkdirArgs mkdir;
  RmArgs rm;
  bool yes = false;
  int boot = 0;
  bool no_verify = false;
  RunArgs run;
  LsArgs ls;
  TreeArgs tree;
  DiagArgs diag;
  SyncArgs sync;
};

// The first argument that is not a global option (or its value): the command's name.
std::string command_word(const std::vector<std::string>& args) {
  static const char* const kWithValue[] = {"-H", "--host",    "-p", "--port",
                                           "-t", "--timeout", "-w", "--wait"};
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") return i + 1 < args.size() ? args[i + 1] : "";
    if (a.empty() || a[0] != '-') return a;
    for (const char* w : kWithValue)
      if (a == w) ++i;
  }
  return "";
}

// --trace takes its file only as --trace=FILE, so that `--trace ping` traces a ping rather
// than writing the trace into a file named "ping". CLI11 cannot say that, so the option is
// taken out here, among the global options (those before the command).
void take_trace_option(std::vector<std::string>& args, ToolOptions& o) {
  static const char* const kWithValue[] = {"-H", "--host",    "-p", "--port",
                                           "-t", "--timeout", "-w", "--wait"};
  for (size_t i = 1; i < args.size();) {
    const std::string& a = args[i];
    if (a == "--") return;
    if (a == "--trace" || a.rfind("--trace=", 0) == 0) {
      o.trace = true;
      if (a.size() > 7) o.trace_file = a.substr(8);
      args.erase(args.begin() + static_cast<long>(i));
      continue;
    }
    if (a.empty() || a[0] != '-') return;  // the command
    bool takes_value = false;
    for (const char* w : kWithValue) takes_value = takes_value || a == w;
    i += takes_value ? 2 : 1;
  }
}

// --json, among the global options: known before the command line is parsed, so that a
// usage error is presented as JSON too. Text results then go to standard error.
void take_json_option(std::vector<std::string>& args, Tool& t) {
  static const char* const kWithValue[] = {"-H", "--host",    "-p", "--port",
                                           "-t", "--timeout", "-w", "--wait"};
  for (size_t i = 1; i < args.size();) {
    const std::string& a = args[i];
    if (a == "--") return;
    if (a == "--json") {
      t.json = true;
      t.text_errors = false;
      t.out = stderr;
      args.erase(args.begin() + static_cast<long>(i));
      continue;
    }
    if (a.empty() || a[0] != '-') return;  // the command
    bool takes_value = false;
    for (const char* w : kWithValue) takes_value = takes_value || a == w;
    i += takes_value ? 2 : 1;
  }
}

int usage_error(Tool& t, const std::string& text) {
  tool_fail(t, kExitUsage, "usage", 0, text);
  if (t.text_errors) fprintf(t.err, "%s\n", kUsageLine);
  return kExitUsage;
}

int open_trace(Tool& t) {
  if (!t.options.trace) return 0;
  FILE* f = stderr;
  if (!t.options.trace_file.empty()) {
    f = local_fopen(t.options.trace_file, "w");
    if (!f)
      return tool_fail(
          t, kExitLocalFile, "local", errno,
          "cannot open trace file " + t.options.trace_file + ": " + local_error_text(errno));
  }
  t.trace = f;
  t.device.link.trace = f;
  t.device.link.trace_name = "rqtool";
  t.device.link.trace_clock = true;
  return 0;
}

int run_tool(Tool& t, std::vector<std::string> args) {
  ToolOptions& o = t.options;
  take_trace_option(args, o);
  take_json_option(args, t);

  CLI::App app{"rqtool: one-shot commands for the device behind the proxy", "rqtool"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("rqtool ") + kVersion);
  app.require_subcommand(1);
  // Device paths begin with a slash: never read them as Windows-style options (subcommands
  // inherit this when they are made).
  app.allow_windows_style_options(false);
  // A repeated option takes its last value, as a wrapper script adding defaults expects.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.add_option("-H,--host", o.host, "the proxy's address: dotted IPv4 or a host name")
      ->capture_default_str();
  app.add_option("-p,--port", o.port, "the proxy's port")
      ->check(CLI::Validator(port_problem, "INT in [" + std::to_string(kLowestPort) + " - " +
                                               std::to_string(kHighestPort) + "]"))
      ->capture_default_str();
  CLI::Option* timeout =
      app.add_option("-t,--timeout", o.timeout_s,
                     "give up when a send or receive makes no progress for SEC seconds "
                     "(0: wait for ever; format waits at least 300 s unless given)")
          ->check(CLI::Validator(seconds_problem, "SEC"))
          ->type_name("SEC")
          ->capture_default_str();
  app.add_option("-w,--wait", o.wait_s,
                 "retry every 0.5 s for up to SEC seconds until the proxy answers")
      ->check(CLI::Validator(seconds_problem, "SEC"))
      ->type_name("SEC");
  // Shown in the help only: take_trace_option has taken it out of the arguments.
  bool trace_shown = false;
  app.add_flag("--trace", trace_shown,
               "every frame both ways on standard error (--trace=FILE: into FILE)");
  app.add_flag("-q,--quiet", o.quiet, "no summary lines, no progress line");
  // Shown in the help only: take_json_option has taken it out of the arguments.
  bool json_shown = false;
  app.add_flag("--json", json_shown, "one JSON object on standard output says how the run ended");

  Parsed p;
  auto* ping = app.add_subcommand("ping", "round trips: N pings: min/avg/max");
  ping->add_option("-c", p.ping.count, "round trips")->check(CLI::Range(1, 1000000000));
  app.add_subcommand("ver", "print the device's build text");
  auto* ls = app.add_subcommand("ls", "list a directory (dirs end in /) or a file's record");
  ls->add_flag("-l", p.ls.long_form, "each file with its size and record fields");
  ls->add_flag("-R", p.ls.recursive, "the subdirectories' listings too");
  ls->add_option("PATH", p.path, "device path (default /)");
  auto* mkdir = app.add_subcommand("mkdir", "make a directory");
  mkdir->add_flag("-p", p.mkdir.parents, "make missing parents; an existing directory is fine");
  mkdir->add_option("PATH", p.mkdir.path)->required();
  auto* rm = app.add_subcommand("rm", "remove a file or an empty directory");
  rm->add_flag("-r", p.rm.recursive, "remove a directory tree");
  rm->add_flag("-f", p.rm.force, "a path that does not exist is no error");
  rm->add_option("PATH", p.rm.path)->required();
  auto* mv = app.add_subcommand("mv", "rename a file or directory");
  mv->add_option("OLD", p.old_name)->required();
  mv->add_option("NEW", p.new_name)->required();
  auto* cp = app.add_subcommand("cp", "copy a file on the device");
  cp->add_option("OLD", p.old_name)->required();
  cp->add_option("NEW", p.new_name)->required();
  auto* launch = app.add_subcommand("launch", "start an ELF program on the device");
  launch->add_option("PATH", p.path)->required();
  auto* format = app.add_subcommand("format", "erase the device's file system");
  format->add_flag("--yes", p.yes, "required: formatting erases the device");
  auto* put = app.add_subcommand("put", "send local files or trees: put [-r] LOCAL... DEST");
  put->add_flag("-r", p.tree.recursive, "copy directories and all they hold");
  put->add_flag("-L", p.tree.follow_links, "follow symbolic links inside a tree");
  put->add_flag("--verify", p.tree.verify, "read each file back and compare it");
  put->add_option("LOCAL... DEST", p.tree.sources, "local files or directories, then where they go")
      ->required()
      ->expected(2, 1 << 30)
      ->type_name("");
  auto* get = app.add_subcommand(
      "get", "fetch device files or trees: get [-r] DEVICE... DEST (DEST - : standard output)");
  get->add_flag("-r", p.tree.recursive, "copy directories and all they hold");
  get->add_option("DEVICE... DEST", p.tree.sources,
                  "device files or directories, then where they go")
      ->required()
      ->expected(2, 1 << 30)
      ->type_name("");
  auto* sync = app.add_subcommand(
      "sync", "copy what differs: sync LOCAL_DIR DEVICE_DIR, sync --pull DEVICE_DIR LOCAL_DIR");
  sync->add_flag("--pull", p.sync.pull, "from the device to a local directory");
  sync->add_flag("--delete", p.sync.remove_extras, "remove what the source lacks");
  sync->add_flag("--checksum", p.sync.checksum, "compare files of the same size byte for byte");
  sync->add_flag("--dry-run", p.sync.dry_run, "list what would be done; change nothing");
  sync->add_flag("-L", p.sync.follow_links, "follow symbolic links inside the local tree");
  sync->add_option("SOURCE", p.sync.source, "the directory to copy from")->required();
  sync->add_option("DEST", p.sync.dest, "the directory that comes to hold what SOURCE holds")
      ->required();
  auto* verify = app.add_subcommand("verify", "compare a local file with a device file");
  verify->add_option("LOCAL", p.local)->required();
  verify->add_option("DEVICE", p.path)->required();
  auto* boot = app.add_subcommand("boot", "read or write boot images 1-3");
  boot->require_subcommand(1);
  auto* boot_read = boot->add_subcommand("read", "read boot image N into FILE");
  boot_read->add_option("N", p.boot)->required()->check(CLI::Range(1, 3));
  boot_read->add_option("FILE", p.local)->required();
  auto* boot_write = boot->add_subcommand("write", "write FILE to boot image N, then verify");
  boot_write->add_flag("--no-verify", p.no_verify, "do not read the image back");
  boot_write->add_option("N", p.boot)->required()->check(CLI::Range(1, 3));
  boot_write->add_option("FILE", p.local)->required();
  auto* boot_verify = boot->add_subcommand("verify", "compare boot image N with FILE");
  boot_verify->add_option("N", p.boot)->required()->check(CLI::Range(1, 3));
  boot_verify->add_option("FILE", p.local)->required();
  auto* run = app.add_subcommand("run", "run an rqshell command script, stopping at a failure");
  run->add_flag("--keep-going", p.run.keep_going, "go on after a failure");
  run->add_flag("--echo", p.run.echo, "print each command as > command before it runs");
  run->add_option("SCRIPT", p.run.script)->required();
  CLI::App* diag = add_diag_command(app, p.diag);

  std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    app.exit(e);
    return kExitOk;
  } catch (const CLI::CallForAllHelp& e) {
    app.exit(e);
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    app.exit(e);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    std::string word = command_word(args);
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
      known = known || sub->get_name() == word;
    if (word.empty()) return usage_error(t, "no command given");
    if (!known) return usage_error(t, "unknown command '" + word + "'");
    t.command = word;
    return usage_error(t, e.what());
  }
  o.timeout_given = timeout->count() > 0;
  for (const CLI::App* sub : app.get_subcommands()) {
    t.command = sub->get_name();
    for (const CLI::App* inner : sub->get_subcommands()) t.command += " " + inner->get_name();
  }
  if (!o.quiet) progress_on_stderr(t.progress);
  if (format->parsed() && !p.yes)
    return usage_error(t, "format erases the device: give --yes to go ahead");
  if (put->parsed() || get->parsed()) {
    p.tree.dest = p.tree.sources.back();
    p.tree.sources.pop_back();
    p.local = p.tree.dest;
  }
  if (t.json && get->parsed() && p.local == "-")
    return usage_error(t, "--json: get to standard output would mix the file with the JSON");
  if (open_trace(t) != 0) return t.failure.status;

  if (ping->parsed()) {
    PingSummary s;
    return present_ping(t, tool_ping(t, p.ping, s), s);
  }
  if (app.got_subcommand("ver")) {
    std::string build;
    return present_ver(t, tool_ver(t, build), build);
  }
  if (ls->parsed()) {
    if (!p.path.empty()) p.ls.path = p.path;
    LsListing listing;
    return present_ls(t, tool_ls(t, p.ls, listing), listing);
  }
  if (mkdir->parsed()) return tool_mkdir(t, p.mkdir);
  if (rm->parsed()) return tool_rm(t, p.rm);
  if (mv->parsed()) return tool_rename_copy(t, "mv", kCmdMv, p.old_name, p.new_name);
  if (cp->parsed()) return tool_rename_copy(t, "cp", kCmdCp, p.old_name, p.new_name);
  if (launch->parsed()) return tool_launch(t, p.path);
  if (format->parsed()) return tool_format(t);
  if (sync->parsed()) {
    SyncSummary summary;
    return present_sync(t, tool_sync(t, p.sync, summary), summary);
  }
  TransferSummary s;
  int status = kExitUsage;
  if (put->parsed()) status = tool_put_tree(t, p.tree, s);
  if (get->parsed()) status = tool_get_tree(t, p.tree, s);
  if (verify->parsed()) status = tool_verify(t, p.local, p.path, s);
  if (boot_verify->parsed()) status = tool_boot_verify(t, p.boot, p.local, s);
  if (boot_read->parsed()) status = tool_boot_read(t, p.boot, p.local, s);
  if (boot_write->parsed()) status = tool_boot_write(t, p.boot, p.local, !p.no_verify, s);
  if (put->parsed() || get->parsed() || verify->parsed() || boot->parsed())
    return present_transfer(t, status, s);
  if (run->parsed()) {
    RunSummary summary;
    return present_run(t, tool_run(t, p.run, summary), summary);
  }
  if (diag->parsed()) {
    DiagReport report;
    return present_diag(t, tool_diag(t, p.diag, report), report);
  }
  return usage_error(t, "no command given");
}

}  // namespace

int tool_main(int argc, char** argv) {
  install_interrupt_cleanup(kEveryInterrupt, WindowsInterruptExit::kStatus130);
  std::vector<std::string> args(argv, argv + argc);
  // The session's buffers are large; keep them off the stack.
  auto tool = std::make_unique<Tool>();
  int status = run_tool(*tool, args);
  stderr_restore_mode();  // the progress line may have switched the console's mode
  // Commands without a result of their own, and usage errors, end with the bare object.
  if (tool->json) write_json(*tool, status, nlohmann::ordered_json::object());
  fflush(tool->out);
  if (tool->device.link.socket != kNoSocket) link_close(tool->device.link);
  if (tool->trace && tool->trace != stderr) fclose(tool->trace);
  return status;
}

}  // namespace rq
