// Commands that act on the device file system without moving file data: ping, format, pwd,
// ver, the path commands cd, mkdir, rm and launch, ls, mv and cp.
#include "file_exchanges.h"

#include <cstring>

#include "device_status.h"
#include "wire.h"

namespace rq::sim {

int receive_names(Session& s, int32_t announced, int names, int* status) {
  *status = 0;
  if (announced < names || announced > static_cast<int32_t>(kMaxPayload))
    return send_refusal(s, kStatusInvalidParameter);
  int rc = send_ready(s);
  if (rc < 0) return rc;
  const uint8_t* p = nullptr;
  int n = receive_frame(s, names == 1 ? "path" : "names", kTraceText, kPeerTimeoutMs, &p);
  if (n < 0 && n != kWireOversize) return n;
  // An oversize frame, skipped (n < 0), never has the announced length.
  if (n != announced || p[n - 1] != 0) {
    *status = kStatusInvalidParameter;
    return 0;
  }
  std::memcpy(s.text, p, static_cast<size_t>(n));
  int zeros = 0;
  for (int i = 0; i < n; ++i) zeros += p[i] == 0;
  if (zeros != names)
    *status = names == 1 ? kStatusInvalidPath : kStatusInvalidParameter;
  else
    *status = preempting_status(s);
  return 0;
}

const char* second_name(const Session& s) { return s.text + std::strlen(s.text) + 1; }

int play_ping(Session& s, uint8_t, int32_t value) {
  int32_t next = static_cast<int32_t>(static_cast<uint32_t>(value) + 1u);
  return send_status(s, preempting_status(s), next);
}

int play_format(Session& s, uint8_t, int32_t) {
  int code = preempting_status(s);
  if (code == 0) code = -fs_format(s.fs);
  return send_status(s, code, 0);
}

// pwd and ver: a status whose value is the text's length with its zero, then the text.
static int reply_text(Session& s, const char* text) {
  int code = preempting_status(s);
  if (code != 0) return send_status(s, code, 0);
  size_t length = std::strlen(text) + 1;
  std::memcpy(s.data, text, length);
  int rc = send_status(s, 0, static_cast<int32_t>(length));
  if (rc < 0) return rc;
  return send_data(s, "text", kTraceText, s.data, length);
}

int play_pwd(Session& s, uint8_t, int32_t) { return reply_text(s, s.fs.cwd); }

int play_ver(Session& s, uint8_t, int32_t) { return reply_text(s, __DATE__ " " __TIME__); }

// cd, mkdir, rm: ready, path, status.
static int play_path(Session& s, int32_t announced, int (*operation)(DeviceFs&, const char*)) {
  int code = 0;
  int rc = receive_names(s, announced, 1, &code);
  if (rc < 0) return rc;
  if (code == 0) code = -operation(s.fs, s.text);
  return send_status(s, code, 0);
}

int play_cd(Session& s, uint8_t, int32_t value) { return play_path(s, value, fs_change_dir); }
int play_mkdir(Session& s, uint8_t, int32_t value) { return play_path(s, value, fs_make_dir); }
int play_rm(Session& s, uint8_t, int32_t value) { return play_path(s, value, fs_remove); }

int play_launch(Session& s, uint8_t, int32_t value) {
  int code = 0;
  int rc = receive_names(s, value, 1, &code);
  if (rc < 0) return rc;
  char resolved[kMaxDevicePath + 1];
  if (code == 0) code = -fs_check_launchable(s.fs, s.text, resolved);
  if (code == 0) {
    fprintf(s.log, "rqsim: launched %s\n", resolved);
    fflush(s.log);
  }
  return send_status(s, code, 0);
}

int play_ls(Session& s, uint8_t, int32_t value) {
  int code = 0;
  int rc = receive_names(s, value, 1, &code);
  if (rc < 0) return rc;
  int length = 0;
  if (code == 0) {
    length = fs_list(s.fs, s.text, s.listing, s.data);
    if (length < 0) code = -length;
  }
  if (code != 0) return send_status(s, code, 0);
  rc = send_status(s, 0, length);
  if (rc < 0) return rc;
  return send_data(s, "listing", kTraceData, s.data, static_cast<size_t>(length));
}

int play_mv(Session& s, uint8_t, int32_t value) {
  int code = 0;
  int rc = receive_names(s, value, 2, &code);
  if (rc < 0) return rc;
  if (code == 0) code = -fs_rename(s.fs, s.text, second_name(s));
  return send_status(s, code, 0);
}

int play_cp(Session& s, uint8_t, int32_t value) {
  int code = 0;
  int rc = receive_names(s, value, 2, &code);
  if (rc < 0) return rc;
  if (code == 0) code = -fs_copy(s.fs, s.text, second_name(s), s.data, sizeof s.data);
  return send_status(s, code, 0);
}

}  // namespace rq::sim
