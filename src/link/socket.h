// The one place that knows the platform's socket API (POSIX sockets or Winsock).
// Everything else sees an integer handle and these plain calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rq {

using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;

// Starts the socket layer (Winsock 2.2 on Windows; on POSIX it stops SIGPIPE from killing
// the process when a peer has gone, unless the program has its own handler for it). Returns
// 0 or the start-up function's error value.
int socket_startup();

// A blocking IPv4 stream socket, or kNoSocket.
SocketHandle socket_open_tcp();

// Connects to a dotted-decimal IPv4 address (no name lookup); only the port's low
// 16 bits are used. Returns 0 or -1.
int socket_connect_ipv4(SocketHandle s, const char* dotted_address, int port);

// The same within timeout_ms (> 0): 0 connected, -1 refused or failed, -2 no answer in
// time. The socket is blocking again afterwards.
int socket_connect_ipv4_within(SocketHandle s, const char* dotted_address, int port,
                               int timeout_ms);

// Sends header and payload frames without waiting to coalesce small writes.
void socket_set_nodelay(SocketHandle s);

// Returns bytes moved, or -1 with socket_last_error() set. recv returns 0 when the peer
// has closed. send never raises SIGPIPE.
long socket_send(SocketHandle s, const void* data, size_t length);
long socket_recv(SocketHandle s, void* data, size_t length);

// Sends from head and then body in one call (a frame's header and payload as one segment,
// without copying either). With no_wait, a socket that can take nothing now fails at once
// with an error for which socket_error_is_would_block holds, instead of blocking. Returns
// bytes moved, or -1 with socket_last_error() set; never raises SIGPIPE.
long socket_send_two(SocketHandle s, const void* head, size_t head_length, const void* body,
                     size_t body_length, bool no_wait);

// recv that fails at once (socket_error_is_would_block) when nothing has arrived.
long socket_recv_no_wait(SocketHandle s, void* data, size_t length);

// The platform's error number for the last failed call (errno or WSAGetLastError()).
int socket_last_error();
bool socket_error_is_interrupt(int error);
bool socket_error_is_would_block(int error);

// 1 when readable within timeout_ms, 0 on time-out, -1 on failure.
int socket_wait_readable(SocketHandle s, int timeout_ms);

// 1 when a send would not block within timeout_ms, 0 on time-out, -1 on failure.
int socket_wait_writable(SocketHandle s, int timeout_ms);

// Ends the sending direction only: the peer reads end of stream, and can still send.
void socket_shutdown_send(SocketHandle s);

void socket_close(SocketHandle s);

// Server side, used by the simulator and the test rig. Binds to a dotted IPv4 address;
// port 0 picks a free one, reported in *bound_port. Returns kNoSocket on failure.
SocketHandle socket_listen_ipv4(const char* dotted_address, int port, int* bound_port);
SocketHandle socket_accept(SocketHandle listener);

// A connected pair (AF_UNIX on POSIX, loopback TCP on Windows). Returns 0 or -1.
int socket_pair(SocketHandle out[2]);

}  // namespace rq
