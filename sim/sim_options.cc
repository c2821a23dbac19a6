#include "sim_options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decimal.h"
#include "link/protocol.h"

namespace rq::sim {

void print_sim_help(FILE* out) {
  fprintf(out,
          "Usage: rqsim [options]\n"
          "Simulates the device proxy and the device behind it, for rqshell.\n"
          "\n"
          "  --bind ADDR          listen on this IPv4 address (default 127.0.0.1)\n"
          "  --port N             listen on port N (default %d); 0 picks a free port.\n"
          "                       The first line on standard output is always\n"
          "                       \"rqsim listening on ADDR:PORT\".\n"
          "  --root DIR           the device file system lives in host directory DIR,\n"
          "                       created if missing. Without --root: ./%s with --demo.\n"
          "  --demo               fill an empty root with a small demo device\n"
          "                       (/bin/hello.elf, /docs/readme.txt, /logs/)\n"
          "  --boot-dir DIR       where boot images 1-3 live (boot1.img..boot3.img);\n"
          "                       default: the root's path with \".boot\" appended. It must\n"
          "                       lie outside the root. An image never written reads as empty.\n"
          "  --reduction N        first-chunk reduction sent for wb to boots 2 and 3\n"
          "                       (default %d). Values outside 0..16383 are sent as given,\n"
          "                       to test the shell's guard; no data is expected after them.\n"
          "  --diag-delay MS      pause of each diagnostic test and audio stage (default %d)\n"
          "  --diag-status TEST=CODE\n"
          "                       make diag TEST (usb, aud, rtc, flash, gba) answer status\n"
          "                       CODE (repeatable; for aud, the status after the tone)\n"
          "  --trace              log every frame both ways on standard error, in hex and\n"
          "                       decoded\n"
          "  --once               exit when the first shell leaves\n"
          "  --put-in-place       write put's data straight into the target, as a real device\n"
          "                       may, instead of into a temporary file renamed over it when\n"
          "                       complete: a put that fails part-way (a dropped connection, a\n"
          "                       refused grant, --drop put:BYTES) leaves a partial file\n"
          "  --help               this text\n"
          "\n"
          "Fault injection (rules apply to every occurrence of the command; CMD is a shell\n"
          "keyword: ping format ls pwd cd mkdir rm mv put get launch cp ver diag rb wb;\n"
          "CODE is a non-zero status code, -128..255):\n"
          "  --refuse CMD:STEP=CODE\n"
          "                       refuse the STEP-th ready message of CMD with CODE. Step 1\n"
          "                       is the ready ahead of the command message, 2 the next one\n"
          "                       (the path, names or put payload; wb's first chunk; the\n"
          "                       audio test's first answer), and so on; put's grants count\n"
          "                       as steps (3 = the grant before chunk 0, 4 before chunk 2).\n"
          "  --refuse N=CODE      refuse the ready ahead of the N-th command message of each\n"
          "                       connection (the start-up ping not counted). That ready goes\n"
          "                       out before the command is known, so step 1 is chosen by\n"
          "                       position, not by name.\n"
          "  --refuse all=CODE    refuse the ready ahead of every command message\n"
          "  --status CMD=CODE    answer CMD's outcome with CODE and leave the device as it was:\n"
          "                       the status after the data for put, the status ahead of the\n"
          "                       reply or data for ls/pwd/ver/get/rb, the reduction status\n"
          "                       for wb 2/3 (wb 1 has none), the final status for diag\n"
          "  --drop CMD:BYTES     close the connection once BYTES bytes of CMD's data have\n"
          "                       moved (file or image chunks, ls/pwd/ver replies), cutting a\n"
          "                       frame short if it crosses the mark\n"
          "  --corrupt CMD:OFFSET flip every bit of the byte at OFFSET of the data get or rb\n"
          "                       sends (the file or image on the device stays as it is)\n"
          "  --oversize CMD       send a frame announcing 20000 bytes (and its bytes) in place\n"
          "                       of CMD's first status or reply, then carry on\n"
          "  --garbage CMD        send bytes that are not a frame in place of CMD's first\n"
          "                       status or reply, then close the connection\n"
          "  --split              send every frame one byte per write\n"
          "  --stall MS           pause MS milliseconds before every frame sent\n"
          "\n"
          "One shell is served at a time; the next is accepted when it leaves.\n"
          "Device paths: '/'-separated, absolute or relative to the current directory\n"
          "(\"/\" at connect). A resolved path holds at most 255 bytes (else status 31);\n"
          "\"..\" above \"/\", and names holding '\\', NUL, 0x01 or 0x02, give status 30.\n"
          "Symbolic links in the root are never followed (status 3) nor listed.\n"
          "cd with no path goes to \"/\"; ls with no path lists the current directory.\n"
          "rm takes files and empty directories (a non-empty one: status 3).\n"
          "mv and cp never replace an existing destination (status 7); put replaces a file.\n"
          "launch needs a regular file starting with the ELF magic (else 5; missing: 9) and\n"
          "logs \"rqsim: launched PATH\" on standard error.\n",
          kDefaultPort, kDefaultRoot, kDefaultReduction, kDefaultDiagDelayMs);
}

static int parse_diag_status(SimOptions& o, const char* text, FILE* err) {
  static const struct {
    const char* name;
    int test;
  } kTests[] = {{"usb", kDiagUsb},
                {"aud", kDiagAudio},
                {"rtc", kDiagRtc},
                {"flash", kDiagFlash},
                {"gba", kDiagGba}};
  const char* eq = std::strchr(text, '=');
  long long code = 0;
  if (eq && parse_decimal(eq + 1, -128, 255, &code)) {
    for (const auto& t : kTests) {
      if (std::strlen(t.name) == static_cast<size_t>(eq - text) &&
          std::strncmp(t.name, text, eq - text) == 0) {
        o.diag_status[t.test] = static_cast<int>(code);
        return 0;
      }
    }
  }
  fprintf(err,
          "rqsim: --diag-status wants TEST=CODE (TEST usb, aud, rtc, flash or gba; "
          "CODE -128..255), not \"%s\"\n",
          text);
  return -1;
}

static bool takes_value(const char* arg) {
  static const char* const kWithValue[] = {
      "--bind",       "--port",        "--root",    "--boot-dir", "--reduction",
      "--diag-delay", "--diag-status", "--refuse",  "--status",   "--drop",
      "--corrupt",    "--oversize",    "--garbage", "--stall"};
  for (const char* name : kWithValue)
    if (std::strcmp(arg, name) == 0) return true;
  return false;
}

int parse_sim_options(int argc, char** argv, SimOptions& o, FILE* out, FILE* err) {
  bool root_given = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      print_sim_help(out);
      return 1;
    }
    if (std::strcmp(arg, "--demo") == 0) {
      o.demo = true;
      continue;
    }
    if (std::strcmp(arg, "--trace") == 0) {
      o.trace = true;
      continue;
    }
    if (std::strcmp(arg, "--once") == 0) {
      o.once = true;
      continue;
    }
    if (std::strcmp(arg, "--put-in-place") == 0) {
      o.put_in_place = true;
      continue;
    }
    if (std::strcmp(arg, "--split") == 0) {
      o.faults.split = true;
      continue;
    }
    if (!takes_value(arg)) {
      fprintf(err, "rqsim: unknown option \"%s\" (see --help)\n", arg);
      return -1;
    }
    if (i + 1 >= argc) {
      fprintf(err, "rqsim: %s needs a value (see --help)\n", arg);
      return -1;
    }
    const char* value = argv[++i];
    long long n = 0;
    auto bad = [&](const char* what) {
      fprintf(err, "rqsim: %s: \"%s\" is not %s\n", arg, value, what);
      return -1;
    };
    if (std::strcmp(arg, "--bind") == 0) {
      o.bind_address = value;
    } else if (std::strcmp(arg, "--port") == 0) {
      if (!parse_decimal(value, 0, 65535, &n)) return bad("a port number (0..65535)");
      o.port = static_cast<int>(n);
    } else if (std::strcmp(arg, "--root") == 0) {
      if (!*value) return bad("a directory");
      o.root = value;
      root_given = true;
    } else if (std::strcmp(arg, "--boot-dir") == 0) {
      if (!*value || std::strlen(value) >= sizeof o.boot_dir) return bad("a directory");
      std::strcpy(o.boot_dir, value);
    } else if (std::strcmp(arg, "--reduction") == 0) {
      if (!parse_decimal(value, INT32_MIN, INT32_MAX, &n)) return bad("a 32-bit number");
      o.reduction = static_cast<int32_t>(n);
    } else if (std::strcmp(arg, "--diag-delay") == 0) {
      if (!parse_decimal(value, 0, 600000, &n)) return bad("milliseconds (0..600000)");
      o.diag_delay_ms = static_cast<int>(n);
    } else if (std::strcmp(arg, "--diag-status") == 0) {
      if (parse_diag_status(o, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--refuse") == 0) {
      if (parse_refuse_rule(o.faults, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--status") == 0) {
      if (parse_status_rule(o.faults, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--drop") == 0) {
      if (parse_drop_rule(o.faults, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--corrupt") == 0) {
      if (parse_corrupt_rule(o.faults, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--oversize") == 0) {
      if (parse_command_flag(o.faults.oversize, arg, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--garbage") == 0) {
      if (parse_command_flag(o.faults.garbage, arg, value, err) < 0) return -1;
    } else if (std::strcmp(arg, "--stall") == 0) {
      if (!parse_decimal(value, 0, 60000, &n)) return bad("milliseconds (0..60000)");
      o.faults.stall_ms = static_cast<int>(n);
    }
  }
  if (!root_given) o.demo = true;
  if (!o.boot_dir[0]) {
    // "dev/" and "dev" both give "dev.boot".
    size_t length = std::strlen(o.root);
    while (length > 1 && o.root[length - 1] == '/') --length;
    if (length + 6 > sizeof o.boot_dir) {
      fprintf(err, "rqsim: --root path too long\n");
      return -1;
    }
    std::memcpy(o.boot_dir, o.root, length);
    std::strcpy(o.boot_dir + length, ".boot");
  }
  return 0;
}

}  // namespace rq::sim
