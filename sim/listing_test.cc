#include "listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/wire.h"

namespace rq::sim {
namespace {

struct Entry {
  std::string name;
  uint8_t type;
};

std::string encode(const std::vector<Entry>& entries, size_t capacity = kMaxPayload) {
  auto b = std::make_unique<ListingBuilder>();
  listing_begin(*b, capacity);
  for (const Entry& e : entries) listing_add(*b, e.name.data(), e.name.size(), e.type);
  uint8_t out[kMaxPayload];
  size_t n = listing_encode(*b, out);
  return std::string(reinterpret_cast<char*>(out), n);
}

std::string directory_bytes(int32_t count, const std::string& entries) {
  return "D" + std::string(3, '\0') + rq::testing::le32(count) + entries;
}

TEST(Listing, FileRecordLaysOutSevenLittleEndianFields) {
  FileRecord r;
  r.uid = 1;
  r.gid = 2;
  r.attr = 0x1ff;
  r.own = 7;
  r.grp = 5;
  r.other = -1;
  r.size = 40000;
  uint8_t out[kFileRecordSize];
  ASSERT_EQ(encode_file_record(r, out), 32u);
  const uint8_t want[32] = {'F', 0, 0, 0, 1, 0, 0, 0, 2,    0,    0,    0,    0xff, 1,    0, 0,
                            7,   0, 0, 0, 5, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0x40, 0x9c, 0, 0};
  EXPECT_EQ(0, memcmp(out, want, sizeof want));
}

TEST(Listing, DirectoryFormSortsByNameAndTypesEachEntry) {
  std::string got = encode({{"docs", kEntryDirectory},
                            {"b", kEntryFile},
                            {"a.txt", kEntryFile},
                            {"bin", kEntryDirectory},
                            {"Z", kEntryFile}});
  EXPECT_EQ(got, directory_bytes(5,
                                 "Z\x02"
                                 "a.txt\x02"
                                 "b\x02"
                                 "bin\x01"
                                 "docs\x01"));
  EXPECT_EQ(encode({}), directory_bytes(0, ""));
}

TEST(Listing, LeavesOutNamesTheFormatCannotCarry) {
  std::string got = encode({{"ok", kEntryFile},
                            {"bad\x01name", kEntryFile},
                            {std::string("\x01upload-1"), kEntryFile},
                            {"two\x02", kEntryDirectory},
                            {"", kEntryFile},
                            {std::string(256, 'n'), kEntryFile}});
  EXPECT_EQ(got, directory_bytes(1, "ok\x02"));
}

// Entries cost name + 1 bytes. With 11 bytes for entries, a, bb and ccc (9 bytes) fit and
// dddd (5) does not; e (2) would fit in the space left but sorts after dddd, so it stays out
// too: the listing is always the first names in order. The order the directory is read in
// must not matter.
TEST(Listing, CutsToTheLeadingEntriesThatFitWhateverTheReadOrder) {
  std::vector<Entry> entries = {{"a", kEntryFile},
                                {"bb", kEntryDirectory},
                                {"ccc", kEntryFile},
                                {"dddd", kEntryFile},
                                {"e", kEntryFile}};
  std::string want = directory_bytes(3,
                                     "a\x02"
                                     "bb\x01"
                                     "ccc\x02");
  std::sort(entries.begin(), entries.end(),
            [](const Entry& x, const Entry& y) { return x.name < y.name; });
  do {
    ASSERT_EQ(encode(entries, kListingHeaderSize + 11), want);
  } while (std::next_permutation(entries.begin(), entries.end(),
                                 [](const Entry& x, const Entry& y) { return x.name < y.name; }));
}

TEST(Listing, ABigDirectoryFillsOneFrameWithWholeEntries) {
  // 3000 names of 10 bytes (11 with the type byte), offered last first: 1488 fit in
  // 16384 - 8 bytes; the pools are compacted many times on the way.
  std::vector<Entry> entries;
  for (int i = 2999; i >= 0; --i) {
    char name[16];
    snprintf(name, sizeof name, "file-%05d", i);
    entries.push_back({name, kEntryFile});
  }
  std::string got = encode(entries);
  ASSERT_EQ(got.size(), kListingHeaderSize + 1488 * 11);
  EXPECT_EQ(get_le32(reinterpret_cast<const uint8_t*>(got.data()) + 4), 1488);
  EXPECT_EQ(got.substr(8, 11), std::string("file-00000\x02"));
  EXPECT_EQ(got.substr(got.size() - 11), std::string("file-01487\x02"));

  // Names of the longest length the host allows still fill the frame exactly as far as
  // whole entries go: 16376 / 256 = 63 entries.
  entries.clear();
  for (int i = 0; i < 100; ++i)
    entries.push_back({std::string(252, 'a') + std::to_string(100 + i), kEntryDirectory});
  got = encode(entries);
  EXPECT_EQ(get_le32(reinterpret_cast<const uint8_t*>(got.data()) + 4), 63);
  EXPECT_EQ(got.size(), kListingHeaderSize + 63 * 256);
}

}  // namespace
}  // namespace rq::sim
