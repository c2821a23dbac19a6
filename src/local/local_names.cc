#include "local/local_names.h"

#include <algorithm>
#include <cstring>

namespace rq {

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string folded(const std::string& s) {
  std::string f = s;
  for (char& c : f) c = upper(c);
  return f;
}

}  // namespace

bool windows_reserved_name(const std::string& name) {
  // The part before the first dot counts: "con.txt" and "CON " are the console too.
  std::string stem = folded(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* r : kReserved)
    if (stem == r) return true;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0))
    return stem[3] >= '1' && stem[3] <= '9';
  return false;
}

const char* windows_name_problem(const std::string& name) {
  if (name.empty()) return "an empty name";
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return "a control character";
    if (std::strchr("<>:\"/\\|?*", c)) return "a character Windows does not allow in names";
  }
  if (name.back() == '.' || name.back() == ' ') return "a trailing dot or blank";
  if (windows_reserved_name(name)) return "a name Windows reserves for a device";
  return nullptr;
}

bool find_case_clash(const std::vector<std::string>& names, size_t* first, size_t* second) {
  std::vector<size_t> order(names.size());
  std::vector<std::string> keys(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    order[i] = i;
    keys[i] = folded(names[i]);
  }
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });
  for (size_t i = 1; i < order.size(); ++i) {
    if (keys[order[i]] != keys[order[i - 1]]) continue;
    *first = order[i - 1];
    *second = order[i];
    return true;
  }
  return false;
}

}  // namespace rq
