#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tool/interrupt.h"

namespace rq {

namespace {

// The control handler runs on a thread of its own; the lock keeps it from reading a name
// half written.
CRITICAL_SECTION lock;
wchar_t guarded_file[4096];
char note[512];

BOOL WINAPI on_control(DWORD) {
  EnterCriticalSection(&lock);
  if (guarded_file[0]) DeleteFileW(guarded_file);
  if (note[0]) fprintf(stderr, "%s\n", note);
  fflush(stderr);
  // Ending the process closes the link as well.
  ExitProcess(130);
  return TRUE;
}

}  // namespace

void interrupt_install() {
  InitializeCriticalSection(&lock);
  SetConsoleCtrlHandler(on_control, TRUE);
}

void interrupt_guard_file(const std::string& name) {
  EnterCriticalSection(&lock);
  guarded_file[0] = L'\0';
  if (!name.empty()) {
    int n = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, guarded_file,
                                static_cast<int>(sizeof guarded_file / sizeof guarded_file[0]));
    if (n <= 0) guarded_file[0] = L'\0';
  }
  LeaveCriticalSection(&lock);
}

void interrupt_note(const std::string& text) {
  EnterCriticalSection(&lock);
  size_t n = text.size() < sizeof note - 1 ? text.size() : sizeof note - 1;
  std::memcpy(note, text.data(), n);
  note[n] = '\0';
  LeaveCriticalSection(&lock);
}

}  // namespace rq
