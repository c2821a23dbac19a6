#include "device_setup.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "device_fs.h"
#include "link/protocol.h"

namespace rq::sim {

namespace {

int write_file_at(int dir_fd, const char* name, const uint8_t* data, size_t length, mode_t mode) {
  int fd = openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  bool ok = write(fd, data, length) == static_cast<ssize_t>(length);
  return close(fd) == 0 && ok ? 0 : -1;
}

int make_dir_at(int dir_fd, const char* name) {
  if (mkdirat(dir_fd, name, 0755) != 0 && errno != EEXIST) return -1;
  return openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void put_le16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// A 32-bit little-endian ARM executable: ELF header, one loadable segment, and a few
// instructions (mov r0, #0; bx lr) followed by a greeting.
size_t build_hello_elf(uint8_t* out) {
  constexpr size_t kHeader = 52, kProgramHeader = 32;
  static const uint8_t kCode[] = {0x00, 0x00, 0xA0, 0xE3, 0x1E, 0xFF, 0x2F, 0xE1};
  static const char kGreeting[] = "Hello from the device!\n";
  size_t total = kHeader + kProgramHeader + sizeof kCode + sizeof kGreeting;
  std::memset(out, 0, total);
  static const uint8_t kIdent[] = {0x7F, 'E', 'L', 'F', 1, 1, 1};  // 32-bit, LE, version 1
  std::memcpy(out, kIdent, sizeof kIdent);
  put_le16(out + 16, 2);                                                        // executable
  put_le16(out + 18, 40);                                                       // ARM
  put_le32(out + 20, 1);                                                        // version
  put_le32(out + 24, 0x8000 + static_cast<int32_t>(kHeader + kProgramHeader));  // entry
  put_le32(out + 28, static_cast<int32_t>(kHeader));                            // phoff
  put_le32(out + 36, 0x05000000);                                               // EABI 5
  put_le16(out + 40, kHeader);
  put_le16(out + 42, kProgramHeader);
  put_le16(out + 44, 1);  // one program header
  put_le16(out + 46, 40);
  uint8_t* ph = out + kHeader;
  put_le32(ph + 0, 1);  // loadable
  put_le32(ph + 8, 0x8000);
  put_le32(ph + 12, 0x8000);
  put_le32(ph + 16, static_cast<int32_t>(total));
  put_le32(ph + 20, static_cast<int32_t>(total));
  put_le32(ph + 24, 5);  // read + execute
  put_le32(ph + 28, 0x1000);
  std::memcpy(ph + kProgramHeader, kCode, sizeof kCode);
  std::memcpy(ph + kProgramHeader + sizeof kCode, kGreeting, sizeof kGreeting);
  return total;
}

bool directory_is_empty(int dir_fd) {
  int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  bool empty = true;
  while (dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

// Removes upload files left by an rqsim that was stopped mid-transfer. Nobody can see
// them (no listing shows them), yet they would keep their directory from being removed.
void sweep_stale_uploads(int dir_fd, int depth) {
  if (depth > 128) return;
  int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
  if (!dir) {
    if (fd >= 0) close(fd);
    return;
  }
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(st.st_mode) && std::strncmp(name, kUploadPrefix, std::strlen(kUploadPrefix)) == 0) {
      unlinkat(dir_fd, name, 0);
    } else if (S_ISDIR(st.st_mode)) {
      int sub = openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) {
        sweep_stale_uploads(sub, depth + 1);
        close(sub);
      }
    }
  }
  closedir(dir);
}

// True when `inner` is `outer` or lies below it (both existing directories).
bool is_within(const char* inner, const char* outer) {
  char a[PATH_MAX], b[PATH_MAX];
  if (!realpath(inner, a) || !realpath(outer, b)) return false;
  size_t n = std::strlen(b);
  if (n == 1) return true;  // outer is "/"
  return std::strncmp(a, b, n) == 0 && (a[n] == '\0' || a[n] == '/');
}

}  // namespace

int fill_demo_device(int root_fd) {
  static const char kReadme[] =
      "This is the rqsim demo device.\n"
      "Try: ls, cd docs, get readme.txt readme.txt, put FILE name, launch /bin/hello.elf\n";
  uint8_t elf[256];
  size_t elf_length = build_hello_elf(elf);
  int bin = make_dir_at(root_fd, "bin");
  int docs = make_dir_at(root_fd, "docs");
  int logs = make_dir_at(root_fd, "logs");
  int rc = bin >= 0 && docs >= 0 && logs >= 0 ? 0 : -1;
  if (rc == 0) rc = write_file_at(bin, "hello.elf", elf, elf_length, 0755);
  if (rc == 0)
    rc = write_file_at(docs, "readme.txt", reinterpret_cast<const uint8_t*>(kReadme),
                       sizeof kReadme - 1, 0644);
  for (int fd : {bin, docs, logs})
    if (fd >= 0) close(fd);
  return rc;
}

int prepare_device(const SimOptions& o, FILE* err) {
  std::error_code ec;
  std::filesystem::create_directories(o.root, ec);
  if (ec) {
    fprintf(err, "rqsim: cannot create the device root %s: %s\n", o.root, ec.message().c_str());
    return -1;
  }
  std::filesystem::create_directories(o.boot_dir, ec);
  if (ec) {
    fprintf(err, "rqsim: cannot create the boot directory %s: %s\n", o.boot_dir,
            ec.message().c_str());
    return -1;
  }
  if (is_within(o.boot_dir, o.root)) {
    fprintf(err, "rqsim: the boot directory %s lies inside the device root %s\n", o.boot_dir,
            o.root);
    return -1;
  }
  int root_fd = open(o.root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_fd < 0) {
    fprintf(err, "rqsim: cannot open the device root %s: %s\n", o.root, strerror(errno));
    return -1;
  }
  sweep_stale_uploads(root_fd, 0);
  if (o.demo && directory_is_empty(root_fd) && fill_demo_device(root_fd) != 0) {
    fprintf(err, "rqsim: cannot fill the demo device in %s\n", o.root);
    close(root_fd);
    return -1;
  }
  return root_fd;
}

}  // namespace rq::sim
