#include "shell/shell.h"

int main(int argc, char** argv) {
  // The session's buffers are large; keep them off the stack.
  auto* session = new rq::Shell;
  int status = rq::shell_main(*session, argc, argv);
  delete session;
  return status;
}
