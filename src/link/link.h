// The TCP link to the device proxy: connect, and move whole frames.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/connection.h"

namespace rq {

constexpr int kLinkFailed = -1;
constexpr int kLinkRefused = -2;

// Connects to the proxy at a dotted IPv4 address; prints its own failure line.
// Returns 0, kLinkFailed (socket layer or socket) or kLinkRefused (connect failed).
int connect_to_proxy(Connection& c, const char* server, int port);

// Sends one frame (header and payload in one buffer, offered whole to the socket).
// Returns 0, or kLinkFailed after printing why. length must not exceed kMaxPayload.
int send_frame(Connection& c, const uint8_t* payload, size_t length);

// Receives exactly one frame and copies its payload to dest. Returns the payload length, or
// kLinkFailed after printing why: a socket error, the proxy closing the connection (later
// calls then fail at once), a frame longer than kMaxPayload or than capacity (such a frame
// is read to its end and dropped, so the next frame is read in step).
int receive_frame(Connection& c, uint8_t* dest, size_t capacity);

// Receives an 8-byte status, ready or grant message into c.message. A shorter frame leaves
// zeros in its missing bytes, so nothing from an earlier exchange is read as part of it.
// Returns the frame's length or kLinkFailed.
int receive_message(Connection& c);

// 1 when the proxy has sent something within timeout_ms, else 0.
int wait_for_proxy(Connection& c, int timeout_ms);

void close_connection(Connection& c);

}  // namespace rq
