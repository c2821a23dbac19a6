#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "tool/platform.h"

namespace rq {

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return w;
}

std::wstring wide_mode(const char* mode) {
  std::wstring w;
  for (const char* p = mode; *p; ++p) w.push_back(static_cast<wchar_t>(*p));
  return w;
}

}  // namespace

FILE* local_open(const std::string& name, const char* mode) {
  return _wfopen(wide(name).c_str(), wide_mode(mode).c_str());
}

FILE* local_create_new(const std::string& name) {
  int fd =
      _wopen(wide(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
  return f;
}

int local_replace(const std::string& from, const std::string& to) {
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  // Callers word the failure with the C library's texts.
  DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES : EIO;
}

void local_remove(const std::string& name) { _wremove(wide(name).c_str()); }

int local_file_size(FILE* f, int64_t* size) {
  struct _stati64 st;
  if (_fstati64(_fileno(f), &st) != 0) return -1;
  *size = static_cast<int64_t>(st.st_size);
  return 0;
}

void local_copy_permissions(const std::string&, const std::string&) {}

LocalKind local_kind(const std::string& name) {
  struct _stati64 st;
  if (_wstati64(wide(name).c_str(), &st) != 0) return LocalKind::kMissing;
  return (st.st_mode & _S_IFREG) ? LocalKind::kRegular : LocalKind::kOther;
}

std::string local_write_target(const std::string& name) { return name; }

std::string local_error_text(int error) { return strerror(error); }

void set_binary_stdout() { _setmode(_fileno(stdout), _O_BINARY); }

bool stderr_on_terminal() { return _isatty(_fileno(stderr)) != 0; }

int process_id() { return static_cast<int>(GetCurrentProcessId()); }

void pause_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace rq
