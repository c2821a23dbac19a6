#include "device/listing.h"

#include <cstring>

#include "device/path_exchange.h"

namespace rq {

Result list_path(Device& d, const char* path, int wire_length, ListingReply* reply) {
  Result r = path_exchange(d, kCmdLs, path, wire_length);
  if (!r.ok()) return r;
  int n = receive_frame(d, payload_area(d), kMaxPayload);
  if (n < 0) return failed_at(Step::kReply, kCodeLinkLost);
  reply->bytes = payload_area(d);
  reply->length = static_cast<size_t>(n);
  return Result{};
}

bool listing_is_file(const ListingReply& r) {
  return r.length > 0 && r.bytes[0] == kListingFileTag;
}

int32_t listing_field(const ListingReply& r, size_t offset) {
  return offset + 4 <= r.length ? get_le32(r.bytes + offset) : 0;
}

FileRecord listing_file_record(const ListingReply& r) {
  FileRecord f;
  f.uid = listing_field(r, kRecordUidOffset);
  f.gid = listing_field(r, kRecordGidOffset);
  f.attr = listing_field(r, kRecordAttrOffset);
  f.own = listing_field(r, kRecordOwnOffset);
  f.grp = listing_field(r, kRecordGrpOffset);
  f.other = listing_field(r, kRecordOtherOffset);
  f.size = listing_field(r, kRecordSizeOffset);
  return f;
}

bool listing_next(const ListingReply& r, ListingCursor& cursor, ListingEntry* entry) {
  int32_t count = listing_field(r, kListingCountOffset);
  while (cursor.next < r.length && cursor.number < count) {
    size_t i = cursor.next++;
    uint8_t type = r.bytes[i];
    if (type != kEntryDirectory && type != kEntryFile) continue;
    const char* name = reinterpret_cast<const char*>(r.bytes + cursor.name_start);
    entry->number = ++cursor.number;
    entry->name = name;
    entry->name_length = static_cast<int>(strnlen(name, i - cursor.name_start));
    entry->directory = type == kEntryDirectory;
    cursor.name_start = i + 1;
    return true;
  }
  return false;
}

bool listing_can_carry(std::string_view name) {
  for (char ch : name)
    if (static_cast<uint8_t>(ch) == kEntryDirectory || static_cast<uint8_t>(ch) == kEntryFile)
      return false;
  return true;
}

}  // namespace rq

namespace rq {

bool listing_may_be_cut(const ListingReply& r) {
  return !listing_is_file(r) && r.length + kMaxDevicePath + 1 > kMaxPayload;
}

}  // namespace rq
