#include "support/wire.h"

#include <cstdio>

#include "link/protocol.h"

namespace rq::testing {

std::string frame(const std::string& payload) {
  std::string f(kFrameHeaderSize, '\0');
  put_frame_header(reinterpret_cast<uint8_t*>(f.data()), payload.size());
  return f + payload;
}

std::string message(int code, int32_t value, int sub_code) {
  std::string m(kMessageSize, '\0');
  make_message(reinterpret_cast<uint8_t*>(m.data()), static_cast<uint8_t>(code),
               static_cast<uint8_t>(sub_code), value);
  return m;
}

std::string le32(int32_t value) {
  std::string b(4, '\0');
  put_le32(reinterpret_cast<uint8_t*>(b.data()), value);
  return b;
}

std::string with_zero(const std::string& name) { return name + std::string(1, '\0'); }

std::string put_payload(int32_t size, const std::string& name) {
  return le32(size) + with_zero(name);
}

std::string hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char ch : bytes) {
    snprintf(buf, sizeof buf, out.empty() ? "%02x" : " %02x", ch);
    out += buf;
  }
  return out;
}

bool wire_matches(const std::string& pattern, const std::string& bytes) {
  size_t i = 0;
  for (size_t p = 0; p < pattern.size();) {
    if (pattern[p] == ' ') {
      ++p;
      continue;
    }
    if (p + 1 >= pattern.size() || i >= bytes.size()) return false;
    std::string token = pattern.substr(p, 2);
    p += 2;
    if (token != "xx" && static_cast<unsigned char>(bytes[i]) != std::stoul(token, nullptr, 16))
      return false;
    ++i;
  }
  return i == bytes.size();
}

namespace {

// A frame in hex, its first 64 bytes only when it is longer, with its length.
std::string hex_head(const std::string& bytes) {
  constexpr size_t kShown = 64;
  if (bytes.size() <= kShown) return hex(bytes);
  return hex(bytes.substr(0, kShown)) + " ... (" + std::to_string(bytes.size()) + " bytes)";
}

}  // namespace

std::string frames_mismatch(const std::vector<std::string>& patterns,
                            const std::vector<std::string>& frames) {
  if (frames.size() != patterns.size())
    return std::to_string(frames.size()) + " frames sent, " + std::to_string(patterns.size()) +
           " expected";
  for (size_t i = 0; i < frames.size(); ++i)
    if (!wire_matches(patterns[i], frames[i]))
      return "frame " + std::to_string(i) + " is " + hex_head(frames[i]);
  return "";
}

std::vector<std::string> data_frame_patterns(const std::string& data,
                                             const std::vector<size_t>& sizes) {
  std::vector<std::string> patterns;
  size_t offset = 0;
  for (size_t size : sizes) {
    patterns.push_back(hex(frame(data.substr(offset, size))));
    offset += size;
  }
  return patterns;
}

}  // namespace rq::testing
