#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "link/socket.h"

namespace rq {

int socket_startup() {
  static bool started = false;
  if (started) return 0;
  WSADATA data;
  int rc = WSAStartup(MAKEWORD(2, 2), &data);
  if (rc == 0) started = true;
  return rc;
}

static SOCKET raw(SocketHandle s) { return static_cast<SOCKET>(s); }

SocketHandle socket_open_tcp() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

static sockaddr_in ipv4_address(const char* dotted_address, int port) {
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr(dotted_address);
  addr.sin_port = htons(static_cast<u_short>(port));
  return addr;
}

int socket_connect_ipv4(SocketHandle s, const char* dotted_address, int port) {
  sockaddr_in addr = ipv4_address(dotted_address, port);
  return ::connect(raw(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? 0 : -1;
}

int socket_connect_ipv4_within(SocketHandle s, const char* dotted_address, int port,
                               int timeout_ms) {
  u_long on = 1;
  if (ioctlsocket(raw(s), FIONBIO, &on) != 0) return -1;
  sockaddr_in addr = ipv4_address(dotted_address, port);
  int rc = ::connect(raw(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int result = rc == 0 ? 0 : -1;
  if (rc != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
    // Winsock reports a refused connect in the exception set, not the write set.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(raw(s), &writable);
    FD_SET(raw(s), &failed);
    timeval tv;
    tv.tv_sec = timeout_ms / 1000;
    tv.tv_usec = (timeout_ms % 1000) * 1000;
    int ready = ::select(0, nullptr, &writable, &failed, &tv);
    if (ready == 0)
      result = -2;
    else if (ready > 0 && FD_ISSET(raw(s), &writable) && !FD_ISSET(raw(s), &failed))
      result = 0;
  }
  u_long off = 0;
  ioctlsocket(raw(s), FIONBIO, &off);
  return result;
}

void socket_set_nodelay(SocketHandle s) {
  BOOL one = TRUE;
  setsockopt(raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// Winsock takes int lengths; a frame is far below that.
long socket_send(SocketHandle s, const void* data, size_t length) {
  int rc = ::send(raw(s), static_cast<const char*>(data), static_cast<int>(length), 0);
  return rc == SOCKET_ERROR ? -1 : rc;
}

long socket_recv(SocketHandle s, void* data, size_t length) {
  int rc = ::recv(raw(s), static_cast<char*>(data), static_cast<int>(length), 0);
  return rc == SOCKET_ERROR ? -1 : rc;
}

int socket_last_error() { return WSAGetLastError(); }

bool socket_error_is_interrupt(int error) { return error == WSAEINTR; }

bool socket_error_is_would_block(int error) { return error == WSAEWOULDBLOCK; }

static int wait_for(SocketHandle s, bool for_write, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(raw(s), &set);
  timeval tv;
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  int rc = ::select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, nullptr, &tv);
  if (rc == SOCKET_ERROR) return -1;
  return rc > 0 ? 1 : 0;
}

// Winsock has no per-call non-blocking flag: a zero-time select stands in for it.
static bool would_block_now(SocketHandle s, bool for_write) {
  int rc = wait_for(s, for_write, 0);
  if (rc == 0) WSASetLastError(WSAEWOULDBLOCK);
  return rc != 1;
}

long socket_send_two(SocketHandle s, const void* head, size_t head_length, const void* body,
                     size_t body_length, bool no_wait) {
  if (no_wait && would_block_now(s, true)) return -1;
  WSABUF pieces[2];
  pieces[0].buf = static_cast<char*>(const_cast<void*>(head));
  pieces[0].len = static_cast<ULONG>(head_length);
  pieces[1].buf = static_cast<char*>(const_cast<void*>(body));
  pieces[1].len = static_cast<ULONG>(body_length);
  DWORD sent = 0;
  int rc = ::WSASend(raw(s), pieces, body_length ? 2 : 1, &sent, 0, nullptr, nullptr);
  return rc == SOCKET_ERROR ? -1 : static_cast<long>(sent);
}

long socket_recv_no_wait(SocketHandle s, void* data, size_t length) {
  if (would_block_now(s, false)) return -1;
  return socket_recv(s, data, length);
}

int socket_wait_readable(SocketHandle s, int timeout_ms) { return wait_for(s, false, timeout_ms); }

int socket_wait_writable(SocketHandle s, int timeout_ms) { return wait_for(s, true, timeout_ms); }

void socket_shutdown_send(SocketHandle s) { ::shutdown(raw(s), SD_SEND); }

void socket_close(SocketHandle s) {
  if (s != kNoSocket) ::closesocket(raw(s));
}

SocketHandle socket_listen_ipv4(const char* dotted_address, int port, int* bound_port) {
  if (socket_startup() != 0) return kNoSocket;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kNoSocket;
  sockaddr_in addr = ipv4_address(dotted_address, port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 8) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  int len = sizeof addr;
  if (bound_port && ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    *bound_port = ntohs(addr.sin_port);
  return static_cast<SocketHandle>(s);
}

SocketHandle socket_accept(SocketHandle listener) {
  SOCKET s = ::accept(raw(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

int socket_pair(SocketHandle out[2]) {
  int port = 0;
  SocketHandle listener = socket_listen_ipv4("127.0.0.1", 0, &port);
  if (listener == kNoSocket) return -1;
  SocketHandle client = socket_open_tcp();
  int rc = -1;
  if (client != kNoSocket && socket_connect_ipv4(client, "127.0.0.1", port) == 0) {
    SocketHandle server = socket_accept(listener);
    if (server != kNoSocket) {
      out[0] = client;
      out[1] = server;
      rc = 0;
    }
  }
  if (rc != 0) socket_close(client);
  socket_close(listener);
  return rc;
}

}  // namespace rq
