// The ls reply's decoders over every prefix of a reply, as a frame cut short would leave
// it: a field the frame ends before reads as 0, and the directory walk hands out exactly the
// entries whose type byte arrived, whatever count was announced.
#include "device/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/wire.h"

namespace rq {
namespace {

using testing::le32;

ListingReply reply_of(const std::string& bytes, size_t length) {
  return ListingReply{reinterpret_cast<const uint8_t*>(bytes.data()), length};
}

TEST(ListingDecode, EveryPrefixOfAFileRecordKeepsTheFieldsThatArrived) {
  const FileRecord full{10, 20, 0x1ff, 0x1a4, -3, 4, 123456};
  const std::string bytes = std::string("F\0\0\0", 4) + le32(full.uid) + le32(full.gid) +
                            le32(full.attr) + le32(full.own) + le32(full.grp) + le32(full.other) +
                            le32(full.size);
  ASSERT_EQ(bytes.size(), kFileRecordSize);
  for (size_t n = 0; n <= bytes.size(); ++n) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    ListingReply r = reply_of(bytes, n);
    EXPECT_EQ(listing_is_file(r), n > 0);
    FileRecord f = listing_file_record(r);
    auto arrived = [n](size_t offset, int32_t value) { return offset + 4 <= n ? value : 0; };
    EXPECT_EQ(f.uid, arrived(kRecordUidOffset, full.uid));
    EXPECT_EQ(f.gid, arrived(kRecordGidOffset, full.gid));
    EXPECT_EQ(f.attr, arrived(kRecordAttrOffset, full.attr));
    EXPECT_EQ(f.own, arrived(kRecordOwnOffset, full.own));
    EXPECT_EQ(f.grp, arrived(kRecordGrpOffset, full.grp));
    EXPECT_EQ(f.other, arrived(kRecordOtherOffset, full.other));
    EXPECT_EQ(f.size, arrived(kRecordSizeOffset, full.size));
  }
}

struct Walked {
  std::string name;
  bool directory;
  int32_t number;
  bool operator==(const Walked&) const = default;
};

std::vector<Walked> walk(const ListingReply& r) {
  std::vector<Walked> out;
  ListingCursor cursor;
  ListingEntry e;
  while (listing_next(r, cursor, &e))
    out.push_back(
        Walked{std::string(e.name, static_cast<size_t>(e.name_length)), e.directory, e.number});
  return out;
}

TEST(ListingDecode, EveryPrefixOfADirectoryHandsOutTheEntriesWhoseTypeByteArrived) {
  // The count announces one entry more than the reply holds: the frame's end stops the walk.
  const std::string entries = std::string("bin\x01", 4) + std::string("a\0b.txt\x02", 8) + "\x02";
  const std::string bytes = std::string("D\0\0\0", 4) + le32(4) + entries;
  const std::vector<Walked> all = {{"bin", true, 1}, {"a", false, 2}, {"", false, 3}};
  const size_t type_byte_at[] = {11, 19, 20};
  for (size_t n = 0; n <= bytes.size(); ++n) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    ListingReply r = reply_of(bytes, n);
    EXPECT_FALSE(listing_is_file(r));
    EXPECT_EQ(listing_field(r, kListingCountOffset), n >= kListingHeaderSize ? 4 : 0);
    std::vector<Walked> expected;
    for (size_t i = 0; i < all.size(); ++i)
      if (type_byte_at[i] < n) expected.push_back(all[i]);
    EXPECT_EQ(walk(r), expected);
  }
}

TEST(ListingDecode, TheAnnouncedCountEndsTheWalkBeforeTheFrameDoes) {
  struct Case {
    const char* name;
    int32_t count;
    size_t entries;
  } cases[] = {{"fewer than sent", 1, 1}, {"none", 0, 0}, {"negative", -2, 0}};
  const std::string bytes = std::string("D\0\0\0", 4);
  for (const Case& k : cases) {
    std::string reply = bytes + le32(k.count) + "a\x02" + "b\x01";
    EXPECT_EQ(walk(reply_of(reply, reply.size())).size(), k.entries) << k.name;
  }
}

TEST(ListingDecode, AReplyWithNoRoomLeftForTheLongestEntryMayHaveBeenCut) {
  // The device drops the entries that do not fit one frame; one more entry takes at most the
  // longest name and its type byte, so only a reply shorter than that by the frame's end is
  // known to be whole.
  const size_t last_whole = kMaxPayload - kMaxDevicePath - 1;
  struct Case {
    const char* name;
    char tag;
    size_t length;
    bool may_be_cut;
  } cases[] = {
      {"empty directory", 'D', 0, false},
      {"header only", 'D', kListingHeaderSize, false},
      {"room for one more longest entry", 'D', last_whole, false},
      {"one byte short of that room", 'D', last_whole + 1, true},
      {"a full frame", 'D', kMaxPayload, true},
      {"a file record never is", 'F', kMaxPayload, false},
  };
  for (const Case& k : cases) {
    std::string bytes(k.length, 'n');
    if (k.length > 0) bytes[0] = k.tag;
    EXPECT_EQ(listing_may_be_cut(reply_of(bytes, bytes.size())), k.may_be_cut) << k.name;
  }
}

TEST(ListingDecode, ANameCannotCarryATypeByte) {
  struct Case {
    std::string name;
    bool carried;
  } cases[] = {
      {"a b.txt", true},
      {"\xc3\xa9t\xc3\xa9", true},
      {"", true},
      {"a\x01", false},
      {"\x02z", false},
      {std::string("a\0b", 3), true},
      {"tab\tand\x03", true},
  };
  for (const Case& k : cases)
    EXPECT_EQ(listing_can_carry(k.name), k.carried) << testing::hex(k.name);
}

}  // namespace
}  // namespace rq
