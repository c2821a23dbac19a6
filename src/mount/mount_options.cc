#include "mount/mount_options.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>

#include "link/version.h"

namespace rq::mount {

namespace {

int seconds_value(const std::string& key, const std::string& value, double* out, std::string* why) {
  std::string problem = seconds_problem(value);
  if (!problem.empty()) {
    *why = "-o " + key + " " + problem;
    return -1;
  }
  *out = strtod(value.c_str(), nullptr);
  return 0;
}

// An unsigned number in the given base up to max.
int number_value(const std::string& key, const std::string& value, int base, unsigned long max,
                 unsigned long* out, std::string* why) {
  char* end = nullptr;
  errno = 0;
  unsigned long n = value.empty() || value[0] == '-' ? 0 : strtoul(value.c_str(), &end, base);
  if (value.empty() || value[0] == '-' || *end || errno || n > max) {
    *why = "-o " + key + " wants " + (base == 8 ? "an octal mode" : "a number") + ", not " +
           (value.empty() ? "nothing" : value);
    return -1;
  }
  *out = n;
  return 0;
}

// --trace takes its file only as --trace=FILE, as rqtool's does.
void take_trace_option(std::vector<std::string>& args, MountOptions& o) {
  for (auto it = args.begin(); it != args.end();) {
    if (*it == "--") break;
    if (*it == "--trace" || it->rfind("--trace=", 0) == 0) {
      o.connect.trace = true;
      if (it->size() > 7) o.connect.trace_file = it->substr(8);
      it = args.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

int apply_mount_option(MountOptions& o, const std::string& option, std::string* why) {
  size_t eq = option.find('=');
  std::string key = option.substr(0, eq);
  std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
  bool has_value = eq != std::string::npos;
  unsigned long n = 0;
  auto needs_value = [&]() {
    if (has_value && !value.empty()) return 0;
    *why = "-o " + key + " wants a value (" + key + "=...)";
    return -1;
  };
  if (key == "cache_dir") {
    if (needs_value()) return -1;
    o.cache_dir = value;
  } else if (key == "log") {
    if (needs_value()) return -1;
    o.log_file = value;
  } else if (key == "uid") {
    if (number_value(key, value, 10, 0xFFFFFFFEul, &n, why)) return -1;
    o.uid = static_cast<uid_t>(n);
  } else if (key == "gid") {
    if (number_value(key, value, 10, 0xFFFFFFFEul, &n, why)) return -1;
    o.gid = static_cast<gid_t>(n);
  } else if (key == "umask") {
    if (number_value(key, value, 8, 0777, &n, why)) return -1;
    o.umask = static_cast<mode_t>(n);
  } else if (key == "cache_timeout") {
    return seconds_value(key, value, &o.cache_timeout_s, why);
  } else if (key == "idle") {
    return seconds_value(key, value, &o.idle_s, why);
  } else if (key == "flush_deadline") {
    return seconds_value(key, value, &o.flush_deadline_s, why);
  } else if (key == "direct_put" || key == "strict_attrs") {
    if (has_value) {
      *why = "-o " + key + " takes no value";
      return -1;
    }
    (key == "direct_put" ? o.direct_put : o.strict_attrs) = true;
  } else if (!key.empty()) {
    o.fuse_options.push_back(option);
  }
  return 0;
}

int parse_mount_options(int argc, char** argv, MountOptions& o, FILE* out, FILE* err) {
  o.uid = getuid();
  o.gid = getgid();
  std::vector<std::string> args(argv + 1, argv + argc);
  take_trace_option(args, o);

  CLI::App app{"Mounts the device's file system through the device proxy (FUSE)", "rqmount"};
  app.set_version_flag("--version", std::string("rqmount ") + kVersion);
  app.allow_windows_style_options(false);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  ConnectSettings& c = o.connect;
  app.add_option("-H,--host", c.host, "the proxy's address: dotted IPv4 or a host name")
      ->capture_default_str();
  app.add_option("-p,--port", c.port, "the proxy's port")
      ->check(CLI::Validator(port_problem, "INT in [" + std::to_string(kLowestPort) + " - " +
                                               std::to_string(kHighestPort) + "]"))
      ->capture_default_str();
  CLI::Option* timeout =
      app.add_option("-t,--timeout", c.timeout_s,
                     "give up on an exchange when a send or receive makes no progress for SEC "
                     "seconds (0: wait for ever)")
          ->check(CLI::Validator(seconds_problem, "SEC"))
          ->type_name("SEC")
          ->capture_default_str();
  app.add_option("-w,--wait", c.wait_s,
                 "at mount time, retry every 0.5 s for up to SEC seconds until the proxy answers")
      ->check(CLI::Validator(seconds_problem, "SEC"))
      ->type_name("SEC");
  bool trace_shown = false;
  app.add_flag("--trace", trace_shown,
               "every frame both ways into the log (--trace=FILE: into FILE)");
  app.add_flag("-f,--foreground", o.foreground, "stay in the foreground, messages on stderr");
  std::vector<std::string> mount_options;
  app.add_option("-o", mount_options,
                 "mount options, comma-separated: cache_dir=DIR, log=FILE, uid=N, gid=N, "
                 "umask=OCTAL, cache_timeout=SEC, idle=SEC, flush_deadline=SEC, direct_put, "
                 "strict_attrs; others go to libfuse")
      ->type_name("OPT[,OPT...]")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->delimiter(',');
  app.add_option("mountpoint", o.mountpoint, "the directory to mount on")->required();

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    fputs(app.help().c_str(), out);
    return 1;
  } catch (const CLI::CallForVersion&) {
    fprintf(out, "%s\n", app.version().c_str());
    return 1;
  } catch (const CLI::ParseError& e) {
    fprintf(err,
            "rqmount: %s\nusage: rqmount [-H ADDR] [-p PORT] [-t SEC] [-w SEC] "
            "[--trace=FILE] [-f] [-o OPT[,OPT...]] MOUNTPOINT\n",
            e.what());
    return -1;
  }
  c.timeout_given = timeout->count() > 0;
  for (const std::string& option : mount_options) {
    std::string why;
    if (apply_mount_option(o, option, &why) != 0) {
      fprintf(err, "rqmount: %s\n", why.c_str());
      return -1;
    }
  }
  return 0;
}

}  // namespace rq::mount
