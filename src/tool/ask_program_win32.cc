#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tool/ask_program.h"

namespace rq {

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return w;
}

}  // namespace

int run_ask_program(const std::string& command, const std::string& question) {
  // cmd /s /c strips the outer quotes and runs the rest as typed; the questions hold no
  // double quote or percent sign, so quoting them makes them one argument.
  std::wstring line = L"cmd.exe /d /s /c \"" + wide(command) + L" \"" + wide(question) + L"\"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return -1;
  CloseHandle(pi.hThread);
  DWORD code = 0;
  bool ok = WaitForSingleObject(pi.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return ok && code <= 255 ? static_cast<int>(code) : -1;
}

bool stdin_on_terminal() { return _isatty(_fileno(stdin)) != 0; }

}  // namespace rq
