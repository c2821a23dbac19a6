// Frames and messages as test text: builders for what a scripted peer sends, and a matcher
// for what a program under test wrote on the wire.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rq::testing {

// A frame around payload: markers, big-endian length, payload.
std::string frame(const std::string& payload);

// An 8-byte message (command, status, ready or grant); unassigned bytes are zero.
std::string message(int code, int32_t value = 0, int sub_code = 0);

// A little-endian 32-bit field.
std::string le32(int32_t value);

// A name as the wire carries it: its bytes, then a zero.
std::string with_zero(const std::string& name);

// put's payload: the file size as le32, then the device name and its zero.
std::string put_payload(int32_t size, const std::string& name);

// Space-separated hex of bytes ("41 67 00 08").
std::string hex(const std::string& bytes);

// Hex text for expected wire bytes: "41 67 00 08 06 xx xx xx 05 00 00 00", where xx
// matches any byte (the unassigned bytes of a command message).
bool wire_matches(const std::string& pattern, const std::string& bytes);

// "" when frames match patterns one for one (each as wire_matches reads it); otherwise what
// differs, for the failing test's message: how many frames came against how many were
// expected, or the first frame that does not match, in hex (a long one cut short).
std::string frames_mismatch(const std::vector<std::string>& patterns,
                            const std::vector<std::string>& frames);

// The data frames of a transfer as patterns: data cut into pieces of the given sizes, each
// framed and in hex.
std::vector<std::string> data_frame_patterns(const std::string& data,
                                             const std::vector<size_t>& sizes);

}  // namespace rq::testing
