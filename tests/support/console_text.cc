#include "support/console_text.h"

#include <regex>

namespace rq::testing {

std::string mask_varying(const std::string& text) {
  static const std::regex rate(R"(Download (-?[0-9]+\.[0-9]) KB -?[0-9]+\.[0-9] sec \S+ KB/s)");
  static const std::regex built("DX shell built at [^\n]*");
  return std::regex_replace(std::regex_replace(text, rate, "Download $1 KB <time>"), built,
                            "DX shell built at <date>");
}

}  // namespace rq::testing
