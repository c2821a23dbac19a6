// rqmount: the device's file system mounted through FUSE. Checks the proxy, mounts, goes to
// the background (unless -f), then serves until an unmount or a signal; then sends what is
// dirty within the flush deadline and exits.
//
// Exit statuses: 0 done (everything sent), 1 a failure (the mount, the cache directory, files
// left unsent), 2 a usage error, 3 the proxy could not be reached at mount time.
#include <fuse_lowlevel.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "device/connect.h"
#include "link/socket.h"
#include "mount/fuse_ops.h"
#include "mount/mount_options.h"
#include "mount/shutdown.h"

extern char** environ;

namespace rq::mount {
namespace {

enum Exit { kExitOk = 0, kExitFailure = 1, kExitUsage = 2, kExitLink = 3 };

// What ends the serving: the FUSE loop returning (an unmount), or a signal.
struct StopState {
  std::mutex mutex;
  std::condition_variable changed;
  bool loop_ended = false;
  bool stop_requested = false;
  int stop_signal = 0;
};

std::string absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

// Detaches the mount point (lazily: whoever still has a file open keeps it). Bounded: a
// helper that does not finish within a few seconds is left behind.
void detach_mount(const std::string& mountpoint, MountLog& log) {
  const char* argv[] = {"fusermount3", "-u", "-z", "-q", mountpoint.c_str(), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "fusermount3", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    log_line(log, "cannot run fusermount3 to detach %s", mountpoint.c_str());
    return;
  }
  for (int i = 0; i < 100; ++i) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) return;
    usleep(50 * 1000);
  }
  log_line(log, "fusermount3 -u -z %s did not finish", mountpoint.c_str());
}

// In the foreground the files left unsent are named on standard error too, whatever the log.
void name_on_stderr_too(MountContext& m) {
  if (m.options.foreground && m.log.out != stderr) {
    std::lock_guard<std::mutex> lock(m.log.mutex);
    m.log.also = stderr;
  }
}

void signal_thread(MountContext& m, StopState& stop, sigset_t set) {
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig == SIGHUP) {
      m.attrs.drop_all();
      evict_cache(m, true);
      log_line(m.log, "SIGHUP: caches dropped");
      continue;
    }
    std::unique_lock<std::mutex> lock(stop.mutex);
    if (!stop.stop_requested) {
      stop.stop_requested = true;
      stop.stop_signal = sig;
      stop.changed.notify_all();
      continue;
    }
    // A second signal: out at once, what is unsent kept and named.
    lock.unlock();
    name_on_stderr_too(m);
    log_line(m.log, "%s again: exiting without sending", strsignal(sig));
    keep_all_unsent(m);
    _exit(kExitFailure);
  }
}

int serve(MountContext& m, fuse* f) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  StopState stop;
  std::thread signals(signal_thread, std::ref(m), std::ref(stop), set);
  signals.detach();
  m.worker->set_reconnect_hook([&m] {
    m.attrs.drop_all();
    post_closed_dirty(m);
  });
  m.worker->start();

  fuse_loop_config* config = fuse_loop_cfg_create();
  fuse_loop_cfg_set_max_threads(config, 16);
  std::thread loop([&] {
    fuse_loop_mt(f, config);
    std::lock_guard<std::mutex> lock(stop.mutex);
    stop.loop_ended = true;
    stop.changed.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(stop.mutex);
    stop.changed.wait(lock, [&] { return stop.loop_ended || stop.stop_requested; });
  }
  bool by_signal = stop.stop_requested;
  if (by_signal) {
    log_line(m.log, "%s: unmounting %s", strsignal(stop.stop_signal), m.options.mountpoint.c_str());
    fuse_session_exit(fuse_get_session(f));
    detach_mount(m.options.mountpoint, m.log);
  } else {
    log_line(m.log, "unmounted");
  }

  int64_t deadline = steady_ms() + static_cast<int64_t>(m.options.flush_deadline_s * 1000.0);
  int left = send_all_dirty(m, deadline);
  if (left > 0) {
    name_on_stderr_too(m);
    log_line(m.log, "%d file(s) not sent within the flush deadline", left);
    keep_all_unsent(m);
  }
  m.worker->stop();

  // The loop ends once the detached mount's last file is closed; a process that keeps one
  // open does not hold the exit up.
  bool ended;
  {
    std::unique_lock<std::mutex> lock(stop.mutex);
    ended = stop.changed.wait_for(lock, std::chrono::seconds(2), [&] { return stop.loop_ended; });
  }
  if (!ended) {
    log_line(m.log, "exiting with files still open on the detached mount");
    _exit(left ? kExitFailure : kExitOk);
  }
  loop.join();
  fuse_loop_cfg_destroy(config);
  fuse_unmount(f);
  clear_cache_files(m.cache);
  return left ? kExitFailure : kExitOk;
}

