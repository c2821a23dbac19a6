#include "local/download_target.h"

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "local/interrupt_cleanup.h"
#include "local/local_names.h"
#include "local/platform.h"

namespace rq {

namespace {

constexpr int kNameAttempts = 64;
// Beyond this the name plus suffix could pass the platform's limit for one path element.
constexpr size_t kLongestNameWithSuffix = 200;

int saved_errno() { return errno ? errno : EIO; }

size_t last_name_start(const std::string& path) {
  size_t slash = path.find_last_of(local_names_windows() ? "/\\:" : "/");
  return slash == std::string::npos ? 0 : slash + 1;
}

// An unused name in the target's directory: the target's own name and a random-looking
// suffix, so that a file left by a crash shows what it was for. 0, or an errno value.
int create_temporary(DownloadTarget& t) {
  size_t base = last_name_start(t.target);
  bool short_name = t.target.size() - base <= kLongestNameWithSuffix;
  std::string stem = short_name ? t.target : t.target.substr(0, base);
  auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                    static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&t)));
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, "%srqpart-%08x", short_name ? "." : "",
             static_cast<unsigned>(seed + static_cast<uint32_t>(attempt) * 0x9E3779B9u));
    t.temporary = stem + suffix;
    // Anything under that name, a link lying in wait included, is passed over before
    // arming: an interrupt must not remove a file that is not ours.
    if (local_lstat(t.temporary).kind != LocalKind::kMissing) continue;
    // Armed first: a Ctrl-C right after the file appears still removes it.
    if (arm_interrupt_cleanup(t.temporary.c_str()) != 0) return ENAMETOOLONG;
    // Created only if still free: a name taken meanwhile is passed over, never written through.
    t.fd = local_create_new(t.temporary);
    if (t.fd >= 0) {
      interrupt_cleanup_opened(t.fd);
      return 0;
    }
    int error = saved_errno();
    disarm_interrupt_cleanup();
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

LocalFailure cannot(DownloadTarget& t, LocalFailed what, int error) {
  t.temporary.clear();
  return LocalFailure{what, error};
}

}  // namespace

LocalFailure open_download_target(DownloadTarget& t, const std::string& name) {
  abandon_download_target(t);  // whatever an earlier use left open
  t.to_stdout = false;
  t.existed = false;
  t.write_error = 0;
  // Writing to a link has always written to the file it points to; keep it that way
  // instead of replacing the link with a plain file.
  t.target = local_link_target(name);
  LocalStat st = local_stat(t.target);
  if (st.kind == LocalKind::kDirectory) return cannot(t, LocalFailed::kDirectory, EISDIR);
  bool device =
      local_names_windows() && windows_reserved_name(t.target.substr(last_name_start(t.target)));
  if (st.kind == LocalKind::kOther || device) {
    t.fd = local_open_write(t.target);
    return t.fd >= 0 ? LocalFailure{} : cannot(t, LocalFailed::kOpen, saved_errno());
  }
  if (st.kind == LocalKind::kFile) {
    // An existing file must accept writing, exactly as when it is written in place.
    FILE* probe = local_fopen(t.target, "r+b");
    if (!probe) return cannot(t, LocalFailed::kNotWritable, saved_errno());
    fclose(probe);
    t.existed = true;
  }
  int error = create_temporary(t);
  if (error) return cannot(t, LocalFailed::kCreate, error);
  return LocalFailure{};
}

void open_download_to_stdout(DownloadTarget& t) {
  abandon_download_target(t);
  set_binary_stdout();
  t.to_stdout = true;
  t.existed = false;
  t.write_error = 0;
  t.target.clear();
}

void write_download_target(DownloadTarget& t, const uint8_t* data, size_t length) {
  if (t.write_error || length == 0) return;
  errno = 0;
  if (t.to_stdout) {
    if (fwrite(data, 1, length, stdout) == length) return;
    // A reader that went away ends the program here, as it ends a killed writer.
    end_if_reader_gone(errno);
    t.write_error = saved_errno();
    return;
  }
  if (local_write_all(t.fd, data, length) != 0) t.write_error = saved_errno();
}

LocalFailure commit_download_target(DownloadTarget& t) {
  errno = 0;
  if (t.to_stdout) {
    if (fflush(stdout) != 0 && !t.write_error) {
      end_if_reader_gone(errno);
      t.write_error = saved_errno();
    }
    t.to_stdout = false;
    return t.write_error ? LocalFailure{LocalFailed::kWrite, t.write_error} : LocalFailure{};
  }
  if (local_close(t.fd) != 0 && !t.write_error) t.write_error = saved_errno();
  t.fd = -1;
  if (t.write_error) {
    abandon_download_target(t);
    return LocalFailure{LocalFailed::kWrite, t.write_error};
  }
  if (t.temporary.empty()) return LocalFailure{};  // written in place
  if (t.existed) local_copy_permissions(t.target, t.temporary);
  int error = local_replace(t.temporary, t.target);
  if (error) {
    abandon_download_target(t);
    return LocalFailure{LocalFailed::kReplace, error};
  }
  // Only now: an interrupt before the rename must still remove the temporary file.
  disarm_interrupt_cleanup();
  t.temporary.clear();
  return LocalFailure{};
}

void abandon_download_target(DownloadTarget& t) {
  if (t.to_stdout) fflush(stdout);
  t.to_stdout = false;
  if (t.fd >= 0) local_close(t.fd);
  t.fd = -1;
  if (!t.temporary.empty()) {
    local_remove(t.temporary);
    disarm_interrupt_cleanup();
  }
  t.temporary.clear();
}

DownloadTarget::~DownloadTarget() { abandon_download_target(*this); }

static int write_to_target(void* context, const uint8_t* data, size_t length) {
  auto& t = *static_cast<DownloadTarget*>(context);
  write_download_target(t, data, length);
  return t.write_error ? -1 : 0;
}

DataSink download_target_sink(DownloadTarget& t) { return DataSink{&t, write_to_target}; }

}  // namespace rq
