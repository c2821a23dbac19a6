#include "tool/command_table.h"

#include "link/protocol.h"
#include "tool/diag_commands.h"
#include "tool/file_commands.h"
#include "tool/present.h"
#include "tool/script_run.h"
#include "tool/sync.h"
#include "tool/transfer_commands.h"
#include "tool/tree_copy.h"
#include "tool/verify.h"

namespace rq {

namespace {

// The groups of commands, with their summaries.
struct CommandGroup {
  const char* word;
  const char* summary;
};
constexpr CommandGroup kCommandGroups[] = {
    {"boot", "read or write boot images 1-3"},
};

struct NoArgs {};

// ---- how each command declares its options and arguments ----

void declare_nothing(CLI::App&, NoArgs&) {}

void declare_ping(CLI::App& sub, PingArgs& a) {
  sub.add_option("-c", a.count, "round trips")->check(CLI::Range(1, 1000000000));
}

void declare_ls(CLI::App& sub, LsArgs& a) {
  sub.add_flag("-l", a.long_form, "each file with its size and record fields");
  sub.add_flag("-R", a.recursive, "the subdirectories' listings too");
  sub.add_option("PATH", a.path, "device path (default /)");
}

void declare_mkdir(CLI::App& sub, MkdirArgs& a) {
  sub.add_flag("-p", a.parents, "make missing parents; an existing directory is fine");
  sub.add_option("PATH", a.path)->required();
}

void declare_rm(CLI::App& sub, RmArgs& a) {
  sub.add_flag("-r", a.recursive, "remove a directory tree");
  sub.add_flag("-f", a.force, "a path that does not exist is no error");
  sub.add_option("PATH", a.path)->required();
}

void declare_rename(CLI::App& sub, RenameArgs& a) {
  sub.add_option("OLD", a.old_name)->required();
  sub.add_option("NEW", a.new_name)->required();
}

void declare_path(CLI::App& sub, PathArgs& a) { sub.add_option("PATH", a.path)->required(); }

void declare_format(CLI::App& sub, FormatArgs& a) {
  sub.add_flag("--yes", a.yes, "required: formatting erases the device");
}

// Sources, then where they go, as one list whose last path is the destination. CLI11 counts
// expected(2, ...) as met by one path alone, which would be the destination of no sources:
// the callback counts, and the ParseError it throws ends as a usage error like any other.
void declare_sources_and_dest(CLI::App& sub, TreeArgs& a, const char* name,
                              const char* description) {
  sub.add_option(name, a.sources, description)->required()->expected(2, 1 << 30)->type_name("");
  sub.callback([&a] {
    if (a.sources.size() < 2) throw CLI::ArgumentMismatch("DEST is required");
    a.dest = a.sources.back();
    a.sources.pop_back();
  });
}

void declare_put(CLI::App& sub, TreeArgs& a) {
  sub.add_flag("-r", a.recursive, "copy directories and all they hold");
  sub.add_flag("-L", a.follow_links, "follow symbolic links inside a tree");
  sub.add_flag("--verify", a.verify, "read each file back and compare it");
  declare_sources_and_dest(sub, a, "LOCAL... DEST",
                           "local files or directories, then where they go");
}

void declare_get(CLI::App& sub, TreeArgs& a) {
  sub.add_flag("-r", a.recursive, "copy directories and all they hold");
  declare_sources_and_dest(sub, a, "DEVICE... DEST",
                           "device files or directories, then where they go");
}

void declare_sync(CLI::App& sub, SyncArgs& a) {
  sub.add_flag("--pull", a.pull, "from the device to a local directory");
  sub.add_flag("--delete", a.remove_extras, "remove what the source lacks");
  sub.add_flag("--checksum", a.checksum, "compare files of the same size byte for byte");
  sub.add_flag("--dry-run", a.dry_run, "list what would be done; change nothing");
  sub.add_flag("-L", a.follow_links, "follow symbolic links inside the local tree");
  sub.add_option("SOURCE", a.source, "the directory to copy from")->required();
  sub.add_option("DEST", a.dest, "the directory that comes to hold what SOURCE holds")->required();
}

void declare_verify(CLI::App& sub, VerifyArgs& a) {
  sub.add_option("LOCAL", a.local)->required();
  sub.add_option("DEVICE", a.device_name)->required();
}

void declare_boot_image(CLI::App& sub, BootArgs& a) {
  sub.add_option("N", a.boot)->required()->check(CLI::Range(1, 3));
  sub.add_option("FILE", a.local)->required();
}

void declare_boot_write(CLI::App& sub, BootArgs& a) {
  sub.add_flag("--no-verify", a.no_verify, "do not read the image back");
  declare_boot_image(sub, a);
}

void declare_run(CLI::App& sub, RunArgs& a) {
  sub.add_flag("--keep-going", a.keep_going, "go on after a failure");
  sub.add_flag("--echo", a.echo, "print each command as > command before it runs");
  sub.add_option("SCRIPT", a.script)->required();
}

void declare_diag(CLI::App& sub, DiagArgs& a) {
  sub.add_flag("--go", a.go, "go on at every key prompt of the audio test");
  sub.add_option("--ask", a.ask,
                 "answer each prompt by running CMD QUESTION (exit 0 yes, 1 no) "
                 "instead of reading standard input")
      ->type_name("CMD");
  sub.add_option("TEST", a.test)->required()->check(CLI::IsMember(diag_test_words()));
}

std::string diag_summary() {
  std::string words;
  for (const std::string& w : diag_test_words()) words += (words.empty() ? "" : ", ") + w;
  return "run a device self-test: " + words;
}

// ---- what each command checks beyond the parser ----

std::string check_format(const Tool&, const FormatArgs& a) {
  return a.yes ? "" : "format erases the device: give --yes to go ahead";
}

std::string check_get(const Tool& t, const TreeArgs& a) {
  if (t.json && a.dest == "-")
    return "--json: get to standard output would mix the file with the JSON";
  return "";
}

// ---- how each command runs and presents its result ----

int run_ping(Tool& t, const PingArgs& a) {
  PingSummary s;
  return present(t, tool_ping(t, a, s), s);
}

int run_ver(Tool& t, const NoArgs&) {
  VerReport v;
  return present(t, tool_ver(t, v), v);
}

int run_ls(Tool& t, const LsArgs& a) {
  LsListing listing;
  return present(t, tool_ls(t, a, listing), listing);
}

int run_mv(Tool& t, const RenameArgs& a) { return tool_rename_copy(t, "mv", kCmdMv, a); }
int run_cp(Tool& t, const RenameArgs& a) { return tool_rename_copy(t, "cp", kCmdCp, a); }
int run_format(Tool& t, const FormatArgs&) { return tool_format(t); }

// The transfers, whose summaries one presenter shows.
template <typename Args, int (*Transfer)(Tool&, const Args&, TransferSummary&)>
int run_transfer(Tool& t, const Args& a) {
  TransferSummary s;
  return present(t, Transfer(t, a, s), s);
}

int run_sync(Tool& t, const SyncArgs& a) {
  SyncSummary s;
  return present(t, tool_sync(t, a, s), s);
}

int run_script(Tool& t, const RunArgs& a) {
  RunSummary s;
  return present(t, tool_run(t, a, s), s);
}

int run_diag(Tool& t, const DiagArgs& a) {
  DiagReport r;
  return present(t, tool_diag(t, a, r), r);
}

// The group's subcommand of app, made on first use.
CLI::App* command_group(CLI::App& app, const std::string& word) {
  auto named = [&word](CLI::App* sub) { return sub->get_name() == word; };
  std::vector<CLI::App*> found = app.get_subcommands(named);
  if (!found.empty()) return found[0];
  const char* summary = "";
  for (const CommandGroup& g : kCommandGroups)
    if (word == g.word) summary = g.summary;
  CLI::App* group = app.add_subcommand(word, summary);
  group->require_subcommand(1);
  return group;
}

}  // namespace

std::vector<ToolCommand> tool_commands() {
  return {
      command_row("ping", "round trips: N pings: min/avg/max", declare_ping, run_ping),
      command_row("ver", "print the device's build text", declare_nothing, run_ver),
      command_row("ls", "list a directory (dirs end in /) or a file's record", declare_ls, run_ls),
      command_row("mkdir", "make a directory", declare_mkdir, tool_mkdir),
      command_row("rm", "remove a file or an empty directory", declare_rm, tool_rm),
      command_row("mv", "rename a file or directory", declare_rename, run_mv),
      command_row("cp", "copy a file on the device", declare_rename, run_cp),
      command_row("launch", "start an ELF program on the device", declare_path, tool_launch),
      command_row("format", "erase the device's file system", declare_format, run_format,
                  check_format),
      command_row("put", "send local files or trees: put [-r] LOCAL... DEST", declare_put,
                  run_transfer<TreeArgs, tool_put_tree>),
      command_row("get",
                  "fetch device files or trees: get [-r] DEVICE... DEST (DEST - : standard "
                  "output)",
                  declare_get, run_transfer<TreeArgs, tool_get_tree>, check_get),
      command_row("sync",
                  "copy what differs: sync LOCAL_DIR DEVICE_DIR, sync --pull DEVICE_DIR "
                  "LOCAL_DIR",
                  declare_sync, run_sync),
      command_row("verify", "compare a local file with a device file", declare_verify,
                  run_transfer<VerifyArgs, tool_verify>),
      command_row("boot read", "read boot image N into FILE", declare_boot_image,
                  run_transfer<BootArgs, tool_boot_read>),
      command_row("boot write", "write FILE to boot image N, then verify", declare_boot_write,
                  run_transfer<BootArgs, tool_boot_write>),
      command_row("boot verify", "compare boot image N with FILE", declare_boot_image,
                  run_transfer<BootArgs, tool_boot_verify>),
      command_row("run", "run an rqshell command script, stopping at a failure", declare_run,
                  run_script),
      command_row("diag", diag_summary(), declare_diag, run_diag),
  };
}

void declare_commands(CLI::App& app, std::vector<ToolCommand>& commands) {
  for (ToolCommand& c : commands) {
    size_t blank = c.name.find(' ');
    CLI::App* parent =
        blank == std::string::npos ? &app : command_group(app, c.name.substr(0, blank));
    c.sub = parent->add_subcommand(blank == std::string::npos ? c.name : c.name.substr(blank + 1),
                                   c.summary);
    c.declare(*c.sub);
  }
}

ToolCommand* parsed_command(std::vector<ToolCommand>& commands) {
  for (ToolCommand& c : commands)
    if (c.sub && c.sub->parsed()) return &c;
  return nullptr;
}

}  // namespace rq
