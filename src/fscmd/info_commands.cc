// format, pwd and ver: a bare command message and a status; pwd and ver then read one text
// reply. Anything typed after the keyword is ignored.
#include <cstring>

#include "fscmd/fscmd.h"
#include "fscmd/path_exchange.h"
#include "link/link.h"
#include "link/message.h"

namespace rq {

// Sends the command message and receives its status; reports either failure with line.
static int command_and_status(Connection& c, uint8_t code, const char* line) {
  int rc = send_command(c, code, 0, 0);
  if (rc == 0) rc = receive_status(c);  // -1 when the status never arrived
  if (rc != 0) {
    print_failure_report(c, rc, line);
    return kCommandFailed;
  }
  return 0;
}

// Reads the reply frame over the status message and prints it after prefix. The status
// value announces the reply's length, but the frame's own header decides what arrives, so
// a wrong or negative announcement cannot put the shell out of step with the proxy. A text
// without its zero is cut at the end of the frame.
static int print_text_reply(Connection& c, const char* prefix, const char* line) {
  int n = receive_frame(c, c.message, kMessageBufferSize);
  if (n < 0) {
    print_failure_report(c, kCommandFailed, line);
    return kCommandFailed;
  }
  const char* text = reinterpret_cast<const char*>(c.message);
  int length = static_cast<int>(strnlen(text, static_cast<size_t>(n)));
  fprintf(c.console_out, "%s%.*s\n", prefix, length, text);
  return 0;
}

int cmd_format(Connection& c, char*) {
  return command_and_status(c, kCmdFormat, "format command failed errcode = %d\n");
}

int cmd_pwd(Connection& c, char*) {
  static const char kLine[] = "pwd command failed errcode = %d\n";
  if (command_and_status(c, kCmdPwd, kLine) != 0) return kCommandFailed;
  return print_text_reply(c, "", kLine);
}

int cmd_ver(Connection& c, char*) {
  static const char kLine[] = "ver command failed errcode = %d\n";
  if (command_and_status(c, kCmdVer, kLine) != 0) return kCommandFailed;
  return print_text_reply(c, "DX shell built at ", kLine);
}

}  // namespace rq
