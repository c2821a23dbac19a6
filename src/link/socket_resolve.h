// Host-name look-up, apart from the socket shim: a program that connects only to dotted
// addresses (rqshell) never links the resolver, so a static build of it carries no name
// service code (glibc's static resolver would need the system's shared libraries at run
// time anyway, and the linker warns about it).
#pragma once

#include <cstddef>

namespace rq {

// Looks up a host name (or takes a dotted address) and writes its first IPv4 address in
// dotted form into out. Returns 0 or -1. Needs socket_startup() first.
int socket_resolve_ipv4(const char* host, char* out, size_t out_size);

}  // namespace rq
