// The file table: a reader waits only for the bytes it asks for while a download fills the
// content, a failed download wakes it with the error, and renames carry entries (and the
// entries below a renamed directory) to their new paths.
#include "mount/file_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace rq::mount {
namespace {

FileRef loading(FileTable& t, const std::string& path, int64_t size) {
  auto f = std::make_shared<CachedFile>();
  f->path = path;
  f->state = ContentState::kLoading;
  f->size = size;
  std::lock_guard<std::mutex> lock(t.mutex());
  t.insert_locked(f);
  return f;
}

TEST(FileTable, AReaderWaitsOnlyForTheBytesItAsksFor) {
  FileTable t;
  FileRef f = loading(t, "/f", 100000);
  std::atomic<int> stage{0};
  std::thread reader([&] {
    EXPECT_EQ(t.wait_for_bytes(f, 1000), 0);
    stage = 1;
    EXPECT_EQ(t.wait_for_bytes(f, 100000), 0);
    stage = 2;
  });
  t.note_filled(f, 16384);
  while (stage < 1) std::this_thread::yield();
  EXPECT_EQ(stage, 1);  // the first read is served while the download goes on
  t.note_loaded(f, 0);
  reader.join();
  EXPECT_EQ(stage, 2);
}

TEST(FileTable, AFailedDownloadWakesTheReaderWithItsError) {
  FileTable t;
  FileRef f = loading(t, "/f", 100);
  std::thread reader([&] { EXPECT_EQ(t.wait_for_bytes(f, 100), -5); });
  t.note_loaded(f, -5);
  reader.join();
  EXPECT_EQ(t.wait_until_idle(f), -5);
}

TEST(FileTable, AShorterContentThanAnnouncedEndsTheWait) {
  FileTable t;
  FileRef f = loading(t, "/f", 100);
  t.note_size(f, 10);  // the device's answer is shorter than its record said
  t.note_filled(f, 10);
  EXPECT_EQ(t.wait_for_bytes(f, 50), 0);
}

TEST(FileTable, RenamesCarryEntriesAndDetachWhatTheyReplace) {
  FileTable t;
  FileRef a = loading(t, "/d/a", 1);
  FileRef deep = loading(t, "/d/sub/b", 1);
  FileRef other = loading(t, "/dx", 1);
  FileRef old = loading(t, "/e/a", 1);
  std::lock_guard<std::mutex> lock(t.mutex());
  std::vector<FileRef> replaced = t.rename_locked("/d", "/e");
  ASSERT_EQ(replaced.size(), 1u);
  EXPECT_EQ(replaced[0], old);
  EXPECT_EQ(old->path, "");
  EXPECT_EQ(a->path, "/e/a");
  EXPECT_EQ(deep->path, "/e/sub/b");
  EXPECT_EQ(other->path, "/dx");
  EXPECT_EQ(t.find_locked("/e/a"), a);
  EXPECT_EQ(t.find_locked("/d/a"), nullptr);
  t.detach_locked(a);
  EXPECT_EQ(t.find_locked("/e/a"), nullptr);
  EXPECT_EQ(a->path, "");
}

}  // namespace
}  // namespace rq::mount
