// The floor under a shell transfer: the same file and socket work as `get` or `put` through
// the proxy, with nothing of the command exchange around it. A server thread and the client
// (this process's main thread) talk over loopback TCP through the socket shim the shell uses.
//
//   bench_transfer_anchor get SOURCE TARGET
//     The server reads SOURCE one read() per 16384-byte chunk and sends each chunk as one
//     frame, header and payload in one send. The client receives into a large buffer,
//     writes each payload with one write() to a temporary file beside TARGET and renames
//     it over TARGET.
//   bench_transfer_anchor put SOURCE TARGET
//     The client reads SOURCE whole into memory and sends it in frames of 16384 bytes, header
//     and payload in one send, waiting for an 8-byte grant (in a frame) before chunks 0, 2,
//     4, ... The server grants the next pair as soon as the current pair has arrived, then
//     writes each payload with one write() to a temporary file beside TARGET and renames it
//     over TARGET at the end.
//
// A frame is 0x41 0x67, a 16-bit big-endian payload length, the payload. Both sides know
// the size from SOURCE, so no message announces it. Prints nothing on success; bench/
// transfer.sh times whole runs of this program beside whole runs of rqshell.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "link/socket.h"

namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kChunkBytes = 16384;
constexpr size_t kFrameBytes = kHeaderBytes + kChunkBytes;
constexpr size_t kGrantBytes = 8;
// Room for many frames per recv; compacted only when less than one whole frame fits.
constexpr size_t kReceiveBytes = 1 << 20;

// What one side of the transfer reports back: no failure, or the first one with its errno.
struct Outcome {
  const char* failure = nullptr;
  int error = 0;
};

bool fail(Outcome& o, const char* what, int error) {
  if (!o.failure) {
    o.failure = what;
    o.error = error;
  }
  return false;
}

void put_header(unsigned char* at, size_t payload) {
  at[0] = 0x41;
  at[1] = 0x67;
  at[2] = static_cast<unsigned char>(payload >> 8);
  at[3] = static_cast<unsigned char>(payload & 0xff);
}

size_t chunk_at(int64_t size, int64_t offset) {
  int64_t left = size - offset;
  return left < static_cast<int64_t>(kChunkBytes) ? static_cast<size_t>(left) : kChunkBytes;
}

