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

}  // namespace rq::testing
