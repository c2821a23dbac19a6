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
  bool root_given = false;  // --root was given: --demo is not implied
  bool demo = false;        // implied when no --root is given
  bool trace = false;
  bool once = false;
  bool put_in_place = false;  // put writes straight into its target (device_fs.h)
  char boot_dir[4096] = "";   // default: the root's path with ".boot" appended
  int32_t reduction = kDefaultReduction;
  int diag_delay_ms = kDefaultDiagDelayMs;
  int diag_status[8] = {};  // by diag test number (1 audio .. 5 flash)
  Faults faults;
};

// Fills o from argv. Returns 0 to run, 1 when help or the version was printed to out, or -1
// after printing the problem to err.
int parse_sim_options(int argc, char** argv, SimOptions& o, FILE* out, FILE* err);

void print_sim_help(FILE* out);

// True for a dotted-decimal IPv4 address in 127.0.0.0/8, written plainly (four decimal
// numbers, no leading zeros). Any other text, 0.0.0.0 included, may let other machines in.
bool is_loopback_address(const char* address);

// When o binds outside the loopback network, writes the one-line warning that the device
// root, its boot images and format are open to that network.
void warn_if_exposed(const SimOptions& o, FILE* err);

}  // namespace rq::sim
