// The device operations the mount runs inside worker jobs: each returns 0, the device's
// status code, or kCodeLinkLost (and marks the session lost). No errno here: the FUSE
// operations map the codes through errno_map.h with what they know.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "device/safe_replace.h"
#include "link/protocol.h"
#include "mount/attr_cache.h"
#include "mount/mount_log.h"
#include "mount/worker.h"

namespace rq::mount {

// What ls says about a path: a file's record, or a directory's listing.
struct PathAnswer {
  NodeKind kind = NodeKind::kMissing;
  FileRecord record;
  Listing listing;
};

// The permission bits a record gives (owner, group, others: three bits each).
uint32_t record_permissions(const FileRecord& r);

// ls path. A directory's listing leaves out the side names of the safe replace; when it holds
// any, they are repaired first (each repair logged) and the directory is listed again.
int call_stat(LinkSession& s, const std::string& path, PathAnswer* out, MountLog& log);

// mkdir or rm of one path.
int call_path(LinkSession& s, uint8_t code, const std::string& path);

// mv from to; an existing target is replaced the safe way when replace is set.
int call_move(LinkSession& s, const std::string& from, const std::string& to, bool replace,
              bool target_exists, MountLog& log);

// get path into fd from offset 0. on_size gets the announced size before any data, on_filled
// the bytes written so far. A local write that fails ends with local_error set (the download
// is still read to its end, so the link stays in step).
struct DownloadHooks {
  std::function<void(int64_t)> on_size;
  std::function<void(int64_t)> on_filled;
};
int call_download(LinkSession& s, const std::string& path, int fd, const DownloadHooks& hooks,
                  int* local_error);

// Sends size bytes of fd to path: the safe replace, or straight to the name with direct.
// A local read that fails closes the link (the device cannot be told) and sets local_error.
int call_upload(LinkSession& s, const std::string& path, int fd, int64_t size, bool direct,
                bool target_exists, int* local_error, MountLog& log);

}  // namespace rq::mount
