#include "transfer/local_report.h"

#include <cinttypes>
#include <cstring>

#include "local/whole_file.h"

namespace rq {

int report_load_failure(Shell& c, const char* pc_file, const LocalFailure& f) {
  note_outcome(c, CommandOutcome::kLocalFile);
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
  return -1;
}

int report_target_failure(Shell& c, const char* pc_file, const LocalFailure& f) {
  note_outcome(c, CommandOutcome::kLocalFile);
  FILE* out = c.console_out;
  switch (f.failed) {
    case LocalFailed::kWrite:
      fprintf(out, "Cannot write PC file %s: %s\n", pc_file, strerror(f.error));
      break;
    case LocalFailed::kReplace:
      fprintf(out, "Cannot replace PC file %s: %s\n", pc_file, strerror(f.error));
      break;
    default: fprintf(out, "Cannot open PC file %s\n", pc_file); break;
  }
  return -1;
}

}  // namespace rq
