#include "mount/device_calls.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "device/file_transfer.h"
#include "device/listing.h"
#include "device/path_exchange.h"
#include "link/status.h"

namespace rq::mount {

namespace {

struct Answered {
  PathAnswer answer;
  std::vector<std::string> all_names;  // side names included, for the repair
  bool has_side_names = false;
};

int ls_once(LinkSession& s, const std::string& path, Answered* out) {
  ListingReply reply;
  size_t length = path.size() + 1;
  if (length > kMaxPayload) return kStatusPathTooLong;
  Result r = s.track(list_path(s.device, path.c_str(), static_cast<int>(length), &reply));
  if (!r.ok()) return r.code;
  PathAnswer& a = out->answer;
  if (listing_is_file(reply)) {
    a.kind = NodeKind::kFile;
    a.record.uid = listing_field(reply, kRecordUidOffset);
    a.record.gid = listing_field(reply, kRecordGidOffset);
    a.record.attr = listing_field(reply, kRecordAttrOffset);
    a.record.own = listing_field(reply, kRecordOwnOffset);
    a.record.grp = listing_field(reply, kRecordGrpOffset);
    a.record.other = listing_field(reply, kRecordOtherOffset);
    a.record.size = listing_field(reply, kRecordSizeOffset);
    return 0;
  }
  a.kind = NodeKind::kDirectory;
  a.listing.maybe_cut = listing_may_be_cut(reply);
  ListingCursor cursor;
  ListingEntry e;
  while (listing_next(reply, cursor, &e)) {
    if (e.name_length <= 0) continue;
    std::string name(e.name, static_cast<size_t>(e.name_length));
    out->all_names.push_back(name);
    ReplaceSide side;
    std::string target;
    if (parse_replace_side_name(name, &side, &target)) {
      out->has_side_names = true;
      continue;
    }
    a.listing.entries.push_back(DirEntry{name, e.directory});
  }
  return 0;
}

struct FdSource {
  int fd;
  int64_t offset = 0;
  int error = 0;
  // The cache file mapped whole, when it could be: chunks are then sent from the page cache
  // without a copy. Writes and truncation wait while an upload runs, so it cannot shrink.
  const uint8_t* mapped = nullptr;
  int64_t size = 0;
};

const uint8_t* view_fd(void* context, size_t length) {
  auto& src = *static_cast<FdSource*>(context);
  if (src.offset + static_cast<int64_t>(length) > src.size) return nullptr;
  const uint8_t* at = src.mapped + src.offset;
  src.offset += static_cast<int64_t>(length);
  return at;
}

long read_fd(void* context, uint8_t* buffer, size_t length) {
  auto& src = *static_cast<FdSource*>(context);
  size_t done = 0;
  while (done < length) {
    ssize_t n = pread(src.fd, buffer + done, length - done, src.offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      src.error = n < 0 ? errno : EIO;  // the cache file shrank under the upload
      break;
    }
    done += static_cast<size_t>(n);
    src.offset += n;
  }
  return static_cast<long>(done);
}

struct FdSink {
  int fd;
  int64_t offset = 0;
  int error = 0;
  const DownloadHooks* hooks;
};

int write_fd(void* context, const uint8_t* data, size_t length) {
  auto& sink = *static_cast<FdSink*>(context);
  size_t done = 0;
  while (done < length) {
    ssize_t n = pwrite(sink.fd, data + done, length - done, sink.offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      sink.error = n < 0 ? errno : EIO;
      return -1;
    }
    done += static_cast<size_t>(n);
    sink.offset += n;
  }
  if (sink.hooks->on_filled) sink.hooks->on_filled(sink.offset);
  return 0;
}

void on_download_event(void* context, const DeviceEvent& e) {
  auto& sink = *static_cast<FdSink*>(context);
  if (e.kind == DeviceEventKind::kDataBegin && sink.hooks->on_size) sink.hooks->on_size(e.value);
}

}  // namespace

uint32_t record_permissions(const FileRecord& r) {
  return static_cast<uint32_t>(((r.own & 7) << 6) | ((r.grp & 7) << 3) | (r.other & 7));
}

int call_stat(LinkSession& s, const std::string& path, PathAnswer* out, MountLog& log) {
  Answered a;
  int rc = ls_once(s, path, &a);
  if (rc != 0) return rc;
  if (a.has_side_names) {
    std::vector<RepairAction> actions;
    int repair = repair_replace_leftovers(s.device, path, a.all_names, &actions);
    for (const RepairAction& act : actions) {
      s.track(act.result);
      if (act.result.ok())
        log_line(log, "%s %s (left by an interrupted replace)",
                 act.restored ? "put back" : "removed", act.side_path.c_str());
      else
        log_line(log, "could not repair %s: %s", act.side_path.c_str(),
                 status_text(act.result.code));
    }
    if (repair == kCodeLinkLost) return repair;
    a = Answered{};
    if ((rc = ls_once(s, path, &a)) != 0) return rc;
  }
  *out = a.answer;
  return 0;
}

int call_path(LinkSession& s, uint8_t code, const std::string& path) {
  return s.track(path_command(s.device, code, path.c_str())).code;
}

int call_move(LinkSession& s, const std::string& from, const std::string& to, bool replace,
              bool target_exists, MountLog& log) {
  if (!replace) return s.track(two_path_command(s.device, kCmdMv, from.c_str(), to.c_str())).code;
  ReplaceResult rr =
      safe_move_over(s.device, from.c_str(), to.c_str(),
                     target_exists ? ReplaceTarget::kExists : ReplaceTarget::kUnknown);
  if (rr.link_lost) s.lost = true;
  if (rr.old_left_aside)
    log_line(log, "rename %s over %s: the old file is left as its aside name", from.c_str(),
             to.c_str());
  return rr.result.code;
}

int call_download(LinkSession& s, const std::string& path, int fd, const DownloadHooks& hooks,
                  int* local_error) {
  FdSink sink{fd, 0, 0, &hooks};
  DataSink data_sink{&sink, write_fd};
  DeviceEvents events{&sink, on_download_event};
  TransferResult t = get_file(s.device, path.c_str(), data_sink, &events);
  s.track(t.result);
  *local_error = sink.error;
  return t.result.code;
}

int call_upload(LinkSession& s, const std::string& path, int fd, int64_t size, bool direct,
                bool target_exists, int* local_error, MountLog& log) {
  FdSource src{fd};
  src.size = size;
  DataSource source{&src, read_fd};
  void* map = size > 0 ? mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
  if (map != MAP_FAILED) {
    src.mapped = static_cast<const uint8_t*>(map);
    source.view = view_fd;
    madvise(map, static_cast<size_t>(size), MADV_SEQUENTIAL);
  }
  int code = 0;
  if (direct) {
    TransferResult t =
        put_file(s.device, path.c_str(), static_cast<int32_t>(size), source, nullptr);
    s.track(t.result);
    if (t.result.step == Step::kSource) s.lost = true;
    code = t.result.code;
  } else {
    ReplaceResult rr =
        safe_replace(s.device, path.c_str(), static_cast<int32_t>(size), source,
                     target_exists ? ReplaceTarget::kExists : ReplaceTarget::kUnknown, nullptr);
    if (rr.link_lost) s.lost = true;
    if (rr.old_left_aside)
      log_line(log, "replacing %s failed and its old content is left as its aside name",
               path.c_str());
    if (rr.aside_not_removed)
      log_line(log, "replaced %s; its old content could not be removed", path.c_str());
    code = rr.result.code;
  }
  if (map != MAP_FAILED) munmap(map, static_cast<size_t>(size));
  *local_error = src.error;
  return code;
}

}  // namespace rq::mount
