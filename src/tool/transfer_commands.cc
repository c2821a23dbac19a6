#include "tool/transfer_commands.h"

#include "device/file_transfer.h"
#include "local/download_target.h"
#include "local/interrupt_cleanup.h"
#include "local/platform.h"
#include "local/progress.h"
#include "local/stream.h"
#include "local/whole_file.h"
#include "tool/connect.h"
#include "tool/file_commands.h"

namespace rq {

namespace {

// The source failed part-way: its last chunk was held back, so the device never completed
// the file (device_side), but it still waits for bytes that will not come, and the
// connection cannot be reused.
int source_failure(Tool& t, const std::string& what, const std::string& local,
                   const std::string& device_side, const StreamSource& s) {
  link_close(t.device.link);
  std::string text = what + ": ";
  if (s.read_error)
    text += "cannot read " + local + ": " + local_error_text(s.read_error);
  else
    text +=
        local + " changed size while being sent (" + std::to_string(s.size) + " bytes announced)";
  text += "; the connection was closed before the last chunk, and the device may hold part of " +
          device_side;
  return local_fail(t, s.read_error, text);
}

int target_failure(Tool& t, const std::string& what, const std::string& name,
                   const LocalFailure& f) {
  const char* doing = f.failed == LocalFailed::kDirectory || f.failed == LocalFailed::kOpen
                          ? "cannot open "
                          : "cannot write ";
  return local_fail(t, f.error, what + ": " + doing + name + ": " + local_error_text(f.error));
}

// After a download's exchange: commits the file, or reports why not.
int finish_download(Tool& t, const std::string& what, const TransferResult& r,
                    DownloadTarget& file) {
  if (!r.result.ok()) {
    abandon_download_target(file);
    return device_fail(t, what, r.result);
  }
  bool to_stdout = file.to_stdout;
  LocalFailure f = commit_download_target(file);
  if (f.ok()) return kExitOk;
  std::string why = f.failed == LocalFailed::kReplace ? "cannot replace " + file.target
                    : to_stdout                       ? std::string("cannot write standard output")
                                                      : "cannot write " + file.target;
  return local_fail(t, f.error, what + ": " + why + ": " + local_error_text(f.error));
}

// Runs one transfer exchange with the progress line drawn from its events, erased after.
template <typename Exchange>
TransferResult with_progress(Tool& t, Exchange exchange) {
  ProgressView view;
  view.tool = &t;
  DeviceEvents events = view.events();
  TransferResult r = exchange(&events);
  progress_finish(view.progress);
  return r;
}

// Runs an upload's exchange over source with the progress line; from now until the caller
// clears it, an interrupt says that what (on the device) may be incomplete.
template <typename Exchange>
TransferResult upload(Tool& t, const std::string& what, StreamSource& source, Exchange exchange) {
  set_interrupt_note(("rqtool: interrupted: " + what + " on the device may be incomplete").c_str());
  DataSource data = stream_source(source);
  return with_progress(t, [&](const DeviceEvents* events) { return exchange(data, events); });
}

// After an upload's exchange to device_side: 0, or the failure's status.
int upload_outcome(Tool& t, const std::string& what, const std::string& local,
                   const std::string& device_side, const StreamSource& source,
                   const TransferResult& r) {
  if (r.result.step == Step::kSource) return source_failure(t, what, local, device_side, source);
  if (!r.result.ok()) return device_fail(t, what, r.result);
  // Nothing follows a boot image's last chunk that would show that it could not be sent.
  if (link_failed(t)) return device_fail(t, what, failed_at(Step::kData, kCodeLinkLost));
  return kExitOk;
}

}  // namespace

DeviceEvents ProgressView::events() { return DeviceEvents{this, on_event}; }

void ProgressView::on_event(void* context, const DeviceEvent& e) {
  auto& v = *static_cast<ProgressView*>(context);
  if (e.kind == DeviceEventKind::kDataBegin) progress_start(v.progress, v.tool->progress, e.value);
  if (e.kind == DeviceEventKind::kProgress) progress_update(v.progress, e.value);
}

int open_send_source(Tool& t, const std::string& what, const std::string& local, StreamSource& s) {
  LocalFailure f = open_stream_source(s, local);
  if (!f.ok()) return local_source_fail(t, what, local, f);
  if (s.size > static_cast<int64_t>(kMaxSendableFileSize))
    return local_fail(t, 0,
                      what + ": " + local + " is too large: " + std::to_string(s.size) +
                          " bytes, at most " + std::to_string(kMaxSendableFileSize) +
                          " can be sent");
  // An empty file sends no chunk that would be checked on its way.
  if (s.size == 0 && !stream_source_at_end(s)) {
    if (s.read_error)
      return local_fail(t, s.read_error,
                        what + ": cannot read " + local + ": " + local_error_text(s.read_error));
    return local_fail(
        t, 0, what + ": " + local + " yields bytes although its size says 0; nothing was sent");
  }
  return kExitOk;
}

int local_source_fail(Tool& t, const std::string& what, const std::string& name,
                      const LocalFailure& f) {
  std::string why =
      f.failed == LocalFailed::kNotRegular ? "cannot send " + name + ": not a regular file"
      : f.failed == LocalFailed::kOpen ? "cannot open " + name + ": " + local_error_text(f.error)
                                       : "cannot read " + name + ": " + local_error_text(f.error);
  return local_fail(t, f.error, what + ": " + why);
}

int tool_put(Tool& t, const std::string& local, const std::string& device_name,
             TransferSummary& s) {
  s = TransferSummary{TransferKind::kPut, local, device_name};
  std::string what = "put " + local + " " + device_name;
  StreamSource source;
  if (open_send_source(t, what, local, source) != kExitOk) return t.failure.status;
  if (!put_path_fits(device_name)) return usage_fail(t, what + ": device path too long");
  if (tool_connect(t) != 0) return kExitLink;
  Stopwatch clock;
  TransferResult r =
      upload(t, device_name, source, [&](DataSource& data, const DeviceEvents* events) {
        return put_file(t.device, device_name.c_str(), static_cast<int32_t>(source.size), data,
                        events);
      });
  set_interrupt_note("");
  if (int status = upload_outcome(t, what, local, device_name, source, r)) return status;
  count_delivered(s, source.size);
  s.seconds = clock.seconds();
  return kExitOk;
}

namespace {

// The frame around a download into a local file: open the target, connect, fetch with the
// progress line, finish the file. fetch runs the exchange into the sink it is given.
template <typename Fetch>
int download_to_file(Tool& t, const std::string& what, const std::string& local, TransferSummary& s,
                     Fetch fetch) {
  DownloadTarget file;
  if (local == "-") {
    open_download_to_stdout(file);
  } else {
    LocalFailure f = open_download_target(file, local);
    if (!f.ok()) return target_failure(t, what, local, f);
  }
  if (tool_connect(t) != 0) return kExitLink;
  DataSink sink = download_target_sink(file);
  Stopwatch clock;
  TransferResult r =
      with_progress(t, [&](const DeviceEvents* events) { return fetch(sink, events); });
  int status = finish_download(t, what, r, file);
  if (status == kExitOk) count_delivered(s, r.moved);
  s.seconds = clock.seconds();
  return status;
}

// Nothing after a boot image's data says whether the device took it: read it back and
// compare it with the file sent.
int read_back_boot_image(Tool& t, const std::string& what, const BootArgs& a,
                         const StreamSource& source, TransferSummary& s) {
  CompareSink compare;
  compare.fd = source.fd;
  local_rewind(source.fd);
  DataSink sink = compare_sink(compare);
  TransferResult back = read_boot_image(t.device, a.boot, sink, nullptr);
  if (!back.result.ok())
    return device_fail(t, what + ": cannot read boot image " + std::to_string(a.boot) + " back",
                       back.result);
  if (compare.read_error)
    return local_fail(
        t, compare.read_error,
        what + ": cannot read " + a.local + " again: " + local_error_text(compare.read_error));
  if (compare.first_difference >= 0)
    return tool_fail(
        t, kExitVerify, FailStep::kVerify, 0,
        what + ": read back differs at offset " + std::to_string(compare.first_difference));
  if (back.moved != source.size)
    return tool_fail(t, kExitVerify, FailStep::kVerify, 0,
                     what + ": read back " + std::to_string(back.moved) + " bytes, wrote " +
                         std::to_string(source.size));
  s.verified = true;
  return kExitOk;
}

}  // namespace

int tool_get(Tool& t, const std::string& device_name, const std::string& local,
             TransferSummary& s) {
  s = TransferSummary{TransferKind::kGet, device_name, local};
  std::string what = "get " + device_name + " " + local;
  if (!device_path_fits(device_name)) return usage_fail(t, what + ": device path too long");
  return download_to_file(t, what, local, s, [&](DataSink& sink, const DeviceEvents* events) {
    return get_file(t.device, device_name.c_str(), sink, events);
  });
}

int tool_boot_read(Tool& t, const BootArgs& a, TransferSummary& s) {
  s = TransferSummary{TransferKind::kBootRead, "boot " + std::to_string(a.boot), a.local};
  std::string what = "boot read " + std::to_string(a.boot) + " " + a.local;
  return download_to_file(t, what, a.local, s, [&](DataSink& sink, const DeviceEvents* events) {
    return read_boot_image(t.device, a.boot, sink, events);
  });
}

int tool_boot_write(Tool& t, const BootArgs& a, TransferSummary& s) {
  std::string number = std::to_string(a.boot);
  s = TransferSummary{TransferKind::kBootWrite, a.local, "boot " + number};
  std::string what = "boot write " + number + " " + a.local;
  StreamSource source;
  if (open_send_source(t, what, a.local, source) != kExitOk) return t.failure.status;
  if (tool_connect(t) != 0) return kExitLink;
  Stopwatch clock;
  std::string image = "boot image " + number;
  TransferResult r = upload(t, image, source, [&](DataSource& data, const DeviceEvents* events) {
    return write_boot_image(t.device, a.boot, static_cast<int32_t>(source.size), data, events);
  });
  if (int status = upload_outcome(t, what, a.local, image, source, r)) return status;
  count_delivered(s, source.size);
  int status = a.no_verify ? kExitOk : read_back_boot_image(t, what, a, source, s);
  set_interrupt_note("");
  s.verify_skipped = a.no_verify;
  s.seconds = clock.seconds();
  return status;
}

const char* transfer_kind_name(TransferKind kind) {
  switch (kind) {
    case TransferKind::kPut: return "put";
    case TransferKind::kGet: return "get";
    case TransferKind::kBootRead: return "boot read";
    case TransferKind::kBootWrite: return "boot write";
    case TransferKind::kVerify: return "verify";
    case TransferKind::kBootVerify: return "boot verify";
  }
  return "put";
}

const char* transfer_outcome_name(TransferOutcome outcome) {
  switch (outcome) {
    case TransferOutcome::kOk: return "ok";
    case TransferOutcome::kEqual: return "equal";
    case TransferOutcome::kDiffers: return "differs";
    case TransferOutcome::kFailed: return "failed";
  }
  return "failed";
}

TransferOutcome transfer_outcome(const TransferSummary& s, int status) {
  // verify and boot verify compare only; the others move data (and may compare after).
  bool compare_only = s.kind == TransferKind::kVerify || s.kind == TransferKind::kBootVerify;
  if (status == kExitOk) return compare_only ? TransferOutcome::kEqual : TransferOutcome::kOk;
  return status == kExitVerify ? TransferOutcome::kDiffers : TransferOutcome::kFailed;
}

}  // namespace rq
