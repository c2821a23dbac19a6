// The ls reply as the device builds it (its layout is in link/protocol.h). A name carries
// no length and no zero, so a name holding a type byte (0x01 or 0x02) cannot be listed and
// is left out.
//
// One reply travels in one frame of at most kMaxPayload bytes. A directory that would not
// fit is cut to the entries, in name order, that do fit whole, and the count says how many.
// The builder keeps only those entries while the directory is read, so its memory is fixed
// however many entries the host directory holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/protocol.h"

namespace rq::sim {

constexpr size_t kMaxEntryName = 255;

// Writes the file form of record (link/protocol.h) into out (kFileRecordSize bytes); returns
// kFileRecordSize.
size_t encode_file_record(const FileRecord& record, uint8_t* out);

struct ListingEntry {
  uint16_t offset;  // of the name in the current pool
  uint8_t length;
  uint8_t type;
};

struct ListingBuilder {
  size_t budget = 0;  // bytes available for entries behind the header
  // Names live in one of two pools; when the current one fills up, the kept names are
  // copied to the other, which drops the names of evicted entries.
  char pools[2][kMaxPayload + kMaxEntryName + 1];
  int pool = 0;
  size_t pool_used = 0;
  ListingEntry entries[kMaxPayload / 2 + 2];  // sorted by name; every entry costs >= 2 bytes
  size_t count = 0;
  size_t used = 0;  // encoded bytes of the kept entries
  // Once an entry had to go, it and every name after it are out of the listing.
  bool cut = false;
  uint8_t ceiling_length = 0;
  char ceiling[kMaxEntryName];
};

// Starts a listing for a reply of at most reply_capacity bytes (header included).
void listing_begin(ListingBuilder& b, size_t reply_capacity = kMaxPayload);

// Offers one directory entry. Names that cannot be listed (empty, too long, holding 0x01
// or 0x02) are skipped.
void listing_add(ListingBuilder& b, const char* name, size_t length, uint8_t type);

// Writes the directory form; returns its length (at most the capacity given to begin).
size_t listing_encode(const ListingBuilder& b, uint8_t* out);

}  // namespace rq::sim
