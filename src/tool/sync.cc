#include "tool/sync.h"

#include "device/path_exchange.h"
#include "device/safe_replace.h"
#include "link/status.h"
#include "local/interrupt_cleanup.h"
#include "local/platform.h"
#include "local/stream.h"
#include "local/whole_file.h"
#include "tool/file_commands.h"
#include "tool/json_output.h"
#include "tool/printable.h"
#include "tool/sync_plan.h"
#include "tool/transfer_commands.h"
#include "tool/tree_copy.h"

namespace rq {

namespace {

// ---- push: carried out on the device ----

std::string aside_name_of(const std::string& path) {
  char aside[kMaxPayload];
  return replace_side_path(path.c_str(), ReplaceSide::kOld, aside, sizeof aside) < 0 ? path : aside;
}

// Why a safe replace stopped, and where it left the old file.
int replace_failure(Tool& t, const SyncAction& a, const ReplaceResult& rr) {
  std::string what =
      "sync: " + std::string(rr.stage == ReplaceStage::kUpload ? "put " : "replace ") + a.path;
  std::string text = link_failed(t) ? link_text(t)
                                    : std::string(status_text(rr.result.code)) + " (status " +
                                          std::to_string(rr.result.code) + ")";
  if (rr.old_left_aside)
    text +=
        "; the old file is left as " + aside_name_of(a.path) + ", which the next sync puts back";
  else if (link_failed(t))
    text += "; the next sync puts right what the cut left";
  int status = link_failed(t) ? kExitLink : kExitDevice;
  const Step step = rr.stage == ReplaceStage::kUpload ? rr.transfer.result.step : rr.result.step;
  return tool_fail(t, status, fail_step_for(step), rr.result.code, what + ": " + text);
}

// A local file to the device under a temporary name, then moved over the old one.
int send_file(Tool& t, SyncAction& a) {
  std::string what = "sync: put " + a.from + " " + a.path;
  StreamSource source;
  if (open_send_source(t, what, a.from, source) != kExitOk) return t.failure.status;
  set_interrupt_note(("rqtool: interrupted: " + a.path +
                      " on the device holds its old or its new content; the next sync puts "
                      "right what the cut left")
                         .c_str());
  DataSource data = stream_source(source);
  ProgressView view;
  view.tool = &t;
  DeviceEvents events = view.events();
  ReplaceResult rr = safe_replace(
      t.device, a.path.c_str(), static_cast<int32_t>(source.size), data,
      a.destination_exists ? ReplaceTarget::kExists : ReplaceTarget::kMissing, &events);
  progress_finish(view.progress);
  set_interrupt_note("");
  if (rr.transfer.result.step == Step::kSource) {
    // The device waits for bytes that will not come: only closing the link ends the put.
    link_close(t.device.link);
    std::string why = source.read_error
                          ? "cannot read " + a.from + ": " + local_error_text(source.read_error)
                          : a.from + " changed size while being sent";
    return local_fail(t, source.read_error,
                      what + ": " + why + "; the connection was closed and " + a.path +
                          " on the device was left as it was");
  }
  if (!rr.result.ok()) return replace_failure(t, a, rr);
  a.size = source.size;
  if (rr.aside_not_removed)
    tool_warn(t,
              "sync: " + aside_name_of(a.path) + " could not be removed; the next sync removes it");
  return kExitOk;
}

int push_action(Tool& t, SyncAction& a) {
  switch (a.kind) {
    case SyncActionKind::kCopy: return send_file(t, a);
    case SyncActionKind::kMakeDir: {
      Result r = path_command(t.device, kCmdMkdir, a.path.c_str());
      return r.ok() ? kExitOk : device_fail(t, "sync: cannot make directory " + a.path, r);
    }
    case SyncActionKind::kDelete: {
      if (a.directory) return tool_rm(t, RmArgs{a.path, true, false});
      Result r = path_command(t.device, kCmdRm, a.path.c_str());
      return r.ok() ? kExitOk : device_fail(t, "sync: cannot remove " + a.path, r);
    }
    case SyncActionKind::kRestore:
    case SyncActionKind::kRemoveLeftover: {
      RepairAction repair;
      repair.side_path = a.from;
      repair.target_path = a.path;
      repair.restored = a.kind == SyncActionKind::kRestore;
      Result r = apply_replace_repair(t.device, repair);
      if (r.ok()) return kExitOk;
      return device_fail(t,
                         repair.restored ? "sync: cannot put " + a.from + " back as " + a.path
                                         : "sync: cannot remove " + a.from,
                         r);
    }
  }
  return kExitOk;
}

// ---- pull: carried out locally ----

int cannot(Tool& t, const std::string& doing, const std::string& path, int error) {
  return local_fail(t, error,
                    "sync: cannot " + doing + " " + path + ": " + local_error_text(error));
}

// A local file, link or whole directory tree; a link goes as itself, never what it leads to.
int remove_local(Tool& t, const std::string& path, int depth) {
  LocalStat st = local_lstat(path);
  if (st.kind == LocalKind::kMissing) return kExitOk;
  if (st.kind != LocalKind::kDirectory) {
    int error = local_remove_file(path);
    // A link to a directory is itself a directory where links are made as such (Windows).
    if (error && st.kind == LocalKind::kLink && local_remove_dir(path) == 0) error = 0;
    return error ? cannot(t, "remove", path, error) : kExitOk;
  }
  if (depth > 64) return local_fail(t, 0, "sync: cannot remove " + path + ": too deep");
  std::vector<std::string> names;
  int error = local_list_dir(path, &names);
  if (error) return cannot(t, "read directory", path, error);
  for (const std::string& name : names) {
    std::string child = join_local(path, name);
    if (remove_local(t, child, depth + 1) != kExitOk) return t.failure.status;
  }
  error = local_remove_dir(path);
  return error ? cannot(t, "remove", path, error) : kExitOk;
}

int pull_action(Tool& t, SyncAction& a) {
  switch (a.kind) {
    case SyncActionKind::kCopy: {
      TransferSummary one;
      int status = tool_get(t, a.from, a.path, one);
      if (status == kExitOk) a.size = one.bytes;
      return status;
    }
    case SyncActionKind::kMakeDir: {
      int error = local_make_dir(a.path);
      return error ? cannot(t, "make directory", a.path, error) : kExitOk;
    }
    case SyncActionKind::kDelete: return remove_local(t, a.path, 0);
    case SyncActionKind::kRestore:
    case SyncActionKind::kRemoveLeftover:
      break;  // the device's leftovers are put right by a push; a pull changes nothing there
  }
  return kExitOk;
}

void count_done(SyncSummary& s, const SyncAction& a) {
  switch (a.kind) {
    case SyncActionKind::kCopy:
      ++s.files;
      s.bytes += a.size;
      break;
    case SyncActionKind::kMakeDir: ++s.directories; break;
    case SyncActionKind::kDelete: ++s.deleted; break;
    case SyncActionKind::kRestore:
    case SyncActionKind::kRemoveLeftover: ++s.repaired; break;
  }
}

const char* action_word(SyncActionKind kind) {
  switch (kind) {
    case SyncActionKind::kCopy: return "copy";
    case SyncActionKind::kMakeDir: return "mkdir";
    case SyncActionKind::kDelete: return "delete";
    case SyncActionKind::kRestore: return "restore";
    case SyncActionKind::kRemoveLeftover: return "remove";
  }
  return "";
}

// The reason as JSON names it, and as the text line says it.
const char* reason_word(SyncReason reason) {
  switch (reason) {
    case SyncReason::kNone: return "";
    case SyncReason::kNew: return "new";
    case SyncReason::kSize: return "size";
    case SyncReason::kContent: return "content";
    case SyncReason::kType: return "type";
    case SyncReason::kExtra: return "extra";
    case SyncReason::kLeftover: return "leftover";
  }
  return "";
}

const char* reason_text(SyncReason reason) {
  switch (reason) {
    case SyncReason::kNone: return "";
    case SyncReason::kNew: return "new";
    case SyncReason::kSize: return "size differs";
    case SyncReason::kContent: return "content differs";
    case SyncReason::kType: return "type differs";
    case SyncReason::kExtra: return "not in the source";
    case SyncReason::kLeftover: return "left by a cut";
  }
  return "";
}

// The path an action line shows: a directory with a trailing slash, as ls shows it; the
// leftover itself for a removal.
std::string shown_path(const SyncAction& a) {
  std::string path = a.kind == SyncActionKind::kRemoveLeftover ? a.from : a.path;
  if (a.directory && !path.empty() && path.back() != '/') path += '/';
  return path;
}

nlohmann::ordered_json json_action(const SyncAction& a) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  j["action"] = action_word(a.kind);
  json_text(j, "path", a.kind == SyncActionKind::kRemoveLeftover ? a.from : a.path);
  j["type"] = a.directory ? "directory" : "file";
  j["reason"] = reason_word(a.reason);
  if (a.kind == SyncActionKind::kCopy || a.kind == SyncActionKind::kRestore)
    json_text(j, "from", a.from);
  if (a.kind == SyncActionKind::kCopy && a.size >= 0) j["bytes"] = a.size;
  j["done"] = a.done;
  return j;
}

nlohmann::ordered_json json_sync(const SyncSummary& s, int status) {
  nlohmann::ordered_json r = nlohmann::ordered_json::object();
  json_text(r, "from", s.from);
  json_text(r, "to", s.to);
  r["direction"] = s.pull ? "pull" : "push";
  r["dry_run"] = s.dry_run;
  nlohmann::ordered_json actions = nlohmann::ordered_json::array();
  for (const SyncAction& a : s.actions) actions.push_back(json_action(a));
  r["actions"] = actions;
  r["files"] = s.files;
  r["bytes"] = s.bytes;
  r["directories"] = s.directories;
  r["deleted"] = s.deleted;
  r["repaired"] = s.repaired;
  r["unchanged"] = s.unchanged;
  r["seconds"] = s.seconds;
  if (!s.possibly_incomplete.empty()) {
    // Bad bytes in a name become U+FFFD when the object is written.
    r["possibly_incomplete"] = s.possibly_incomplete;
  }
  r["outcome"] = status == kExitOk ? "ok" : "failed";
  return r;
}

// ", 2 leftovers put right" in a summary, where there were any.
std::string leftovers_part(int64_t count, const char* done) {
  if (count == 0) return "";
  return ", " + std::to_string(count) + (count == 1 ? " leftover " : " leftovers ") + done;
}

}  // namespace

