#include "tool/verify.h"

#include "device/file_transfer.h"
#include "local/platform.h"
#include "local/stream.h"
#include "tool/connect.h"
#include "tool/file_commands.h"

namespace rq {

namespace {

// What came of a comparison. device_side names the device's copy in the size message.
int compare_outcome(Tool& t, const std::string& what, const std::string& local,
                    const std::string& device_side, const TransferResult& back,
                    const CompareSink& compare, int64_t local_size) {
  if (!back.result.ok()) return device_fail(t, what, back.result);
  if (compare.read_error)
    return local_fail(
        t, compare.read_error,
        what + ": cannot read " + local + ": " + local_error_text(compare.read_error));
  if (compare.first_difference >= 0)
    return tool_fail(t, kExitVerify, FailStep::kVerify, 0,
                     what + ": " + local + " and " + device_side + " differ at offset " +
                         std::to_string(compare.first_difference));
  if (back.moved != local_size)
    return tool_fail(t, kExitVerify, FailStep::kVerify, 0,
                     what + ": " + device_side + " has " + std::to_string(back.moved) + " bytes, " +
                         local + " has " + std::to_string(local_size));
  return kExitOk;
}

int open_local(Tool& t, const std::string& what, const std::string& local, StreamSource& s) {
  LocalFailure f = open_stream_source(s, local);
  return f.ok() ? kExitOk : local_source_fail(t, what, local, f);
}

// verify and boot verify: open the local file, connect, fetch the device's copy into a
// comparison with it and say what came of it. fetch runs the exchange into the sink given.
template <typename Fetch>
int compare_with_device(Tool& t, const std::string& what, const std::string& device_side,
                        TransferSummary& s, Fetch fetch) {
  StreamSource source;
  if (open_local(t, what, s.from, source) != kExitOk) return t.failure.status;
  if (tool_connect(t) != 0) return kExitLink;
  Stopwatch clock;
  CompareSink compare;
  compare.fd = source.fd;
  DataSink sink = compare_sink(compare);
  TransferResult back = fetch(sink);
  s.seconds = clock.seconds();
  s.bytes = back.moved;
  int status = compare_outcome(t, what, s.from, device_side, back, compare, source.size);
  s.verified = status == kExitOk;
  return status;
}

}  // namespace

int read_back_and_compare(Tool& t, const std::string& what, const std::string& local,
                          const std::string& device_name) {
  StreamSource source;
  if (open_local(t, what, local, source) != kExitOk) return t.failure.status;
  CompareSink compare;
  compare.fd = source.fd;
  DataSink sink = compare_sink(compare);
  TransferResult back = get_file(t.device, device_name.c_str(), sink, nullptr);
  return compare_outcome(t, what + ": reading back", local, device_name, back, compare,
                         source.size);
}

int tool_verify(Tool& t, const VerifyArgs& a, TransferSummary& s) {
  s = TransferSummary{TransferKind::kVerify, a.local, a.device_name};
  if (check_device_path(t, a.device_name) != 0) return kExitUsage;
  return compare_with_device(
      t, "verify " + a.local + " " + a.device_name, a.device_name, s,
      [&](DataSink& sink) { return get_file(t.device, a.device_name.c_str(), sink, nullptr); });
}

int tool_boot_verify(Tool& t, const BootArgs& a, TransferSummary& s) {
  std::string number = std::to_string(a.boot);
  s = TransferSummary{TransferKind::kBootVerify, a.local, "boot " + number};
  return compare_with_device(
      t, "boot verify " + number + " " + a.local, "boot image " + number, s,
      [&](DataSink& sink) { return read_boot_image(t.device, a.boot, sink, nullptr); });
}

}  // namespace rq