bool send_all(rq::SocketHandle s, const unsigned char* data, size_t length, Outcome& o) {
  while (length > 0) {
    long n = rq::socket_send(s, data, length);
    if (n < 0 && rq::socket_error_is_interrupt(rq::socket_last_error())) continue;
    if (n <= 0) return fail(o, "send failed", n < 0 ? rq::socket_last_error() : 0);
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool recv_all(rq::SocketHandle s, unsigned char* data, size_t length, Outcome& o) {
  while (length > 0) {
    long n = rq::socket_recv(s, data, length);
    if (n < 0 && rq::socket_error_is_interrupt(rq::socket_last_error())) continue;
    if (n == 0) return fail(o, "the peer closed the connection", 0);
    if (n < 0) return fail(o, "recv failed", rq::socket_last_error());
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool write_all(int fd, const unsigned char* data, size_t length, Outcome& o) {
  while (length > 0) {
    ssize_t n = write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(o, "write failed", errno);
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool read_all(int fd, unsigned char* data, size_t length, Outcome& o) {
  while (length > 0) {
    ssize_t n = read(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(o, "read failed", errno);
    if (n == 0) return fail(o, "the source file shrank", 0);
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool send_grant(rq::SocketHandle s, Outcome& o) {
  unsigned char frame[kHeaderBytes + kGrantBytes] = {};
  put_header(frame, kGrantBytes);
  return send_all(s, frame, sizeof frame, o);
}

// The target's temporary twin, in the same directory so the rename stays on one file system.
struct Target {
  std::string path;
  std::string temporary;
  int fd = -1;
};

bool open_target(Target& t, const char* path, Outcome& o) {
  t.path = path;
  t.temporary = t.path + ".anchor-part";
  t.fd = open(t.temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return t.fd >= 0 || fail(o, "cannot create the temporary file", errno);
}

bool commit_target(Target& t, Outcome& o) {
  int rc = close(t.fd);
  t.fd = -1;
  if (rc != 0) return fail(o, "close failed", errno);
  return rename(t.temporary.c_str(), t.path.c_str()) == 0 || fail(o, "rename failed", errno);
}

// Receives frames into one large buffer and hands each whole payload, in place, to
// on_payload(data, length); after each read's frames, before the buffer can move,
// on_batch_end() runs. Stops once `size` payload bytes have been handed over.
template <typename OnPayload, typename OnBatchEnd>
bool receive_frames(rq::SocketHandle s, unsigned char* buffer, int64_t size, Outcome& o,
                    OnPayload on_payload, OnBatchEnd on_batch_end) {
  size_t start = 0, end = 0;
  int64_t done = 0;
  while (done < size) {
    if (kReceiveBytes - end < kFrameBytes) {
      std::memmove(buffer, buffer + start, end - start);
      end -= start;
      start = 0;
    }
    long n = rq::socket_recv(s, buffer + end, kReceiveBytes - end);
    if (n < 0 && rq::socket_error_is_interrupt(rq::socket_last_error())) continue;
    if (n == 0) return fail(o, "the peer closed the connection", 0);
    if (n < 0) return fail(o, "recv failed", rq::socket_last_error());
    end += static_cast<size_t>(n);
    while (end - start >= kHeaderBytes && done < size) {
      size_t length = (static_cast<size_t>(buffer[start + 2]) << 8) | buffer[start + 3];
      if (length == 0 || length > kChunkBytes) return fail(o, "a frame of a bad length", 0);
      if (end - start < kHeaderBytes + length) break;
      done += static_cast<int64_t>(length);
      if (!on_payload(buffer + start + kHeaderBytes, length)) return false;
      start += kHeaderBytes + length;
    }
    if (!on_batch_end()) return false;
  }
  return true;
}

struct Job {
  rq::SocketHandle peer = rq::kNoSocket;
  const char* source = nullptr;
  const char* target = nullptr;
  int64_t size = 0;
  Outcome outcome;
};

// get, server side: one read() and one send per chunk.
void serve_get(Job& job) {
  Outcome& o = job.outcome;
  int fd = open(job.source, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fail(o, "cannot open the source", errno);
    return;
  }
  unsigned char frame[kFrameBytes];
  for (int64_t offset = 0; offset < job.size;) {
    size_t length = chunk_at(job.size, offset);
    if (!read_all(fd, frame + kHeaderBytes, length, o)) break;
    put_header(frame, length);
    if (!send_all(job.peer, frame, kHeaderBytes + length, o)) break;
    offset += static_cast<int64_t>(length);
  }
  close(fd);
  // A client still waiting for data reads end of stream instead of hanging.
  if (o.failure) rq::socket_shutdown_send(job.peer);
}

bool receive_get(rq::SocketHandle s, Job& job, Outcome& o) {
  Target t;
  if (!open_target(t, job.target, o)) return false;
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kReceiveBytes));
  bool ok =
      buffer && receive_frames(
                    s, buffer, job.size, o,
                    [&](const unsigned char* p, size_t n) { return write_all(t.fd, p, n, o); },
                    [] { return true; });
  std::free(buffer);
  if (!buffer) fail(o, "out of memory", 0);
  if (ok) return commit_target(t, o);
  close(t.fd);
  unlink(t.temporary.c_str());
  return false;
}

// put, server side: the grant for the next pair goes out as soon as the current pair is in,
// ahead of writing what has arrived.
void serve_put(Job& job) {
  Outcome& o = job.outcome;
  Target t;
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kReceiveBytes));
  bool ok = open_target(t, job.target, o) && (buffer != nullptr || fail(o, "out of memory", 0));
  if (ok && job.size > 0) ok = send_grant(job.peer, o);
  // Payloads of one read, waiting to be written. The client sends two chunks per grant, so
  // a read holds a few frames; more would mean a peer that is not this program's client.
  struct Pending {
    const unsigned char* data;
    size_t length;
  } pending[64];
  size_t waiting = 0;
  int64_t chunk = 0, received = 0;
  if (ok)
    ok = receive_frames(
        job.peer, buffer, job.size, o,
        [&](const unsigned char* p, size_t n) {
          if (waiting == sizeof pending / sizeof pending[0])
            return fail(o, "too many frames in one read", 0);
          pending[waiting++] = {p, n};
          received += static_cast<int64_t>(n);
          return chunk++ % 2 == 0 || received == job.size || send_grant(job.peer, o);
        },
        [&] {
          for (size_t i = 0; i < waiting; ++i)
            if (!write_all(t.fd, pending[i].data, pending[i].length, o)) return false;
          waiting = 0;
          return true;
        });
  std::free(buffer);
  if (ok) {
    commit_target(t, o);
  } else {
    if (t.fd >= 0) {
      close(t.fd);
      unlink(t.temporary.c_str());
    }
    rq::socket_shutdown_send(job.peer);  // a client waiting for a grant reads end of stream
  }
}

// put, client side: the whole file in one block with 4 bytes of room ahead of it. Each
// frame's header goes into the 4 bytes just before its chunk (the tail of the chunk already
// sent), so header and payload leave in one send without copying the chunk.
bool send_put(rq::SocketHandle s, Job& job, Outcome& o) {
  int fd = open(job.source, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(o, "cannot open the source", errno);
  size_t size = static_cast<size_t>(job.size);
  unsigned char* block = static_cast<unsigned char*>(std::malloc(kHeaderBytes + size));
  bool ok = block ? read_all(fd, block + kHeaderBytes, size, o) : fail(o, "out of memory", 0);
  close(fd);
  unsigned char grant[kHeaderBytes + kGrantBytes];
  int64_t chunk = 0;
  for (int64_t offset = 0; ok && offset < job.size; ++chunk) {
    if (chunk % 2 == 0) {
      ok = recv_all(s, grant, sizeof grant, o);
      if (ok && grant[kHeaderBytes] != 0) ok = fail(o, "a grant refused the chunk", 0);
      if (!ok) break;
    }
    size_t length = chunk_at(job.size, offset);
    unsigned char* frame = block + static_cast<size_t>(offset);
    put_header(frame, length);
    ok = send_all(s, frame, kHeaderBytes + length, o);
    offset += static_cast<int64_t>(length);
  }
  std::free(block);
  return ok;
}

int usage() {
  fprintf(stderr, "usage: bench_transfer_anchor get|put SOURCE TARGET\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return usage();
  bool get = std::strcmp(argv[1], "get") == 0;
  if (!get && std::strcmp(argv[1], "put") != 0) return usage();
  Job job;
  job.source = argv[2];
  job.target = argv[3];
  struct stat st;
  if (stat(job.source, &st) != 0 || !S_ISREG(st.st_mode)) {
    fprintf(stderr, "bench_transfer_anchor: %s is not a readable file\n", job.source);
    return 1;
  }
  job.size = st.st_size;

  if (rq::socket_startup() != 0) return 1;
  int port = 0;
  rq::SocketHandle listener = rq::socket_listen_ipv4("127.0.0.1", 0, &port);
  if (listener == rq::kNoSocket) {
    fprintf(stderr, "bench_transfer_anchor: cannot listen on 127.0.0.1\n");
    return 1;
  }
  // A loopback connect completes in the listen backlog, so accepting afterwards is safe.
  rq::SocketHandle s = rq::socket_open_tcp();
  if (s == rq::kNoSocket || rq::socket_connect_ipv4(s, "127.0.0.1", port) != 0) {
    fprintf(stderr, "bench_transfer_anchor: cannot connect to 127.0.0.1:%d\n", port);
    return 1;
  }
  job.peer = rq::socket_accept(listener);
  if (job.peer == rq::kNoSocket) {
    fprintf(stderr, "bench_transfer_anchor: cannot accept on 127.0.0.1:%d\n", port);
    return 1;
  }
  rq::socket_set_nodelay(s);
  rq::socket_set_nodelay(job.peer);

  Outcome client;
  std::thread server(get ? serve_get : serve_put, std::ref(job));
  if (get)
    receive_get(s, job, client);
  else
    send_put(s, job, client);
  // A failed client leaves the server waiting for bytes that never come; closing our end
  // wakes it with end of stream or a failed send.
  if (client.failure) rq::socket_close(s);
  server.join();
  if (!client.failure) rq::socket_close(s);
  rq::socket_close(job.peer);
  rq::socket_close(listener);

  // Either side's failure may be what made the other fail; both are told.
  int rc = 0;
  for (const Outcome* o : {&job.outcome, &client}) {
    if (!o->failure) continue;
    fprintf(stderr, "bench_transfer_anchor: %s %s: %s%s%s\n", argv[1],
            o == &client ? "client" : "server", o->failure, o->error ? ": " : "",
            o->error ? strerror(o->error) : "");
    rc = 1;
  }
  return rc;
}
