// Strict decimal numbers for rqsim's options: all of the text, within a range.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace rq::sim {

inline bool parse_decimal(const char* text, long long low, long long high, long long* value) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

}  // namespace rq::sim
