// Getting the host side ready before the first shell: the root and boot directories, and
// the demo device's contents.
#pragma once

#include <cstdio>

#include "sim_options.h"

namespace rq::sim {

// Creates the root and boot directories when missing, checks that the boot directory lies
// outside the root, removes upload files a stopped rqsim left behind, fills an empty root
// with the demo device when asked, and opens the root.
// Returns the root's descriptor, or -1 after printing why to err.
int prepare_device(const SimOptions& o, FILE* err);

// Fills the directory with a small device: /bin/hello.elf (a little ARM ELF executable),
// /docs/readme.txt and an empty /logs. Returns 0 or -1.
int fill_demo_device(int root_fd);

}  // namespace rq::sim
