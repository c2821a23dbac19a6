#include "tool/transfer_commands.h"

#include <chrono>

#include "device/file_transfer.h"
#include "local/download_target.h"
#include "local/interrupt_cleanup.h"
#include "local/platform.h"
#include "local/progress.h"
#include "local/stream.h"
#include "local/whole_file.h"
#include "tool/connect.h"

namespace rq {

namespace {

double seconds_since(std::chrono::steady_clock::time_point since) {
  using namespace std::chrono;
  return duration<double>(steady_clock::now() - since).count();
}

int source_failure(Tool& t, const std::string& what, const std::string& local,
                   const StreamSource& s) {
  // The device still waits for bytes that will not come: the connection cannot be reused.
  link_close(t.device.link);
  std::string text = what + ": ";
  if (s.read_error)
    text += "cannot read " + local + ": " + local_error_text(s.read_error);
  else
    text += local + " changed size while being sent";
  text += "; the connection was closed and the device may hold partial data";
  return tool_fail(t, kExitLocalFile, "local", s.read_error, text);
}

int open_source(Tool& t, const std::string& what, const std::string& local, StreamSource& s) {
  LocalFailure f = open_stream_source(s, local);
  if (!f.ok()) return local_source_fail(t, what, local, f);
  if (s.size > static_cast<int64_t>(kMaxSendableFileSize))
    return tool_fail(t, kExitLocalFile, "local", 0,
                     what + ": " + local + " is too large: " + std::to_string(s.size) +
                         " bytes, at most " + std::to_string(kMaxSendableFileSize) +
                         " can be sent");
  return kExitOk;
}

int target_failure(Tool& t, const std::string& what, const std::string& name,
                   const LocalFailure& f) {
  const char* doing = f.failed == LocalFailed::kDirectory || f.failed == LocalFailed::kOpen
                          ? "cannot open "
                          : "cannot write ";
  return tool_fail(t, kExitLocalFile, "local", f.error,
                   what + ": " + doing + name + ": " + local_error_text(f.error));
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
  return tool_fail(t, kExitLocalFile, "local", f.error,
                   what + ": " + why + ": " + local_error_text(f.error));
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

}  // namespace

DeviceEvents ProgressView::events() { return DeviceEvents{this, on_event}; }

void ProgressView::on_event(void* context, const DeviceEvent& e) {
  auto& v = *static_cast<ProgressView*>(context);
  if (e.kind == DeviceEventKind::kDataBegin) progress_start(v.progress, v.tool->progress, e.value);
  if (e.kind == DeviceEventKind::kProgress) progress_update(v.progress, e.value);
}

int local_source_fail(Tool& t, const std::string& what, const std::string& name,
                      const LocalFailure& f) {
  std::string why =
      f.failed == LocalFailed::kNotRegular ? "cannot send " + name + ": not a regular file"
      : f.failed == LocalFailed::kOpen ? "cannot open " + name + ": " + local_error_text(f.error)
                                       : "cannot read " + name + ": " + local_error_text(f.error);
  return tool_fail(t, kExitLocalFile, "local", f.error, what + ": " + why);
}

int tool_put(Tool& t, const std::string& local, const std::string& device_name,
             TransferSummary& s) {
  s.what = "put";
  s.from = local;
  s.to = device_name;
  std::string what = "put " + local + " " + device_name;
  StreamSource source;
  if (open_source(t, what, local, source) != kExitOk) return t.failure.status;
  if (device_name.size() + 1 + kPutSizeFieldLength > kMaxPayload)
    return tool_fail(t, kExitUsage, "usage", 0, what + ": device path too long");
  if (tool_connect(t) != 0) return kExitLink;
  set_interrupt_note(
      ("rqtool: interrupted: " + device_name + " on the device may be incomplete").c_str());
  DataSource data = stream_source(source);
  auto start = std::chrono::steady_clock::now();
  TransferResult r = with_progress(t, [&](const DeviceEvents* events) {
    return put_file(t.device, device_name.c_str(), static_cast<int32_t>(source.size), data, events);
  });
  set_interrupt_note("");
  if (r.result.step == Step::kSource) return source_failure(t, what, local, source);
  if (!r.result.ok()) return device_fail(t, what, r.result);
  s.bytes = source.size;
  s.seconds = seconds_since(start);
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
  auto start = std::chrono::steady_clock::now();
  TransferResult r =
      with_progress(t, [&](const DeviceEvents* events) { return fetch(sink, events); });
  int status = finish_download(t, what, r, file);
  s.bytes = r.moved;
  s.seconds = seconds_since(start);
  return status;
}

}  // namespace

int tool_get(Tool& t, const std::string& device_name, const std::string& local,
             TransferSummary& s) {
  s.what = "get";
  s.from = device_name;
  s.to = local;
  std::string what = "get " + device_name + " " + local;
  if (device_name.size() + 1 > kMaxPayload)
    return tool_fail(t, kExitUsage, "usage", 0, what + ": device path too long");
  return download_to_file(t, what, local, s, [&](DataSink& sink, const DeviceEvents* events) {
    return get_file(t.device, device_name.c_str(), sink, events);
  });
}

int tool_boot_read(Tool& t, int boot, const std::string& local, TransferSummary& s) {
  s.what = "boot read";
  s.from = "boot " + std::to_string(boot);
  s.to = local;
  std::string what = "boot read " + std::to_string(boot) + " " + local;
  return download_to_file(t, what, local, s, [&](DataSink& sink, const DeviceEvents* events) {
    return read_boot_image(t.device, boot, sink, events);
  });
}

int tool_boot_write(Tool& t, int boot, const std::string& local, bool verify, TransferSummary& s) {
  s.what = "boot write";
  s.from = local;
  s.to = "boot " + std::to_string(boot);
  std::string what = "boot write " + std::to_string(boot) + " " + local;
  StreamSource source;
  if (open_source(t, what, local, source) != kExitOk) return t.failure.status;
  if (tool_connect(t) != 0) return kExitLink;
  set_interrupt_note(("rqtool: interrupted: boot image " + std::to_string(boot) +
                      " on the device may be incomplete")
                         .c_str());
  DataSource data = stream_source(source);
  auto start = std::chrono::steady_clock::now();
  TransferResult r = with_progress(t, [&](const DeviceEvents* events) {
    return write_boot_image(t.device, boot, static_cast<int32_t>(source.size), data, events);
  });
  if (r.result.step == Step::kSource) return source_failure(t, what, local, source);
  if (!r.result.ok()) return device_fail(t, what, r.result);
  s.bytes = source.size;
  if (!verify) {
    set_interrupt_note("");
    s.verify_skipped = true;
    s.seconds = seconds_since(start);
    return kExitOk;
  }
  // Nothing after the data says whether the device took it: read it back and compare.
  CompareSink compare;
  compare.fd = source.fd;
  local_rewind(source.fd);
  DataSink sink = compare_sink(compare);
  TransferResult back = read_boot_image(t.device, boot, sink, nullptr);
  set_interrupt_note("");
  s.seconds = seconds_since(start);
  if (!back.result.ok()) return device_fail(t, what + ": reading back", back.result);
  if (compare.read_error)
    return tool_fail(
        t, kExitLocalFile, "local", compare.read_error,
        what + ": cannot read " + local + " again: " + local_error_text(compare.read_error));
  if (compare.first_difference >= 0)
    return tool_fail(
        t, kExitVerify, "verify", 0,
        what + ": read back differs at offset " + std::to_string(compare.first_difference));
  if (back.moved != source.size)
    return tool_fail(t, kExitVerify, "verify", 0,
                     what + ": read back " + std::to_string(back.moved) + " bytes, wrote " +
                         std::to_string(source.size));
  s.verified = true;
  return kExitOk;
}

void print_transfer_summary(Tool& t, const TransferSummary& s) {
  if (t.options.quiet) return;
  double kb_per_s = s.seconds > 0 ? s.bytes / 1000.0 / s.seconds : 0;
  if (s.tree) {
    fprintf(t.err, "rqtool: %s: %lld file%s, %lld director%s, %lld bytes in %.3f s (%.1f KB/s)%s\n",
            s.what.c_str(), static_cast<long long>(s.files), s.files == 1 ? "" : "s",
            static_cast<long long>(s.directories), s.directories == 1 ? "y" : "ies",
            static_cast<long long>(s.bytes), s.seconds, kb_per_s, s.verified ? ", verified" : "");
    return;
  }
  fprintf(t.err, "rqtool: %s %s -> %s: %lld bytes in %.3f s (%.1f KB/s)%s\n", s.what.c_str(),
          s.from.c_str(), s.to.c_str(), static_cast<long long>(s.bytes), s.seconds, kb_per_s,
          s.verified         ? ", verified"
          : s.verify_skipped ? ", unverified"
                             : "");
}

}  // namespace rq
