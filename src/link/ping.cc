#include "link/ping.h"

#include "link/link.h"
#include "link/message.h"

namespace rq {

int ping(Connection& c, char* command) {
  const char* p = command + 4;
  while (*p == ' ' || *p == '\t') ++p;
  bool no_wait = *p == 'N';

  make_message(c.message, kCmdPing, 0, c.ping_counter);
  int code = no_wait ? send_frame(c, c.message, kMessageSize)
                     : ready_gated_send(c, c.message, kMessageSize);
  if (code != 0) {
    print_failure_report(c, code, "Ping command failed errcode = %d\n");
    return code;
  }
  // A lost reply leaves the ping's own message in the buffer, so it reports as out of sync.
  receive_message(c);
  c.ping_counter = static_cast<int32_t>(static_cast<uint32_t>(c.ping_counter) + 1);
  int32_t value = message_value(c.message);
  if (value != c.ping_counter) {
    fprintf(c.console_out, "Ping command out of sync = get %d expect %d\n", value,
            c.ping_counter);
    return -1;
  }
  return 0;
}

}  // namespace rq
