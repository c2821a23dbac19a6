#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>

#include "local/local_names.h"
#include "local/platform.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace rq {

namespace {

// The C runtime takes an unsigned int count; larger requests go in pieces of this size.
constexpr size_t kLargestPiece = 1u << 30;

unsigned piece(size_t length) {
  return static_cast<unsigned>(length < kLargestPiece ? length : kLargestPiece);
}

std::wstring wide_from(UINT code_page, const char* text, int length) {
  if (length == 0) return std::wstring();
  int n = MultiByteToWideChar(code_page, 0, text, length, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(code_page, 0, text, length, &w[0], n);
  return w;
}

std::wstring wide(const std::string& utf8) {
  return wide_from(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
}

std::string narrow(const wchar_t* w, int length) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, length, &s[0], n, nullptr, nullptr);
  return s;
}

int errno_for(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_DIRECTORY: return ENOTDIR;
    default: return EIO;
  }
}

// The name's last part: a device name such as NUL or COM1 there names the device.
bool names_device(const std::string& name) {
  size_t slash = name.find_last_of("/\\:");
  return windows_reserved_name(slash == std::string::npos ? name : name.substr(slash + 1));
}

LocalStat attributes_stat(const std::string& name, bool follow) {
  LocalStat r;
  if (names_device(name)) {
    r.kind = LocalKind::kOther;
    return r;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(name).c_str(), GetFileExInfoStandard, &data)) {
    r.error = errno_for(GetLastError());
    return r;
  }
  DWORD a = data.dwFileAttributes;
  r.size =
      static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
    if (!follow) {
      r.kind = LocalKind::kLink;
      return r;
    }
    // What the link names: its target's attributes.
    HANDLE h = CreateFileW(wide(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      r.error = errno_for(GetLastError());
      return r;
    }
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) {
      r.error = EIO;
      return r;
    }
    a = info.dwFileAttributes;
    r.size =
        static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    r.device = info.dwVolumeSerialNumber;
    r.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  r.kind = (a & FILE_ATTRIBUTE_DIRECTORY) ? LocalKind::kDirectory : LocalKind::kFile;
  return r;
}

// Standard error's console mode from before the progress line switched it, put back when the
// program ends: a console keeps a mode after the program that set it is gone. The console
// runs its control handler on a thread of its own, which can reach nothing but statics, so
// the mode lives here; it is written before the flag that publishes it.
DWORD g_original_mode = 0;
std::atomic<bool> g_mode_changed{false};

void put_mode_back() {
  if (g_mode_changed.exchange(false))
    SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), g_original_mode);
}

// Control-C, Control-Break or closing the console end the program without a return from
// its main. Handlers run newest first: this one, registered after the interrupt clean-up's,
// puts the mode back and leaves the event to that one.
BOOL WINAPI restore_on_console_event(DWORD) {
  put_mode_back();
  return FALSE;
}

std::wstring wide_mode(const char* mode) {
  std::wstring w;
  for (const char* p = mode; *p; ++p) w.push_back(static_cast<wchar_t>(*p));
  return w;
}

}  // namespace

// The C library reads names in the process's code page; the same name in UTF-8 opens the
// same file through the wide calls.
std::string local_name(const char* c_library_name) {
  std::wstring w = wide_from(CP_ACP, c_library_name, static_cast<int>(strlen(c_library_name)));
  return narrow(w.data(), static_cast<int>(w.size()));
}

int local_open_read(const std::string& name) {
  return ::_wopen(wide(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int local_open_write(const std::string& name) {
  return ::_wopen(wide(name).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

int local_create_new(const std::string& name) {
  return ::_wopen(wide(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

// No signal interrupts the C runtime's calls here.
long long local_write_some(int fd, const uint8_t* data, size_t length) {
  return ::_write(fd, data, piece(length));
}

long long local_read_some(int fd, uint8_t* data, size_t length) {
  return ::_read(fd, data, piece(length));
}

int local_rewind(int fd) { return ::_lseeki64(fd, 0, SEEK_SET) < 0 ? -1 : 0; }

int local_close(int fd) { return ::_close(fd); }

// Large pages need a privilege a console program does not have; the block keeps small ones.
void local_expect_large_block(void*, size_t) {}

FILE* local_fopen(const std::string& name, const char* mode) {
  return _wfopen(wide(name).c_str(), wide_mode(mode).c_str());
}

LocalStat local_stat(const std::string& name) { return attributes_stat(name, true); }

LocalStat local_lstat(const std::string& name) { return attributes_stat(name, false); }

LocalStat local_fstat(int fd) {
  LocalStat r;
  struct _stati64 st;
  if (_fstati64(fd, &st) != 0) {
    r.error = errno;
    return r;
  }
  r.kind = (st.st_mode & _S_IFMT) == _S_IFREG   ? LocalKind::kFile
           : (st.st_mode & _S_IFMT) == _S_IFDIR ? LocalKind::kDirectory
                                                : LocalKind::kOther;
  r.size = static_cast<int64_t>(st.st_size);
  return r;
}

// A link is written through as Windows opens it; the name is what gets replaced.
std::string local_link_target(const std::string& name) { return name; }

int local_replace(const std::string& from, const std::string& to) {
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  return errno_for(GetLastError());
}

void local_remove(const std::string& name) { _wremove(wide(name).c_str()); }

int local_remove_file(const std::string& name) {
  if (DeleteFileW(wide(name).c_str())) return 0;
  return errno_for(GetLastError());
}

int local_remove_dir(const std::string& name) {
  if (RemoveDirectoryW(wide(name).c_str())) return 0;
  return errno_for(GetLastError());
}

void local_copy_permissions(const std::string&, const std::string&) {}

int local_list_dir(const std::string& name, std::vector<std::string>* names) {
  names->clear();
  std::wstring pattern = wide(name);
  if (!pattern.empty() && pattern.back() != L'/' && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : errno_for(error);
  }
  do {
    std::string n = narrow(data.cFileName, static_cast<int>(wcslen(data.cFileName)));
    if (n != "." && n != "..") names->push_back(n);
  } while (FindNextFileW(h, &data));
  DWORD error = GetLastError();
  FindClose(h);
  std::sort(names->begin(), names->end());
  return error == ERROR_NO_MORE_FILES ? 0 : errno_for(error);
}

int local_make_dir(const std::string& name) {
  if (CreateDirectoryW(wide(name).c_str(), nullptr)) return 0;
  return errno_for(GetLastError());
}

bool local_names_windows() { return true; }

void set_binary_stdout() { _setmode(_fileno(stdout), _O_BINARY); }

// A console, not merely a character device: _isatty says yes for NUL too, and a progress
// line sent there would be drawn for nobody.
bool stderr_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool stderr_enable_line_erase() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(err, &mode)) return false;
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
  // Consoles before Windows 10 refuse the flag.
  if (!SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
  g_original_mode = mode;
  g_mode_changed = true;
  SetConsoleCtrlHandler(restore_on_console_event, TRUE);
  return true;
}

void stderr_restore_mode() {
  put_mode_back();
  SetConsoleCtrlHandler(restore_on_console_event, FALSE);
}

// The console echoes the Enter that follows Ctrl-Z, so the line is ended already.
bool console_end_leaves_line_open() { return false; }

}  // namespace rq
