// rqsim's command line.
#pragma once

#include <cstdint>
#include <cstdio>

#include "faults.h"
#include "link/protocol.h"

namespace rq::sim {

constexpr int kDefaultPort = kDefaultProxyPort;
constexpr int32_t kDefaultReduction = 512;
constexpr int kDefaultDiagDelayMs = 300;
constexpr const char* kDefaultRoot = "demo-device";

struct SimOptions {
  const char* bind_address = "127.0.0.1";
  int port = kDefaultPort;
  const char* root = kDefaultRoot;
  bool demo = false;  // implied when no --root is given
  bool trace = false;
  bool once = false;
  bool put_in_place = false;  // put writes straight into its target (device_fs.h)
  char boot_dir[4096] = "";   // default: the root's path with ".boot" appended
  int32_t reduction = kDefaultReduction;
  int diag_delay_ms = kDefaultDiagDelayMs;
  int diag_status[8] = {};  // by diag test number (1 audio .. 5 flash)
  Faults faults;
};

// Fills o from argv. Returns 0 to run, 1 when help was printed to out, or -1 after
// printing the problem to err.
int parse_sim_options(int argc, char** argv, SimOptions& o, FILE* out, FILE* err);

void print_sim_help(FILE* out);

}  // namespace rq::sim
