#include <io.h>
#include <windows.h>

#include <cstring>

#include "local/interrupt_cleanup.h"

namespace rq {

namespace {

// The console runs its control handler on a thread of its own, which can reach nothing but
// statics: the path, the file's handle and the note live here, guarded by a lock that the
// handler keeps until the process is gone, so the program cannot move the file meanwhile.
// The path is kept wide, converted while arming, so the handler has nothing to convert.
constexpr size_t kPathCapacity = 4096 + 64;
constexpr size_t kNoteCapacity = 1024;
SRWLOCK g_lock = SRWLOCK_INIT;
wchar_t g_temporary[kPathCapacity];
HANDLE g_file = INVALID_HANDLE_VALUE;
bool g_armed = false;
char g_note[kNoteCapacity];
WindowsInterruptExit g_exit = WindowsInterruptExit::kConsoleDefault;
unsigned g_sources = 0;

void write_note() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == INVALID_HANDLE_VALUE || err == nullptr) return;
  DWORD written = 0;
  // Standard error is a text stream: its lines end as the C library would end them.
  WriteFile(err, g_note, static_cast<DWORD>(strlen(g_note)), &written, nullptr);
  WriteFile(err, "\r\n", 2, &written, nullptr);
}

BOOL WINAPI on_console_event(DWORD event) {
  unsigned source = 0;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: source = kInterruptKey; break;
    case CTRL_CLOSE_EVENT: source = kHangUp; break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: source = kTerminateRequest; break;
    default: return FALSE;
  }
  AcquireSRWLockExclusive(&g_lock);
  if (!(g_sources & source)) {
    ReleaseSRWLockExclusive(&g_lock);
    return FALSE;  // not chosen: the default handler acts
  }
  bool nothing_to_do = !g_armed && !g_note[0];
  if (nothing_to_do && g_exit == WindowsInterruptExit::kConsoleDefault) {
    ReleaseSRWLockExclusive(&g_lock);
    return FALSE;  // the default handler ends the program as it always did
  }
  // An open file cannot be deleted; the program's own writes to it fail from here on, and
  // the process ends before it could do anything about that.
  if (g_armed) {
    if (g_file != INVALID_HANDLE_VALUE) CloseHandle(g_file);
    DeleteFileW(g_temporary);
  }
  if (g_note[0]) write_note();
  // Ends at once, other threads and all: nothing runs that could wait for a lock held there.
  TerminateProcess(GetCurrentProcess(),
                   g_exit == WindowsInterruptExit::kStatus130 ? 130 : STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

void install_interrupt_cleanup(unsigned sources, WindowsInterruptExit exit) {
  AcquireSRWLockExclusive(&g_lock);
  g_exit = exit;
  g_sources = sources;
  ReleaseSRWLockExclusive(&g_lock);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

// Names come in UTF-8 (platform.h).
int arm_interrupt_cleanup(const char* temporary_path) {
  wchar_t wide[kPathCapacity];
  int n =
      MultiByteToWideChar(CP_UTF8, 0, temporary_path, -1, wide, static_cast<int>(kPathCapacity));
  if (n <= 0) return -1;  // too long for the buffer
  AcquireSRWLockExclusive(&g_lock);
  memcpy(g_temporary, wide, static_cast<size_t>(n) * sizeof(wchar_t));
  g_file = INVALID_HANDLE_VALUE;
  g_armed = true;
  ReleaseSRWLockExclusive(&g_lock);
  return 0;
}

void interrupt_cleanup_opened(int fd) {
  intptr_t handle = _get_osfhandle(fd);
  AcquireSRWLockExclusive(&g_lock);
  if (g_armed) g_file = reinterpret_cast<HANDLE>(handle);
  ReleaseSRWLockExclusive(&g_lock);
}

void disarm_interrupt_cleanup() {
  AcquireSRWLockExclusive(&g_lock);
  g_armed = false;
  g_file = INVALID_HANDLE_VALUE;
  ReleaseSRWLockExclusive(&g_lock);
}

void set_interrupt_note(const char* text) {
  size_t length = strnlen(text, kNoteCapacity - 1);
  AcquireSRWLockExclusive(&g_lock);
  memcpy(g_note, text, length);
  g_note[length] = '\0';
  ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace rq
