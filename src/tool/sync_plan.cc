#include "tool/sync_plan.h"

#include "device/file_transfer.h"
#include "device/safe_replace.h"
#include "local/platform.h"
#include "local/stream.h"
#include "tool/transfer_commands.h"

namespace rq {

SyncAction& Planner::add(SyncActionKind kind, SyncReason reason, const std::string& path,
                         const std::string& from, bool directory) {
  SyncAction action;
  action.kind = kind;
  action.reason = reason;
  action.path = path;
  action.from = from;
  action.directory = directory || kind == SyncActionKind::kMakeDir;
  s.actions.push_back(action);
  return s.actions.back();
}

bool is_replace_side_name(const std::string& name) {
  ReplaceSide side;
  std::string target;
  return parse_replace_side_name(name, &side, &target);
}

int sync_compare(Tool& t, const std::string& local, const std::string& device_path, bool* differ) {
  std::string what = "sync: compare " + local + " " + device_path;
  StreamSource source;
  LocalFailure f = open_stream_source(source, local);
  if (!f.ok()) return local_source_fail(t, what, local, f);
  CompareSink compare;
  compare.fd = source.fd;
  DataSink sink = compare_sink(compare);
  ProgressView view;
  view.tool = &t;
  DeviceEvents events = view.events();
  TransferResult back = get_file(t.device, device_path.c_str(), sink, &events);
  progress_finish(view.progress);
  if (!back.result.ok()) return device_fail(t, what, back.result);
  if (compare.read_error)
    return local_fail(
        t, compare.read_error,
        what + ": cannot read " + local + ": " + local_error_text(compare.read_error));
  *differ = compare.first_difference >= 0 || back.moved != source.size;
  return kExitOk;
}

int plan_sync(Tool& t, const SyncArgs& a, SyncSummary& s) {
  Planner p{t, a, s};
  return a.pull ? plan_pull(p) : plan_push(p);
}

}  // namespace rq
