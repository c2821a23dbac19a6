#include <errno.h>
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
constexpr size_t kOutputCapacity = 1024;
SRWLOCK g_lock = SRWLOCK_INIT;
wchar_t g_temporary[kPathCapacity];
HANDLE g_file = INVALID_HANDLE_VALUE;
bool g_armed = false;
char g_note[kNoteCapacity];
WindowsInterruptExit g_exit = WindowsInterruptExit::kConsoleDefault;
unsigned g_sources = 0;
bool g_held = false;  // hold_interrupts_until_exit

// The events' sources, with the POSIX signals they stand for.
struct Handled {
  InterruptSource source;
  const char* name;
  int number;
};
constexpr Handled kSources[] = {
    {kInterruptKey, "SIGINT", 2}, {kTerminateRequest, "SIGTERM", 15}, {kHangUp, "SIGHUP", 1}};
constexpr size_t kSourceCount = sizeof kSources / sizeof kSources[0];
// Each source's report for standard output, with its line end; by kSources' order.
char g_output[kSourceCount][kOutputCapacity];

void write_line(DWORD which, const char* text, bool line_end) {
  HANDLE h = GetStdHandle(which);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
  DWORD written = 0;
  WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  // Standard error is a text stream: its lines end as the C library would end them.
  if (line_end) WriteFile(h, "\r\n", 2, &written, nullptr);
}

const char* output_for(unsigned source) {
  for (size_t i = 0; i < kSourceCount; ++i)
    if (kSources[i].source == source) return g_output[i];
  return "";
}

// Removes the armed file, the lock held.
void remove_armed_file() {
  // An open file cannot be deleted; the program's own writes to it fail from here on, and
  // the process ends before it could do anything about that.
  if (g_armed) {
    if (g_file != INVALID_HANDLE_VALUE) CloseHandle(g_file);
    DeleteFileW(g_temporary);
  }
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
  if (g_held) {
    ReleaseSRWLockExclusive(&g_lock);
    return TRUE;  // the program has reported how it ends and is about to
  }
  bool nothing_to_do = !g_armed && !g_note[0] && !output_for(source)[0];
  if (nothing_to_do && g_exit == WindowsInterruptExit::kConsoleDefault) {
    ReleaseSRWLockExclusive(&g_lock);
    return FALSE;  // the default handler ends the program as it always did
  }
  remove_armed_file();
  if (g_note[0]) write_line(STD_ERROR_HANDLE, g_note, true);
  if (output_for(source)[0]) write_line(STD_OUTPUT_HANDLE, output_for(source), false);
  // Ends at once, other threads and all: nothing runs that could wait for a lock held there.
  TerminateProcess(GetCurrentProcess(),
                   g_exit == WindowsInterruptExit::kStatus130 ? 130 : STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

// kBrokenPipe has no console event: end_if_reader_gone stands in for it.
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

InterruptEnding interrupt_ending(InterruptSource source) {
  AcquireSRWLockExclusive(&g_lock);
  int status =
      g_exit == WindowsInterruptExit::kStatus130 ? 130 : static_cast<int>(STATUS_CONTROL_C_EXIT);
  ReleaseSRWLockExclusive(&g_lock);
  for (const Handled& h : kSources)
    if (h.source == source) return InterruptEnding{h.name, h.number, status};
  return InterruptEnding{"SIGINT", 2, status};
}

int set_interrupt_output(InterruptSource source, const char* text) {
  size_t length = strlen(text);
  if (length + 3 > kOutputCapacity) return -1;
  for (size_t i = 0; i < kSourceCount; ++i) {
    if (kSources[i].source != source) continue;
    AcquireSRWLockExclusive(&g_lock);
    memcpy(g_output[i], text, length);
    // One write, its line end as the C library ends standard output's lines.
    if (length > 0) {
      g_output[i][length++] = '\r';
      g_output[i][length++] = '\n';
    }
    g_output[i][length] = '\0';
    ReleaseSRWLockExclusive(&g_lock);
  }
  return 0;
}

void hold_interrupts_until_exit() {
  AcquireSRWLockExclusive(&g_lock);
  g_held = true;
  ReleaseSRWLockExclusive(&g_lock);
}

// A pipe whose reader has closed fails a write with ERROR_NO_DATA (which the C library
// reports as EINVAL) or ERROR_BROKEN_PIPE (EPIPE).
void end_if_reader_gone(int write_error) {
  DWORD last = GetLastError();
  if (write_error != EPIPE && last != ERROR_NO_DATA && last != ERROR_BROKEN_PIPE) return;
  AcquireSRWLockExclusive(&g_lock);
  remove_armed_file();
  // Ends at once, as the console handler does; the lock is never released.
  TerminateProcess(GetCurrentProcess(), 0);
}

}  // namespace rq
