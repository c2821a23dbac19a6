// Connecting as the front ends with command-line options do (rqtool, rqmount): the settings
// those options fill, the checks on their values, and one connect that looks the host up,
// tries, makes the start-up probe (device/ping.h) and, with a wait, tries again every half
// second until the wait is over. rqshell connects its own way (a dotted address, no time-out,
// no retry) and takes none of this.
#pragma once

#include <string>

#include "device/device.h"

namespace rq {

struct ConnectSettings {
  std::string host = "127.0.0.1";  // dotted IPv4 or a host name
  int port = kDefaultProxyPort;
  // A send or receive that makes no progress for this long fails the exchange; 0: for ever.
  double timeout_s = 30;
  // Given on the command line: then it holds for every exchange, even those a front end
  // would otherwise allow longer (set_exchange_timeout).
  bool timeout_given = false;
  double wait_s = 0;  // keep trying while the proxy does not answer, for up to this long
  bool trace = false;
  // Where the trace goes; empty: standard error. The front end opens it (it knows how local
  // names are spelled) and sets the link's trace.
  std::string trace_file;
};

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
constexpr double kMostSeconds = 1e6;

// Why text is no port: "" when it is a whole number from 1 to 65535 (decimal, 0x hex or
// 0 octal, leading blanks and a sign allowed, nothing after it), else the text to show.
std::string port_problem(const std::string& text);

// Why text is no number of seconds for a time-out or a wait: "" for a number from 0 to
// 1000000, fractions allowed, else the text to show.
std::string seconds_problem(const std::string& text);

// Milliseconds for a time-out in seconds (0: for ever; fractions round up).
int timeout_ms_for(double seconds);

// Sets the link's time-out for the next exchanges: the settings' time-out, or at least
// min_seconds when it was not given (for commands the device may take long over).
void set_exchange_timeout(Device& d, const ConnectSettings& s, double min_seconds);

// The text for a failure the link reports, as the front ends with settings word it.
std::string link_failure_text(const LinkEvent& e, const ConnectSettings& s, const Link& l);

// What failed when connecting failed; text says it in full, ready to print.
enum class ConnectStep { kResolve, kConnect, kProbe };
struct ConnectFailure {
  ConnectStep step = ConnectStep::kConnect;
  std::string text;
};

// Connects d (unconnected) to the proxy named by s and makes the start-up probe; the ping
// counter starts at 0. The link's time-out is set from s. While connecting, the link reports
// to this function alone: the owner's report hook is put back afterwards, so a failed try
// that is retried reaches no console. Returns 0, or -1 with *failure set (the text of the
// last try's failure) and d unconnected.
int connect_device(Device& d, const ConnectSettings& s, ConnectFailure* failure);

}  // namespace rq
