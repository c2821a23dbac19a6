// ls: the path exchange, then the one reply frame that holds a file's record or a directory's
// entries (layout in link/protocol.h). The reply comes from the peer, so it is walked with a
// cursor bounded by the bytes that actually arrived: a field cut off by the frame's end reads
// as 0, and the walk stops at the end of the frame whatever count was announced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device/device.h"

namespace rq {

struct ListingReply {
  const uint8_t* bytes = nullptr;
  size_t length = 0;
};

// Sends the path (wire_length bytes with its zero) and receives the reply into the payload
// area; *reply stays valid until the next exchange. Steps: kCommand, kPayload, kStatus,
// kReply (the reply did not arrive). The status value announces the reply's length, but the
// frame's own header decides what arrives, so a wrong announcement cannot put the link out
// of step.
Result list_path(Device& d, const char* path, int wire_length, ListingReply* reply);

// True for the file form; an empty reply has no tag and reads as an empty directory.
bool listing_is_file(const ListingReply& r);

// The 32-bit field at offset, or 0 when the reply ends before the field does.
int32_t listing_field(const ListingReply& r, size_t offset);

// The file form's fields; those the reply ends before read as 0.
FileRecord listing_file_record(const ListingReply& r);

// The directory form's entries, one per call.
struct ListingCursor {
  size_t next = kListingHeaderSize;
  size_t name_start = kListingHeaderSize;
  int32_t number = 0;  // of the entry last handed out, from 1
};

struct ListingEntry {
  int32_t number;
  const char* name;  // not terminated; a zero inside a name ends name_length
  int name_length;
  bool directory;
};

// Hands out the next entry until the announced count or the frame's end is reached. A byte
// other than the two type bytes belongs to the current name.
bool listing_next(const ListingReply& r, ListingCursor& cursor, ListingEntry* entry);

// False when name holds a type byte: a listing would end the name there, so a file of that
// name could be made but never listed as itself.
bool listing_can_carry(std::string_view name);

}  // namespace rq

namespace rq {

// True when a directory-form reply is long enough that the device may have cut it at the
// frame's end: one more entry (a name of the longest path and its type byte) might not have
// fitted. Such a listing is complete only as far as it goes.
bool listing_may_be_cut(const ListingReply& r);

}  // namespace rq
