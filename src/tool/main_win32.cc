// Windows hands arguments over as UTF-16; the tool takes them as UTF-8 and turns local
// file names back into wide names where it opens them (platform_win32.cc).
#include <windows.h>

#include <string>
#include <vector>

#include "tool/tool_main.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &a[0], n, nullptr, nullptr);
    a.resize(a.size() - 1);  // the terminating zero
    args.push_back(a);
  }
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(&a[0]);
  pointers.push_back(nullptr);
  return rq::tool_main(argc, pointers.data());
}
