#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
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

std::string narrow(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(static_cast<size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
  return s;
}

int errno_for(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_DIRECTORY: return ENOTDIR;
    default: return EIO;
  }
}

LocalStat attributes_stat(const std::string& name, bool follow) {
  LocalStat r;
  DWORD a = GetFileAttributesW(wide(name).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    r.error = errno_for(GetLastError());
    return r;
  }
  if (!follow && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    r.kind = LocalEntryKind::kLink;
    return r;
  }
  if (follow && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
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
    r.device = info.dwVolumeSerialNumber;
    r.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  r.kind = (a & FILE_ATTRIBUTE_DIRECTORY) ? LocalEntryKind::kDirectory : LocalEntryKind::kFile;
  return r;
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

LocalStat local_lstat(const std::string& name) { return attributes_stat(name, false); }

LocalStat local_stat(const std::string& name) { return attributes_stat(name, true); }

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
    std::string n = narrow(data.cFileName);
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

std::string local_error_text(int error) { return strerror(error); }

void set_binary_stdout() { _setmode(_fileno(stdout), _O_BINARY); }

bool stderr_on_terminal() { return _isatty(_fileno(stderr)) != 0; }

int process_id() { return static_cast<int>(GetCurrentProcessId()); }

void pause_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace rq
