#include "fscmd/path_exchange.h"

#include "link/message.h"

namespace rq {

int path_exchange(Connection& c, uint8_t code, const char* path, int path_wire_length,
                  const PathFailureLines& lines) {
  int rc = send_command(c, code, 0, path_wire_length);
  if (rc != 0) {
    print_failure_report(c, rc, lines.command_refused);
    return kCommandFailed;
  }
  rc = ready_gated_send(c, reinterpret_cast<const uint8_t*>(path),
                        static_cast<size_t>(path_wire_length));
  if (rc != 0) {
    print_failure_report(c, rc, lines.path_refused);
    return kCommandFailed;
  }
  // A lost status reads as -1: the command ends as failed rather than trusting old bytes.
  rc = receive_status(c);
  if (rc != 0) {
    print_failure_report(c, rc, lines.bad_status);
    return kCommandFailed;
  }
  return 0;
}

}  // namespace rq
