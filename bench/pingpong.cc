// The floor under a shell ping: round trips of the 12 bytes a ping frame takes (header and
// 8-byte message) over loopback TCP, one thread echoing, with bare socket calls through the
// shim the shell uses and nothing of the link's framing: the figure must stay a floor.
//   bench_pingpong [round_trips]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "link/socket.h"

namespace {

constexpr size_t kMessageBytes = 12;  // a 4-byte frame header and an 8-byte message

// Moves exactly length bytes; false when the peer closed or the socket failed.
bool send_all(rq::SocketHandle s, const unsigned char* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    long n = rq::socket_send(s, data + done, length - done);
    if (n < 0 && rq::socket_error_is_interrupt(rq::socket_last_error())) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool recv_all(rq::SocketHandle s, unsigned char* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    long n = rq::socket_recv(s, data + done, length - done);
    if (n < 0 && rq::socket_error_is_interrupt(rq::socket_last_error())) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Answers every message with the same bytes until the client hangs up.
void echo(rq::SocketHandle s) {
  unsigned char message[kMessageBytes];
  while (recv_all(s, message, sizeof message) && send_all(s, message, sizeof message)) {
  }
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
  std::thread server(echo, peer);

  unsigned char message[kMessageBytes] = {0x41, 0x67, 0, 8, 1, 0, 0, 0, 0, 0, 0, 0};
  bool ok = true;
  // A few untimed rounds so connection set-up and first-touch costs stay out of the figure.
  for (int i = 0; i < 100 && ok; ++i)
    ok = send_all(s, message, sizeof message) && recv_all(s, message, sizeof message);
  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < round_trips && ok; ++i) {
    message[8] = static_cast<unsigned char>(i);
    ok = send_all(s, message, sizeof message) && recv_all(s, message, sizeof message);
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  rq::socket_close(s);
  server.join();
  rq::socket_close(peer);
  rq::socket_close(listener);
  if (!ok) {
    fprintf(stderr, "bench_pingpong: connection failed\n");
    return 1;
  }
  double us = std::chrono::duration<double, std::micro>(elapsed).count();
  printf("bare 8-byte ping-pong (12 bytes each way): %ld round trips, %.2f us per round trip\n",
         round_trips, us / static_cast<double>(round_trips));
  return 0;
}
