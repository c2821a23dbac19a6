#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>

#include "link/socket.h"

namespace rq {

int socket_startup() {
  // A write to a connection the peer has closed must fail with EPIPE, not end the process.
  signal(SIGPIPE, SIG_IGN);
  return 0;
}

// Sockets are not inherited by programs the process starts: a helper that outlives its
// start (rqmount's fusermount3) would otherwise hold the connection open after it is closed.
SocketHandle socket_open_tcp() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kNoSocket : fd;
}

static sockaddr_in ipv4_address(const char* dotted_address, int port) {
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr(dotted_address);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

int socket_connect_ipv4(SocketHandle s, const char* dotted_address, int port) {
  sockaddr_in addr = ipv4_address(dotted_address, port);
  int rc;
  do {
    rc = ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? -1 : 0;
}

int socket_connect_ipv4_within(SocketHandle s, const char* dotted_address, int port,
                               int timeout_ms) {
  int fd = static_cast<int>(s);
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
  sockaddr_in addr = ipv4_address(dotted_address, port);
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int result = rc == 0 ? 0 : -1;
  if (rc < 0 && (errno == EINPROGRESS || errno == EINTR)) {
    pollfd p;
    p.fd = fd;
    p.events = POLLOUT;
    p.revents = 0;
    int ready;
    do {
      ready = ::poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
      result = -2;
    } else if (ready > 0) {
      int error = 0;
      socklen_t len = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) result = 0;
    }
  }
  fcntl(fd, F_SETFL, flags);
  return result;
}

void socket_set_nodelay(SocketHandle s) {
  int one = 1;
  setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

long socket_send(SocketHandle s, const void* data, size_t length) {
  return ::send(static_cast<int>(s), data, length, MSG_NOSIGNAL);
}

long socket_recv(SocketHandle s, void* data, size_t length) {
  return ::recv(static_cast<int>(s), data, length, 0);
}

long socket_send_two(SocketHandle s, const void* head, size_t head_length, const void* body,
                     size_t body_length, bool no_wait) {
  iovec pieces[2];
  pieces[0].iov_base = const_cast<void*>(head);
  pieces[0].iov_len = head_length;
  pieces[1].iov_base = const_cast<void*>(body);
  pieces[1].iov_len = body_length;
  msghdr m;
  std::memset(&m, 0, sizeof m);
  m.msg_iov = pieces;
  m.msg_iovlen = body_length ? 2 : 1;
  return ::sendmsg(static_cast<int>(s), &m, MSG_NOSIGNAL | (no_wait ? MSG_DONTWAIT : 0));
}

long socket_recv_no_wait(SocketHandle s, void* data, size_t length) {
  return ::recv(static_cast<int>(s), data, length, MSG_DONTWAIT);
}

int socket_last_error() { return errno; }

bool socket_error_is_interrupt(int error) { return error == EINTR; }

bool socket_error_is_would_block(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

static int wait_for(SocketHandle s, short events, int timeout_ms) {
  pollfd p;
  p.fd = static_cast<int>(s);
  p.events = events;
  p.revents = 0;
  int rc = ::poll(&p, 1, timeout_ms);
  if (rc < 0) return -1;
  return rc > 0 ? 1 : 0;
}

int socket_wait_readable(SocketHandle s, int timeout_ms) { return wait_for(s, POLLIN, timeout_ms); }

int socket_wait_writable(SocketHandle s, int timeout_ms) {
  return wait_for(s, POLLOUT, timeout_ms);
}

void socket_shutdown_send(SocketHandle s) { ::shutdown(static_cast<int>(s), SHUT_WR); }

void socket_close(SocketHandle s) {
  if (s != kNoSocket) ::close(static_cast<int>(s));
}

SocketHandle socket_listen_ipv4(const char* dotted_address, int port, int* bound_port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr = ipv4_address(dotted_address, port);
  if (addr.sin_addr.s_addr == INADDR_NONE ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 8) < 0) {
    ::close(fd);
    return kNoSocket;
  }
  socklen_t len = sizeof addr;
  if (bound_port && ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    *bound_port = ntohs(addr.sin_port);
  return fd;
}

SocketHandle socket_accept(SocketHandle listener) {
  int fd;
  do {
    fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kNoSocket : fd;
}

int socket_pair(SocketHandle out[2]) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) < 0) return -1;
  out[0] = fds[0];
  out[1] = fds[1];
  return 0;
}

}  // namespace rq
