#include "tool/verify.h"

#include <chrono>

#include "device/file_transfer.h"
#include "local/platform.h"
#include "local/stream.h"
#include "tool/connect.h"
#include "tool/file_commands.h"

namespace rq {

namespace {

double seconds_since(std::chrono::steady_clock::time_point since) {
  using namespace std::chrono;
  return duration<double>(steady_clock::now() - since).count();
}

// What came of a comparison. device_side names the device's copy in the size message.
int compare_outcome(Tool& t, const std::string& what, const std::string& local,
                    const std::string& device_side, const TransferResult& back,
                    const CompareSink& compare, int64_t local_size) {
  if (!back.result.ok()) return device_fail(t, what, back.result);
  if (compare.read_error)
    return tool_fail(t, kExitLocalFile, "local", compare.read_error,
                     what + ": cannot read " + local + ": " + local_error_text(compare.read_error));
  if (compare.first_difference >= 0)
    return tool_fail(t, kExitVerify, "verify", 0,
                     what + ": " + local + " and " + device_side + " differ at offset " +
                         std::to_string(compare.first_difference));
  if (back.moved != local_size)
    return tool_fail(t, kExitVerify, "verify", 0,
                     what + ": " + device_side + " has " + std::to_string(back.moved) + " bytes, " +
                         local + " has " + std::to_string(local_size));
  return kExitOk;
}

int open_local(Tool& t, const std::string& what, const std::string& local, StreamSource& s) {
  LocalFailure f = open_stream_source(s, local);
  return f.ok() ? kExitOk : local_source_fail(t, what, local, f);
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

int tool_verify(Tool& t, const std::string& local, const std::string& device_name,
                TransferSummary& s) {
  s.what = "verify";
  s.from = local;
  s.to = device_name;
  std::string what = "verify " + local + " " + device_name;
  if (check_device_path(t, device_name) != 0) return kExitUsage;
  StreamSource source;
  if (open_local(t, what, local, source) != kExitOk) return t.failure.status;
  if (tool_connect(t) != 0) return kExitLink;
  auto start = std::chrono::steady_clock::now();
  CompareSink compare;
  compare.fd = source.fd;
  DataSink sink = compare_sink(compare);
  TransferResult back = get_file(t.device, device_name.c_str(), sink, nullptr);
  s.seconds = seconds_since(start);
  s.bytes = back.moved;
  int status = compare_outcome(t, what, local, device_name, back, compare, source.size);
  s.verified = status == kExitOk;
  return status;
}

int tool_boot_verify(Tool& t, int boot, const std::string& local, TransferSummary& s) {
  s.what = "boot verify";
  s.from = local;
  s.to = "boot " + std::to_string(boot);
  std::string what = "boot verify " + std::to_string(boot) + " " + local;
  StreamSource source;
  if (open_local(t, what, local, source) != kExitOk) return t.failure.status;
  if (tool_connect(t) != 0) return kExitLink;
  auto start = std::chrono::steady_clock::now();
  CompareSink compare;
  compare.fd = source.fd;
  DataSink sink = compare_sink(compare);
  TransferResult back = read_boot_image(t.device, boot, sink, nullptr);
  s.seconds = seconds_since(start);
  s.bytes = back.moved;
  int status = compare_outcome(t, what, local, "boot image " + std::to_string(boot), back, compare,
                               source.size);
  s.verified = status == kExitOk;
  return status;
}

}  // namespace rq
