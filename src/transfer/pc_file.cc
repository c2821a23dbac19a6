#include "transfer/pc_file.h"

#include <cstdint>
#include <cstring>

#include "local/platform.h"

namespace rq {

namespace {

int failed(Shell& c) {
  note_outcome(c, CommandOutcome::kLocalFile);
  return -1;
}

}  // namespace

int load_pc_file(Shell& c, const char* pc_file, LocalFile& file) {
  LocalFailure f = load_local_file(local_name(pc_file), file);
  if (f.ok()) return 0;
  FILE* out = c.console_out;
  auto size = static_cast<uintmax_t>(f.size);
  switch (f.failed) {
    case LocalFailed::kTooLarge:
      fprintf(out, "PC file %s is too large: %ju bytes, at most %ju can be sent\n", pc_file, size,
              static_cast<uintmax_t>(kMaxSendableFileSize));
      break;
    case LocalFailed::kNoMemory:
      fprintf(out, "Not enough memory to hold PC file %s (%ju bytes)\n", pc_file, size);
      break;
    case LocalFailed::kSize:
    case LocalFailed::kRead:
      if (f.error)
        fprintf(out, "Cannot read PC file %s: %s\n", pc_file, strerror(f.error));
      else
        fprintf(out, "Cannot read PC file %s: only %zu of %ju bytes could be read\n", pc_file,
                static_cast<size_t>(f.done), size);
      break;
    default: fprintf(out, "Cannot open PC file %s\n", pc_file); break;
  }
  return failed(c);
}

int open_pc_target(Shell& c, const char* pc_file, DownloadTarget& target) {
  if (open_download_target(target, local_name(pc_file)).ok()) return 0;
  fprintf(c.console_out, "Cannot open PC file %s\n", pc_file);
  return failed(c);
}

int commit_pc_target(Shell& c, const char* pc_file, DownloadTarget& target) {
  LocalFailure f = commit_download_target(target);
  if (f.ok()) return 0;
  const char* verb = f.failed == LocalFailed::kReplace ? "replace" : "write";
  fprintf(c.console_out, "Cannot %s PC file %s: %s\n", verb, pc_file, strerror(f.error));
  return failed(c);
}

}  // namespace rq
