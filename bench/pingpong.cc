// The floor under a shell ping: round trips of one framed 8-byte message over loopback TCP,
// one thread echoing, through the same link the shell uses.
//   bench_pingpong [round_trips]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "link/link.h"

namespace {

// Answers every frame with the same bytes until the client hangs up.
void echo(rq::Link* l) {
  uint8_t message[rq::kMessageSize];
  for (;;) {
    int n = rq::link_receive_frame(*l, message, sizeof message);
    if (n < 0 || rq::link_send_frame(*l, message, static_cast<size_t>(n)) != 0) return;
  }
}

bool round_trip(rq::Link& l, uint8_t* message) {
  return rq::link_send_frame(l, message, rq::kMessageSize) == 0 &&
         rq::link_receive_frame(l, message, rq::kMessageSize) == static_cast<int>(rq::kMessageSize);
}

}  // namespace

int main(int argc, char** argv) {
  long round_trips = argc > 1 ? atol(argv[1]) : 20000;
  if (round_trips <= 0) {
    fprintf(stderr, "usage: bench_pingpong [round_trips]\n");
    return 2;
  }
  if (rq::socket_startup() != 0) return 1;
  int port = 0;
  rq::SocketHandle listener = rq::socket_listen_ipv4("127.0.0.1", 0, &port);
  if (listener == rq::kNoSocket) {
    fprintf(stderr, "bench_pingpong: cannot listen on 127.0.0.1\n");
    return 1;
  }
  // A loopback connect completes in the listen backlog, so accepting afterwards is safe.
  rq::SocketHandle s = rq::socket_open_tcp();
  if (s == rq::kNoSocket || rq::socket_connect_ipv4(s, "127.0.0.1", port) != 0) {
    fprintf(stderr, "bench_pingpong: cannot connect to 127.0.0.1:%d\n", port);
    return 1;
  }
  rq::SocketHandle peer = rq::socket_accept(listener);
  if (peer == rq::kNoSocket) {
    fprintf(stderr, "bench_pingpong: cannot accept on 127.0.0.1:%d\n", port);
    return 1;
  }
  rq::socket_set_nodelay(s);
  rq::socket_set_nodelay(peer);
  // The links' buffers are large; keep them off the stack.
  auto* client = new rq::Link;
  auto* server_link = new rq::Link;
  rq::link_attach(*client, s);
  rq::link_attach(*server_link, peer);
  std::thread server(echo, server_link);

  uint8_t message[rq::kMessageSize];
  rq::make_message(message, rq::kCmdPing, 0, 0);
  bool ok = true;
  // A few untimed rounds so connection set-up and first-touch costs stay out of the figure.
  for (int i = 0; i < 100 && ok; ++i) ok = round_trip(*client, message);
  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < round_trips && ok; ++i) {
    message[4] = static_cast<uint8_t>(i);
    ok = round_trip(*client, message);
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  rq::link_close(*client);
  server.join();
  rq::link_close(*server_link);
  delete client;
  delete server_link;
  rq::socket_close(listener);
  if (!ok) {
    fprintf(stderr, "bench_pingpong: connection failed\n");
    return 1;
  }
  double us = std::chrono::duration<double, std::micro>(elapsed).count();
  printf("bare 8-byte ping-pong (one frame each way): %ld round trips, %.2f us per round trip\n",
         round_trips, us / static_cast<double>(round_trips));
  return 0;
}
