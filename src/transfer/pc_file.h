// The shell's PC files (local/): a file put and wb load whole, and the target get and rb
// download into. Each call takes the name as the operator typed it, and when the local side
// fails prints the shell's one line naming it, notes the outcome and returns -1.
#pragma once

#include "local/download_target.h"
#include "local/whole_file.h"
#include "shell/shell.h"

namespace rq {

// Loads pc_file whole. 0, or -1 after "Cannot open PC file %s\n" or a line saying why it
// cannot be read, is too large, or does not fit in memory.
int load_pc_file(Shell& c, const char* pc_file, LocalFile& file);

// Readies pc_file as a download target. 0, or -1 after "Cannot open PC file %s\n".
int open_pc_target(Shell& c, const char* pc_file, DownloadTarget& target);

// Moves the finished download into place. 0, or -1 after the line saying what failed.
int commit_pc_target(Shell& c, const char* pc_file, DownloadTarget& target);

}  // namespace rq
