// Local files that put and wb send: read whole into one memory block before the proxy is
// contacted, so that the size announced on the wire and the bytes sent always agree.
#pragma once

#include <cstdint>
#include <string>

#include "device/file_transfer.h"
#include "local/local_failure.h"

namespace rq {

// The size travels as a signed 32-bit number, so larger files cannot be announced.
constexpr uint64_t kMaxSendableFileSize = 0x7FFFFFFF;

// Frees its memory when it goes out of scope.
struct LocalFile {
  LocalFile() = default;
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;
  ~LocalFile();

  uint8_t* data = nullptr;  // malloc'ed; at least one byte even for an empty file
  int32_t size = 0;
  size_t offset = 0;  // how far local_file_source has read
};

// Reads the whole file name (local spelling, platform.h). Fails with kOpen; kSize (the size
// cannot be taken, or the file has none: EISDIR for a directory, ENOTSUP for a device or a
// pipe); kTooLarge past kMaxSendableFileSize; kNoMemory; kRead (a read failed, or the file
// yielded fewer bytes than its size). size and done say how large and how far; nothing is
// left allocated after a failure.
LocalFailure load_local_file(const std::string& name, LocalFile& file);

void free_local_file(LocalFile& file);

// A source for a device upload that reads the loaded file from its start.
DataSource local_file_source(LocalFile& file);

}  // namespace rq
