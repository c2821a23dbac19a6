#include "transfer/download_target.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "transfer/interrupt_cleanup.h"
#include "transfer/local_io.h"

namespace fs = std::filesystem;

namespace rq {

namespace {

constexpr int kNameAttempts = 64;
// Beyond this the name plus suffix could pass the platform's limit for one path element.
constexpr size_t kLongestNameWithSuffix = 200;

int saved_errno() { return errno ? errno : EIO; }

bool path_taken(const std::string& path) {
  std::error_code ec;
  // symlink_status: a link lying in wait under that name counts as taken, so the data
  // never goes through a link that someone else planted.
  fs::file_status st = fs::symlink_status(path, ec);
  return fs::exists(st) || (ec && ec != std::errc::no_such_file_or_directory);
}

// An unused name in the target's directory: the target's own name and a random-looking
// suffix, so that a file left by a crash shows what it was for. A descriptor, or -1.
int create_temporary(DownloadTarget& t) {
  size_t slash = t.target.find_last_of("/\\:");
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  bool short_name = t.target.size() - base <= kLongestNameWithSuffix;
  std::string stem = short_name ? t.target : t.target.substr(0, base);
  auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                    static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&t)));
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, "%srqpart-%08x", short_name ? "." : "",
             static_cast<unsigned>(seed + static_cast<uint32_t>(attempt) * 0x9E3779B9u));
    t.temporary = stem + suffix;
    if (path_taken(t.temporary)) continue;
    // Armed first: a Ctrl-C right after the file appears still removes it.
    arm_interrupt_cleanup(t.temporary.c_str());
    // Created only if still free: a name taken meanwhile is passed over, never written through.
    int fd = local_create_new(t.temporary.c_str());
    if (fd >= 0) {
      interrupt_cleanup_opened(fd);
      return fd;
    }
    int error = errno;
    disarm_interrupt_cleanup();
    if (error != EEXIST) return fd;
  }
  return -1;
}

int cannot_open(Shell& c, DownloadTarget& t) {
  note_outcome(c, CommandOutcome::kLocalFile);
  fprintf(c.console_out, "Cannot open PC file %s\n", t.name.c_str());
  t.temporary.clear();
  return -1;
}

}  // namespace

int open_download_target(Shell& c, const char* name, DownloadTarget& t) {
  abandon_download_target(t);  // whatever an earlier use left open
  t.existed = false;
  t.write_error = 0;
  t.name = name;
  t.target = name;
  std::error_code ec;
  // Writing to a link has always written to the file it points to; keep it that way
  // instead of replacing the link with a plain file.
  if (fs::is_symlink(fs::symlink_status(t.target, ec))) {
    fs::path real = fs::canonical(t.target, ec);
    if (!ec) t.target = real.string();
  }
  fs::file_status st = fs::status(t.target, ec);
  if (fs::exists(st)) {
    if (fs::is_directory(st)) return cannot_open(c, t);
    if (!fs::is_regular_file(st)) {
      t.fd = local_open_write(t.target.c_str());
      return t.fd >= 0 ? 0 : cannot_open(c, t);
    }
    // An existing file must accept writing, exactly as when it is written in place.
    FILE* probe = fopen(t.target.c_str(), "r+b");
    if (!probe) return cannot_open(c, t);
    fclose(probe);
    t.existed = true;
  }
  t.fd = create_temporary(t);
  if (t.fd < 0) return cannot_open(c, t);
  return 0;
}

void write_download_target(DownloadTarget& t, const uint8_t* data, size_t length) {
  if (t.write_error || length == 0) return;
  errno = 0;
  if (local_write_all(t.fd, data, length) != 0) t.write_error = saved_errno();
}

int commit_download_target(Shell& c, DownloadTarget& t) {
  errno = 0;
  if (local_close(t.fd) != 0 && !t.write_error) t.write_error = saved_errno();
  t.fd = -1;
  if (t.write_error) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "Cannot write PC file %s: %s\n", t.name.c_str(),
            strerror(t.write_error));
    abandon_download_target(t);
    return -1;
  }
  if (t.temporary.empty()) return 0;  // written in place
  std::error_code ec;
  if (t.existed) {
    fs::perms old = fs::status(t.target, ec).permissions();
    if (!ec) fs::permissions(t.temporary, old, fs::perm_options::replace, ec);
  }
  // Replaces an existing target in one step on POSIX and Windows alike.
  fs::rename(t.temporary, t.target, ec);
  if (ec) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "Cannot replace PC file %s: %s\n", t.name.c_str(), ec.message().c_str());
    abandon_download_target(t);
    return -1;
  }
  // Only now: an interrupt before the rename must still remove the temporary file.
  disarm_interrupt_cleanup();
  t.temporary.clear();
  return 0;
}

DownloadTarget::~DownloadTarget() { abandon_download_target(*this); }

static int write_to_target(void* context, const uint8_t* data, size_t length) {
  auto& t = *static_cast<DownloadTarget*>(context);
  write_download_target(t, data, length);
  return t.write_error ? -1 : 0;
}

DataSink download_target_sink(DownloadTarget& t) { return DataSink{&t, write_to_target}; }

void abandon_download_target(DownloadTarget& t) {
  if (t.fd >= 0) local_close(t.fd);
  t.fd = -1;
  std::error_code ec;
  if (!t.temporary.empty()) {
    fs::remove(t.temporary, ec);
    disarm_interrupt_cleanup();
  }
  t.temporary.clear();
}

}  // namespace rq
