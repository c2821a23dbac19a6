#include "device/path_exchange.h"

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

}  // namespace rq
