#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

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
  const char* text = inet_ntop(AF_INET, &addr->sin_addr, out, static_cast<socklen_t>(out_size));
  freeaddrinfo(found);
  return text ? 0 : -1;
}

}  // namespace rq
