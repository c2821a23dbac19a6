#include "sim_options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decimal.h"
#include "link/protocol.h"
#include "link/version.h"

namespace rq::sim {

namespace {

// The diag test words, as --diag-status takes them, joined like the command keywords.
void print_diag_words(FILE* out, const char* separator, const char* last_separator) {
  constexpr size_t kCount = sizeof kDiagTestNames / sizeof kDiagTestNames[0];
  for (size_t i = 0; i < kCount; ++i) {
    if (i > 0) fputs(i + 1 == kCount ? last_separator : separator, out);
    fputs(kDiagTestNames[i].word, out);
  }
}

}  // namespace

void print_sim_help(FILE* out) {
  fprintf(out,
          "Usage: rqsim [options]\n"
          "Simulates the device proxy and the device behind it, for rqshell.\n"
          "\n"
          "  --bind ADDR          listen on this IPv4 address (default 127.0.0.1). Outside\n"
          "                       127.0.0.0/8 (0.0.0.0 included) the device's root, its boot\n"
          "                       images and format are open to that network: rqsim warns.\n"
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
          "                       (default %d). Values outside 0..%zu are sent as given,\n"
          "                       to test the shell's guard; no data is expected after them.\n"
          "  --diag-delay MS      pause of each diagnostic test and audio stage (default %d)\n"
          "  --diag-status TEST=CODE\n"
          "                       make diag TEST (",
          kDefaultPort, kDefaultRoot, kDefaultReduction, kChunkSize - 1, kDefaultDiagDelayMs);
  print_diag_words(out, ", ", ", ");
  fputs(
      ") answer status\n"
      "                       CODE (repeatable; for aud, the status after the tone)\n"
      "  --trace              log every frame both ways on standard error, in hex and\n"
      "                       decoded\n"
      "  --once               exit when the first shell leaves\n"
      "  --put-in-place       write put's data straight into the target, as a real device\n"
      "                       may, instead of into a temporary file renamed over it when\n"
      "                       complete: a put that fails part-way (a dropped connection, a\n"
      "                       refused grant, --drop put:BYTES) leaves a partial file\n"
      "  --help               this text\n"
      "  --version            print the version and exit\n"
      "\n"
      "Fault injection (rules apply to every occurrence of the command; CMD is a shell\n"
      "keyword: ",
      out);
  print_keywords(out, " ", " ");
  fprintf(out,
          ";\n"
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
          "  --oversize CMD       send a frame announcing %zu bytes (and its bytes) in place\n"
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
          kInjectedOversizeLength);
}

static int parse_diag_status(SimOptions& o, const char*, const char* text, FILE* err) {
  const char* eq = std::strchr(text, '=');
  long long code = 0;
  if (eq && parse_decimal(eq + 1, -128, 255, &code)) {
    // The whole word, as written: unlike the shell's diag command, no prefix match.
    for (const DiagTestName& t : kDiagTestNames) {
      if (std::strlen(t.word) == static_cast<size_t>(eq - text) &&
          std::strncmp(t.word, text, eq - text) == 0) {
        o.diag_status[t.test] = static_cast<int>(code);
        return 0;
      }
    }
  }
  fputs("rqsim: --diag-status wants TEST=CODE (TEST ", err);
  print_diag_words(err, ", ", " or ");
  fprintf(err, "; CODE -128..255), not \"%s\"\n", text);
  return -1;
}

namespace {

int bad_value(FILE* err, const char* option, const char* value, const char* what) {
  fprintf(err, "rqsim: %s: \"%s\" is not %s\n", option, value, what);
  return -1;
}

// The options, a row each, in three kinds.

// Flags: they switch something on.
struct FlagOption {
  const char* name;
  bool* (*field)(SimOptions& o);
};

constexpr FlagOption kFlags[] = {
    {"--demo", [](SimOptions& o) { return &o.demo; }},
    {"--trace", [](SimOptions& o) { return &o.trace; }},
    {"--once", [](SimOptions& o) { return &o.once; }},
    {"--put-in-place", [](SimOptions& o) { return &o.put_in_place; }},
    {"--split", [](SimOptions& o) { return &o.faults.split; }},
};

// Whole numbers within a range; `what` says what the value must be.
struct NumberOption {
  const char* name;
  long long low, high;
  const char* what;
  void (*set)(SimOptions& o, long long n);
};

constexpr NumberOption kNumbers[] = {
    {"--port", 0, 65535, "a port number (0..65535)",
     [](SimOptions& o, long long n) { o.port = static_cast<int>(n); }},
    {"--reduction", INT32_MIN, INT32_MAX, "a 32-bit number",
     [](SimOptions& o, long long n) { o.reduction = static_cast<int32_t>(n); }},
    {"--diag-delay", 0, 600000, "milliseconds (0..600000)",
     [](SimOptions& o, long long n) { o.diag_delay_ms = static_cast<int>(n); }},
    {"--stall", 0, 60000, "milliseconds (0..60000)",
     [](SimOptions& o, long long n) { o.faults.stall_ms = static_cast<int>(n); }},
};

// Values with a parser of their own, which returns 0 or says what is wrong and returns -1.
using ValueParser = int (*)(SimOptions& o, const char* option, const char* value, FILE* err);

int parse_root(SimOptions& o, const char* option, const char* value, FILE* err) {
  if (!*value) return bad_value(err, option, value, "a directory");
  o.root = value;
  o.root_given = true;
  return 0;
}

int parse_boot_dir(SimOptions& o, const char* option, const char* value, FILE* err) {
  if (!*value || std::strlen(value) >= sizeof o.boot_dir)
    return bad_value(err, option, value, "a directory");
  std::strcpy(o.boot_dir, value);
  return 0;
}

struct ValueOption {
  const char* name;
  ValueParser parse;
};

int parse_bind(SimOptions& o, const char*, const char* value, FILE*) {
  o.bind_address = value;
  return 0;
}

template <int (*parse_rule)(Faults& f, const char* text, FILE* err)>
int parse_fault_rule(SimOptions& o, const char*, const char* value, FILE* err) {
  return parse_rule(o.faults, value, err);
}

template <uint32_t Faults::*flag>
int parse_fault_flag(SimOptions& o, const char* option, const char* value, FILE* err) {
  return parse_command_flag(o.faults.*flag, option, value, err);
}

constexpr ValueOption kValues[] = {
    {"--bind", parse_bind},
    {"--root", parse_root},
    {"--boot-dir", parse_boot_dir},
    {"--diag-status", parse_diag_status},
    {"--refuse", parse_fault_rule<parse_refuse_rule>},
    {"--status", parse_fault_rule<parse_status_rule>},
    {"--drop", parse_fault_rule<parse_drop_rule>},
    {"--corrupt", parse_fault_rule<parse_corrupt_rule>},
    {"--oversize", parse_fault_flag<&Faults::oversize>},
    {"--garbage", parse_fault_flag<&Faults::garbage>},
};

// The row named arg in table, or nullptr.
template <typename Row, size_t N>
const Row* find_row(const Row (&table)[N], const char* arg) {
  for (const Row& row : table)
    if (std::strcmp(arg, row.name) == 0) return &row;
  return nullptr;
}

}  // namespace

int parse_sim_options(int argc, char** argv, SimOptions& o, FILE* out, FILE* err) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      print_sim_help(out);
      return 1;
    }
    if (std::strcmp(arg, "--version") == 0) {
      fprintf(out, "rqsim %s\n", kVersion);
      return 1;
    }
    if (const FlagOption* flag = find_row(kFlags, arg)) {
      *flag->field(o) = true;
      continue;
    }
    const NumberOption* number = find_row(kNumbers, arg);
    const ValueOption* other = find_row(kValues, arg);
    if (!number && !other) {
      fprintf(err, "rqsim: unknown option \"%s\" (see --help)\n", arg);
      return -1;
    }
    if (i + 1 >= argc) {
      fprintf(err, "rqsim: %s needs a value (see --help)\n", arg);
      return -1;
    }
    const char* value = argv[++i];
    long long n = 0;
    if (number && !parse_decimal(value, number->low, number->high, &n))
      return bad_value(err, arg, value, number->what);
    if (number) number->set(o, n);
    if (other && other->parse(o, arg, value, err) < 0) return -1;
  }
  if (!o.root_given) o.demo = true;
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

bool is_loopback_address(const char* address) {
  const char* p = address;
  int first = -1;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    int value = 0, digits = 0;
    for (; *p >= '0' && *p <= '9' && digits <= 3; ++p, ++digits) value = value * 10 + (*p - '0');
    // The socket layer takes other spellings too (a leading zero for octal, fewer than four
    // parts), which may name another address: none counts as loopback, so the warning errs
    // on the side of being shown.
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && p[-digits] == '0')) return false;
    if (part == 0) first = value;
  }
  return *p == '\0' && first == 127;
}

void warn_if_exposed(const SimOptions& o, FILE* err) {
  if (is_loopback_address(o.bind_address)) return;
  fprintf(err,
          "rqsim: warning: %s is outside 127.0.0.0/8: whoever reaches it can write to the device "
          "root %s and the boot images in %s, and format the device\n",
          o.bind_address, o.root, o.boot_dir);
}

}  // namespace rq::sim