int run(int argc, char** argv) {
  MountOptions o;
  int parsed = parse_mount_options(argc, argv, o, stdout, stderr);
  if (parsed != 0) return parsed > 0 ? kExitOk : kExitUsage;
  char real[PATH_MAX];
  if (!realpath(o.mountpoint.c_str(), real)) {
    fprintf(stderr, "rqmount: %s: %s\n", o.mountpoint.c_str(), strerror(errno));
    return kExitFailure;
  }
  o.mountpoint = real;
  o.cache_dir = absolute(o.cache_dir);
  o.log_file = absolute(o.log_file);
  o.connect.trace_file = absolute(o.connect.trace_file);

  auto m = std::make_unique<MountContext>(o);
  m->start_ns = wall_ns();
  socket_startup();

  std::string why;
  if (open_cache_dir(m->cache, o.cache_dir, o.mountpoint, &why) != 0) {
    fprintf(stderr, "rqmount: cache directory: %s\n", why.c_str());
    return kExitFailure;
  }
  std::string log_path = !o.log_file.empty() ? o.log_file
                         : o.foreground      ? ""
                                             : m->cache.root + "/rqmount.log";
  if (!log_path.empty()) {
    m->log.out = fopen(log_path.c_str(), "a");
    if (!m->log.out) {
      fprintf(stderr, "rqmount: cannot open log file %s: %s\n", log_path.c_str(), strerror(errno));
      return kExitFailure;
    }
  }
  if (o.connect.trace) {
    const std::string& trace_file = o.connect.trace_file;
    FILE* trace = trace_file.empty() ? m->log.out : fopen(trace_file.c_str(), "w");
    if (!trace) {
      fprintf(stderr, "rqmount: cannot open trace file %s: %s\n", trace_file.c_str(),
              strerror(errno));
      return kExitFailure;
    }
    m->device.link.trace = trace;
    m->device.link.trace_name = "rqmount";
    m->device.link.trace_clock = true;
  }

  ConnectFailure failure;
  if (connect_device(m->device, o.connect, &failure) != 0) {
    fprintf(stderr, "rqmount: %s\n", failure.text.c_str());
    return kExitLink;
  }
  m->worker = std::make_unique<Worker>(m->device, o.connect,
                                       static_cast<int64_t>(o.idle_s * 1000.0), m->log);

  fuse_args args = FUSE_ARGS_INIT(0, nullptr);
  fuse_opt_add_arg(&args, argv[0]);
  std::string fuse_options = "fsname=rqmount,subtype=rq,auto_unmount";
  for (const std::string& extra : o.fuse_options) fuse_options += "," + extra;
  fuse_opt_add_arg(&args, "-o");
  fuse_opt_add_arg(&args, fuse_options.c_str());
  fuse_operations ops = mount_operations();
  fuse* f = fuse_new(&args, &ops, sizeof ops, m.get());
  fuse_opt_free_args(&args);
  if (!f) return kExitUsage;  // libfuse has said which option it did not take
  if (fuse_mount(f, o.mountpoint.c_str()) != 0) {
    fuse_destroy(f);
    return kExitFailure;
  }
  if (fuse_daemonize(o.foreground ? 1 : 0) != 0) {
    fuse_unmount(f);
    fuse_destroy(f);
    return kExitFailure;
  }
  log_line(m->log, "mounted %s:%d on %s (cache %s)", o.connect.host.c_str(), o.connect.port,
           o.mountpoint.c_str(), m->cache.root.c_str());
  int status = serve(*m, f);
  fuse_destroy(f);
  return status;
}

}  // namespace
}  // namespace rq::mount

int main(int argc, char** argv) { return rq::mount::run(argc, argv); }
