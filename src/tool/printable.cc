#include "tool/printable.h"

#include "local/platform.h"

namespace rq {

namespace {

std::string escaped(const std::string& text, bool backslash) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '\\' && backslash) {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += kDigits[c >> 4];
      out += kDigits[c & 0x0f];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

std::string printable(const std::string& text) { return escaped(text, true); }

std::string printable_line(const std::string& text) {
  return escaped(text, !local_names_windows());
}

}  // namespace rq
