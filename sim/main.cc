// rqsim: stands in for the device proxy and the device, so rqshell can be run, scripted and
// tested without hardware. See --help.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "device_setup.h"
#include "link/socket.h"
#include "session.h"
#include "sim_options.h"

using namespace rq::sim;

int main(int argc, char** argv) {
  SimOptions options;
  int rc = parse_sim_options(argc, argv, options, stdout, stderr);
  if (rc != 0) return rc > 0 ? 0 : 2;
  warn_if_exposed(options, stderr);  // first, before anything else it may print
  int root_fd = prepare_device(options, stderr);
  if (root_fd < 0) return 1;

  rq::socket_startup();
  int port = 0;
  rq::SocketHandle listener = rq::socket_listen_ipv4(options.bind_address, options.port, &port);
  if (listener == rq::kNoSocket) {
    fprintf(stderr, "rqsim: cannot listen on %s:%d\n", options.bind_address, options.port);
    return 1;
  }
  printf("rqsim listening on %s:%d\n", options.bind_address, port);
  fflush(stdout);

  // One session's buffers, reused for every shell.
  Session session;
  session.options = &options;
  session.fs.root_fd = root_fd;
  session.log = stderr;
  session.trace = options.trace ? stderr : nullptr;
  for (;;) {
    rq::SocketHandle shell = rq::socket_accept(listener);
    if (shell == rq::kNoSocket) {
      fprintf(stderr, "rqsim: accept failed; retrying\n");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    rq::socket_set_nodelay(shell);
    fprintf(stderr, "rqsim: shell connected\n");
    session_start(session, shell);
    serve_session(session);
    rq::socket_close(shell);
    fprintf(stderr, "rqsim: shell left\n");
    if (options.once) break;
  }
  rq::socket_close(listener);
  close(root_fd);
  return 0;
}
