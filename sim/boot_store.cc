#include "boot_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "device_status.h"

namespace rq::sim {

int boot_open_read(const char* boot_dir, int boot, int* fd, int64_t* size) {
  *fd = -1;
  *size = 0;
  if (boot < kFirstBoot || boot > kLastBoot) return -kStatusInvalidParameter;
  char path[4200];
  snprintf(path, sizeof path, "%s/boot%d.img", boot_dir, boot);
  int f = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (f < 0) return errno == ENOENT ? 0 : -status_for_errno(errno);
  struct stat st;
  if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxDeviceFileSize) {
    close(f);
    return -kStatusFsError;
  }
  *fd = f;
  *size = st.st_size;
  return 0;
}

int boot_write_begin(const char* boot_dir, int boot, Upload& up) {
  if (boot < kFirstBoot || boot > kLastBoot) return -kStatusInvalidParameter;
  int dir = open(boot_dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return -status_for_errno(errno);
  snprintf(up.name, sizeof up.name, "boot%d.img", boot);
  snprintf(up.temp, sizeof up.temp, "boot%d.img.part", boot);
  up.fd = openat(dir, up.temp, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (up.fd < 0) {
    int status = status_for_errno(errno);
    close(dir);
    return -status;
  }
  up.dir_fd = dir;
  return 0;
}

}  // namespace rq::sim