int tool_sync(Tool& t, const SyncArgs& a, SyncSummary& s) {
  s.from = a.source;
  s.to = a.dest;
  s.pull = a.pull;
  s.dry_run = a.dry_run;
  int status = plan_sync(t, a, s);
  if (status != kExitOk || a.dry_run) {
    if (status == kExitOk && !t.json)
      for (const SyncAction& action : s.actions) print_sync_action(t, s, action);
    return status;
  }
  Stopwatch clock;
  for (SyncAction& action : s.actions) {
    status = a.pull ? pull_action(t, action) : push_action(t, action);
    if (status != kExitOk) break;
    action.done = true;
    count_done(s, action);
    if (!t.json) print_sync_action(t, s, action);
  }
  s.seconds = clock.seconds();
  return status;
}

void print_sync_action(Tool& t, const SyncSummary&, const SyncAction& a) {
  std::string path = printable_line(shown_path(a));
  fprintf(t.out, "%s ", action_word(a.kind));
  fwrite(path.data(), 1, path.size(), t.out);
  fprintf(t.out, " (%s)\n", reason_text(a.reason));
  fflush(t.out);
}

void print_sync_summary(Tool& t, const SyncSummary& s) {
  if (t.options.quiet) return;
  if (s.dry_run) {
    int64_t copies = 0, directories = 0, deletions = 0, repairs = 0;
    for (const SyncAction& a : s.actions) {
      copies += a.kind == SyncActionKind::kCopy;
      directories += a.kind == SyncActionKind::kMakeDir;
      deletions += a.kind == SyncActionKind::kDelete;
      repairs += a.kind == SyncActionKind::kRestore || a.kind == SyncActionKind::kRemoveLeftover;
    }
    fprintf(t.err,
            "rqtool: sync --dry-run: %lld to copy, %lld director%s to make, %lld to delete%s, "
            "%lld unchanged; nothing was changed\n",
            static_cast<long long>(copies), static_cast<long long>(directories),
            directories == 1 ? "y" : "ies", static_cast<long long>(deletions),
            leftovers_part(repairs, "to put right").c_str(), static_cast<long long>(s.unchanged));
    return;
  }
  double kb_per_s = s.seconds > 0 ? s.bytes / 1000.0 / s.seconds : 0;
  fprintf(t.err,
          "rqtool: sync: %lld copied, %lld director%s made, %lld deleted%s, %lld unchanged; "
          "%lld bytes in %.3f s (%.1f KB/s)\n",
          static_cast<long long>(s.files), static_cast<long long>(s.directories),
          s.directories == 1 ? "y" : "ies", static_cast<long long>(s.deleted),
          leftovers_part(s.repaired, "put right").c_str(), static_cast<long long>(s.unchanged),
          static_cast<long long>(s.bytes), s.seconds, kb_per_s);
}

int present(Tool& t, int status, const SyncSummary& s) {
  if (t.json) {
    write_json(t, status, json_sync(s, status));
  } else if (status == kExitOk) {
    print_sync_summary(t, s);
  }
  return status;
}

}  // namespace rq
