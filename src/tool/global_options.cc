#include "tool/global_options.h"

#include <cerrno>

#include "device/connect.h"
#include "local/platform.h"

namespace rq {

void declare_global_options(CLI::App& app, Tool& t, GlobalOptionsDeclared& declared) {
  ToolOptions& o = t.options;
  app.add_option("-H,--host", o.host, "the proxy's address: dotted IPv4 or a host name")
      ->capture_default_str();
  app.add_option("-p,--port", o.port, "the proxy's port")
      ->check(CLI::Validator(port_problem, "INT in [" + std::to_string(kLowestPort) + " - " +
                                               std::to_string(kHighestPort) + "]"))
      ->capture_default_str();
  declared.timeout =
      app.add_option("-t,--timeout", o.timeout_s,
                     "give up when a send or receive makes no progress for SEC seconds "
                     "(0: wait for ever; format waits at least 300 s unless given)")
          ->check(CLI::Validator(seconds_problem, "SEC"))
          ->type_name("SEC")
          ->capture_default_str();
  app.add_option("-w,--wait", o.wait_s,
                 "retry every 0.5 s for up to SEC seconds until the proxy answers")
      ->check(CLI::Validator(seconds_problem, "SEC"))
      ->type_name("SEC");
  app.add_flag("--trace", declared.trace_shown,
               "every frame both ways on standard error (--trace=FILE: into FILE)");
  app.add_flag("-q,--quiet", o.quiet, "no summary lines, no progress line");
  app.add_flag("--json", declared.json_shown,
               "one JSON object on standard output says how the run ended");
}

size_t scan_global_options(const CLI::App& app, std::vector<std::string>& args,
                           const std::function<bool(const std::string&)>& take) {
  size_t i = 1;
  while (i < args.size()) {
    const std::string& a = args[i];
    if (a == "--") return i + 1;
    if (a.empty() || a[0] != '-') return i;
    if (take && take(a)) {
      args.erase(args.begin() + static_cast<long>(i));
      continue;
    }
    const CLI::Option* option = app.get_option_no_throw(a);
    i += option && option->get_items_expected_max() > 0 ? 2 : 1;
  }
  return args.size();
}

std::string command_word(const CLI::App& app, std::vector<std::string> args) {
  size_t i = scan_global_options(app, args);
  return i < args.size() ? args[i] : "";
}

void take_early_options(const CLI::App& app, std::vector<std::string>& args, Tool& t) {
  scan_global_options(app, args, [&t](const std::string& a) {
    if (a == "--json") {
      // Text results go to standard error, failures into the object.
      t.json = true;
      t.text_errors = false;
      t.out = stderr;
      return true;
    }
    if (a == "--trace" || a.rfind("--trace=", 0) == 0) {
      t.options.trace = true;
      if (a.size() > 7) t.options.trace_file = a.substr(8);
      return true;
    }
    return false;
  });
}

int open_trace(Tool& t) {
  if (!t.options.trace) return 0;
  FILE* f = stderr;
  if (!t.options.trace_file.empty()) {
    f = local_fopen(t.options.trace_file, "w");
    int error = errno;
    if (!f)
      return local_fail(
          t, error,
          "cannot open trace file " + t.options.trace_file + ": " + local_error_text(error));
  }
  t.trace = f;
  t.device.link.trace = f;
  t.device.link.trace_name = "rqtool";
  t.device.link.trace_clock = true;
  return 0;
}

}  // namespace rq
