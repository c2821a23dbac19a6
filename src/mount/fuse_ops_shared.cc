#include "mount/fuse_ops_shared.h"

namespace rq::mount {

MountContext& ctx() { return *static_cast<MountContext*>(fuse_get_context()->private_data); }

Handle* handle_of(const fuse_file_info* fi) { return reinterpret_cast<Handle*>(fi->fh); }

uint64_t keep_handle(MountContext& m, Handle h) {
  auto owned = std::make_unique<Handle>(std::move(h));
  Handle* raw = owned.get();
  std::lock_guard<std::mutex> lock(m.handles_mutex);
  m.handles.emplace(raw, std::move(owned));
  return reinterpret_cast<uint64_t>(raw);
}

void drop_handle(MountContext& m, const fuse_file_info* fi) {
  std::lock_guard<std::mutex> lock(m.handles_mutex);
  m.handles.erase(handle_of(fi));
}

FileRef local_entry(MountContext& m, const std::string& path) {
  std::lock_guard<std::mutex> lock(m.files.mutex());
  FileRef f = m.files.find_locked(path);
  if (f && (f->open_count > 0 || f->dirty || f->uploading)) return f;
  return nullptr;
}

NodeInfo info_of_entry(MountContext& m, const FileRef& f) {
  NodeInfo info;
  info.kind = NodeKind::kFile;
  std::lock_guard<std::mutex> lock(m.files.mutex());
  info.size = f->size;
  NodeInfo known;
  if (!f->path.empty() && m.attrs.lookup(f->path, steady_ms(), &known) && known.has_record) {
    info.has_record = true;
    info.permissions = known.permissions;
  }
  return info;
}

std::string path_of(MountContext& m, const FileRef& f) {
  std::lock_guard<std::mutex> lock(m.files.mutex());
  return f->path;
}

void touch(MountContext& m, const std::string& path) {
  if (path.empty()) return;
  Overrides o;
  o.mtime_ns = wall_ns();
  m.attrs.update_overrides(path, o);
}

}  // namespace rq::mount
