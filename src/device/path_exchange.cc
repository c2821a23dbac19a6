#include "device/path_exchange.h"

#include <cstring>

#include "link/status.h"

namespace rq {

Result path_exchange(Device& d, uint8_t code, const char* payload, int wire_length) {
  int rc = send_command(d, code, 0, wire_length);
  if (rc != 0) return failed_at(Step::kCommand, rc);
  rc = ready_gated_send(d, reinterpret_cast<const uint8_t*>(payload),
                        static_cast<size_t>(wire_length), kSentPath);
  if (rc != 0) return failed_at(Step::kPayload, rc);
  rc = receive_status(d);
  if (rc != 0) return failed_at(Step::kStatus, rc);
  return Result{};
}

Result path_command(Device& d, uint8_t code, const char* path) {
  size_t length = strlen(path) + 1;
  if (length > kMaxPayload) return failed_at(Step::kCommand, kStatusPathTooLong);
  return path_exchange(d, code, path, static_cast<int>(length));
}

Result two_path_command(Device& d, uint8_t code, const char* from, const char* to) {
  size_t from_length = strlen(from) + 1;
  size_t to_length = strlen(to) + 1;
  if (from_length + to_length > kMaxPayload) return failed_at(Step::kCommand, kStatusPathTooLong);
  char payload[kMaxPayload];
  std::memcpy(payload, from, from_length);
  std::memcpy(payload + from_length, to, to_length);
  return path_exchange(d, code, payload, static_cast<int>(from_length + to_length));
}

}  // namespace rq
