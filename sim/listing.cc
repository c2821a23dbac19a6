#include "listing.h"

#include <cstring>

namespace rq::sim {

size_t encode_file_record(const FileRecord& record, uint8_t* out) {
  std::memset(out, 0, kFileRecordSize);
  out[0] = kListingFileTag;
  put_le32(out + kRecordUidOffset, record.uid);
  put_le32(out + kRecordGidOffset, record.gid);
  put_le32(out + kRecordAttrOffset, record.attr);
  put_le32(out + kRecordOwnOffset, record.own);
  put_le32(out + kRecordGrpOffset, record.grp);
  put_le32(out + kRecordOtherOffset, record.other);
  put_le32(out + kRecordSizeOffset, record.size);
  return kFileRecordSize;
}

void listing_begin(ListingBuilder& b, size_t reply_capacity) {
  if (reply_capacity > kMaxPayload) reply_capacity = kMaxPayload;
  b.budget = reply_capacity > kListingHeaderSize ? reply_capacity - kListingHeaderSize : 0;
  b.pool = 0;
  b.pool_used = 0;
  b.count = 0;
  b.used = 0;
  b.cut = false;
  b.ceiling_length = 0;
}

static const char* entry_name(const ListingBuilder& b, const ListingEntry& e) {
  return b.pools[b.pool] + e.offset;
}

// Byte-wise order, shorter first on a common prefix: stable whatever the host locale.
static int compare_names(const char* a, size_t a_length, const char* b, size_t b_length) {
  int c = std::memcmp(a, b, a_length < b_length ? a_length : b_length);
  if (c != 0) return c;
  return a_length < b_length ? -1 : (a_length > b_length ? 1 : 0);
}

static void compact_pool(ListingBuilder& b) {
  int other = 1 - b.pool;
  size_t used = 0;
  for (size_t i = 0; i < b.count; ++i) {
    ListingEntry& e = b.entries[i];
    std::memcpy(b.pools[other] + used, b.pools[b.pool] + e.offset, e.length);
    e.offset = static_cast<uint16_t>(used);
    used += e.length;
  }
  b.pool = other;
  b.pool_used = used;
}

void listing_add(ListingBuilder& b, const char* name, size_t length, uint8_t type) {
  if (length == 0 || length > kMaxEntryName) return;
  if (std::memchr(name, kEntryDirectory, length) || std::memchr(name, kEntryFile, length)) return;
  if (b.cut && compare_names(name, length, b.ceiling, b.ceiling_length) >= 0) return;

  if (b.pool_used + length > sizeof b.pools[0]) compact_pool(b);
  // The kept names never exceed the budget, so after compaction the new name fits.
  size_t lo = 0, hi = b.count;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    const ListingEntry& e = b.entries[mid];
    if (compare_names(entry_name(b, e), e.length, name, length) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  std::memmove(b.entries + lo + 1, b.entries + lo, (b.count - lo) * sizeof b.entries[0]);
  std::memcpy(b.pools[b.pool] + b.pool_used, name, length);
  b.entries[lo] = {static_cast<uint16_t>(b.pool_used), static_cast<uint8_t>(length), type};
  b.pool_used += length;
  ++b.count;
  b.used += length + 1;

  // Drop the last names until the rest fits. Every dropped name lowers the ceiling, so the
  // kept entries always are all the names below it: a prefix of the sorted directory.
  while (b.used > b.budget) {
    const ListingEntry& last = b.entries[b.count - 1];
    std::memcpy(b.ceiling, entry_name(b, last), last.length);
    b.ceiling_length = last.length;
    b.cut = true;
    b.used -= last.length + 1u;
    --b.count;
  }
}

size_t listing_encode(const ListingBuilder& b, uint8_t* out) {
  std::memset(out, 0, kListingHeaderSize);
  out[0] = kListingDirectoryTag;
  put_le32(out + kListingCountOffset, static_cast<int32_t>(b.count));
  size_t n = kListingHeaderSize;
  for (size_t i = 0; i < b.count; ++i) {
    const ListingEntry& e = b.entries[i];
    std::memcpy(out + n, entry_name(b, e), e.length);
    n += e.length;
    out[n++] = e.type;
  }
  return n;
}

}  // namespace rq::sim
