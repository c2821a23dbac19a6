#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "link/socket_resolve.h"

namespace rq {

int socket_resolve_ipv4(const char* host, char* out, size_t out_size) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return -1;
  const auto* addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&addr->sin_addr);
  int n = snprintf(out, out_size, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  freeaddrinfo(found);
  return n > 0 && static_cast<size_t>(n) < out_size ? 0 : -1;
}

}  // namespace rq
