#include "local/script_file.h"

#include <cerrno>

#include "local/platform.h"

namespace rq {

namespace {

// opened itself, or nullptr (closed, errno EISDIR) when it is a directory.
FILE* refuse_directory(FILE* opened) {
  if (!opened) return nullptr;
  if (local_fstat(fileno(opened)).kind != LocalKind::kDirectory) return opened;
  fclose(opened);
  errno = EISDIR;
  return nullptr;
}

}  // namespace

FILE* open_script_file(const char* c_library_name) {
  return refuse_directory(fopen(c_library_name, "rb"));
}

FILE* open_local_script_file(const std::string& name) {
  return refuse_directory(local_fopen(name, "rb"));
}

}  // namespace rq
