#include "mount/mount_log.h"

#include <cstdarg>
#include <ctime>

namespace rq::mount {

void log_line(MountLog& log, const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::lock_guard<std::mutex> lock(log.mutex);
  for (FILE* f : {log.out, log.also}) {
    if (!f) continue;
    fprintf(f, "%s rqmount: %s\n", stamp, text);
    fflush(f);
  }
}

}  // namespace rq::mount
