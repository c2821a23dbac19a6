// The attribute and listing cache: what stays fresh for how long, what a listing tells about
// its children (a cut one tells nothing about the names it lacks), and how the mount's own
// operations and renames move entries and overrides along.
#include "mount/attr_cache.h"

#include <gtest/gtest.h>

namespace rq::mount {
namespace {

constexpr int64_t kTimeout = 10000;

NodeKind kind_of(const AttrCache& c, const std::string& path, int64_t now) {
  NodeInfo info;
  if (!c.lookup(path, now, &info)) return static_cast<NodeKind>(99);  // not known
  return info.kind;
}
constexpr auto kUnknown = static_cast<NodeKind>(99);

TEST(AttrCache, EntriesAgeOutAndMissingNamesSooner) {
  AttrCache c(kTimeout);
  c.put_file("/a", 5, 0644, 0);
  c.put_missing("/gone", 0);
  EXPECT_EQ(kind_of(c, "/a", kTimeout - 1), NodeKind::kFile);
  EXPECT_EQ(kind_of(c, "/a", kTimeout), kUnknown);
  EXPECT_EQ(kind_of(c, "/gone", kMissingTimeoutMs - 1), NodeKind::kMissing);
  EXPECT_EQ(kind_of(c, "/gone", kMissingTimeoutMs), kUnknown);
}

TEST(AttrCache, AListingAnswersForItsChildrenUnlessItMayBeCut) {
  AttrCache c(kTimeout);
  c.put_listing("/d", Listing{{{"f", false}, {"sub", true}}, false}, 0);
  c.put_listing("/big", Listing{{{"f", false}}, true}, 0);
  NodeInfo info;
  ASSERT_TRUE(c.lookup("/d/f", 1, &info));
  EXPECT_EQ(info.kind, NodeKind::kFile);
  EXPECT_FALSE(info.has_record);  // a listing carries no sizes
  EXPECT_EQ(kind_of(c, "/d/sub", 1), NodeKind::kDirectory);
  EXPECT_EQ(kind_of(c, "/d/nope", 1), NodeKind::kMissing);
  EXPECT_EQ(kind_of(c, "/big/beyond-the-cut", 1), kUnknown);
}

TEST(AttrCache, OwnOperationsUpdateListingsAndRenamesMoveOverrides) {
  AttrCache c(kTimeout);
  c.put_listing("/", Listing{{{"d", true}}, false}, 0);
  c.put_listing("/d", Listing{{{"f", false}}, false}, 0);
  c.put_file("/d/f", 3, 0600, 0);
  Overrides o;
  o.mode = 0600;
  c.update_overrides("/d/f", o);

  c.note_renamed("/d", "/e", true, 1);
  Listing root;
  ASSERT_TRUE(c.listing("/", 1, &root));
  ASSERT_EQ(root.entries.size(), 1u);
  EXPECT_EQ(root.entries[0].name, "e");
  EXPECT_EQ(kind_of(c, "/d", 1), NodeKind::kMissing);
  EXPECT_EQ(kind_of(c, "/d/f", 1), kUnknown);  // its listing went with it
  EXPECT_EQ(c.overrides("/e/f").mode, 0600u);
  EXPECT_FALSE(c.overrides("/d/f").mode.has_value());

  c.note_created("/e2", false, 7, 1);
  NodeInfo info;
  ASSERT_TRUE(c.lookup("/e2", 1, &info));
  EXPECT_EQ(info.size, 7);
  c.note_removed("/e", 2);
  EXPECT_EQ(kind_of(c, "/e", 2), NodeKind::kMissing);
  EXPECT_FALSE(c.overrides("/e/f").mode.has_value());
  ASSERT_TRUE(c.listing("/", 2, &root));
  ASSERT_EQ(root.entries.size(), 1u);
  EXPECT_EQ(root.entries[0].name, "e2");
}

TEST(AttrCache, PathHelpers) {
  EXPECT_EQ(parent_path("/a/b"), "/a");
  EXPECT_EQ(parent_path("/a"), "/");
  EXPECT_EQ(leaf_name("/a/b"), "b");
  EXPECT_EQ(child_path("/", "x"), "/x");
  EXPECT_TRUE(is_below("/a/b", "/a"));
  EXPECT_FALSE(is_below("/ab", "/a"));
  EXPECT_FALSE(is_below("/a", "/a"));
  EXPECT_TRUE(is_below("/a", "/"));
}

}  // namespace
}  // namespace rq::mount
