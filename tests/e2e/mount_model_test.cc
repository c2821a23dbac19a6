// A model-based random test: the same random opens, reads, writes at offsets, truncations,
// renames, unlinks and mkdirs on the mount and on a local reference directory, compared
// after every close and, at the end, with rqsim's root (where no side name may be left).
// The seed is printed with any failure; RQ_MODEL_SEED replays one, RQ_MODEL_OPS sets the
// number of operations.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>

#include "e2e/mount_fixture.h"

namespace rq::e2e {
namespace {

class MountModel : public MountTest {};

struct OpenPair {
  int mount_fd;
  int ref_fd;
  std::string name;
  int flags;
};

unsigned env_number(const char* name, unsigned fallback) {
  const char* v = getenv(name);
  return v && *v ? static_cast<unsigned>(strtoul(v, nullptr, 10)) : fallback;
}

TEST_F(MountModel, RandomOperationsMatchALocalDirectory) {
  const unsigned seed = env_number("RQ_MODEL_SEED", static_cast<unsigned>(time(nullptr)));
  const unsigned ops = env_number("RQ_MODEL_OPS", 2000);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (RQ_MODEL_SEED=" + std::to_string(seed) +
               " replays it)");
  std::mt19937 rng(seed);
  auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };

  start_sim();
  ASSERT_TRUE(mount());
  const std::string ref = dir_ / "ref";
  std::filesystem::create_directories(ref);
  const char* dirs[] = {"", "d1/", "d2/", "d1/d3/"};
  auto random_name = [&] { return std::string(dirs[pick(4)]) + "f" + std::to_string(pick(5)); };
  auto both = [&](const std::string& name) {
    return std::make_pair(mnt() + "/" + name, ref + "/" + name);
  };
  std::vector<OpenPair> open_files;
  std::string data = random_bytes(120000, seed);

  auto close_one = [&](size_t i) {
    OpenPair p = open_files[i];
    open_files.erase(open_files.begin() + static_cast<long>(i));
    int mount_rc = close(p.mount_fd);
    int ref_rc = close(p.ref_fd);
    EXPECT_EQ(mount_rc, ref_rc) << "close of " << p.name << ": " << strerror(errno);
    EXPECT_EQ(describe_tree(mnt()), describe_tree(ref)) << "after closing " << p.name;
  };

  // The last operations, shown with a failure.
  std::vector<std::string> history;
  auto note = [&](const std::string& what) { history.push_back(what); };
  for (unsigned step = 0; step < ops && !HasFailure(); ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    unsigned op = pick(100);
    if (op < 20 && open_files.size() < 3) {  // open or create
      std::string name = random_name();
      int flags = (pick(3) == 0 ? O_RDONLY : O_RDWR) | (pick(2) ? O_CREAT : 0);
      if (flags & O_RDWR && pick(4) == 0) flags |= O_TRUNC;
      if (flags & O_RDWR && pick(5) == 0) flags |= O_APPEND;
      auto [m, r] = both(name);
      note("open " + name + " flags " + std::to_string(flags));
      int mfd = open(m.c_str(), flags, 0644);
      int merr = errno;
      int rfd = open(r.c_str(), flags, 0644);
      int rerr = errno;
      ASSERT_EQ(mfd < 0, rfd < 0) << "open " << name << " flags " << flags << ": " << strerror(merr)
                                  << " / " << strerror(rerr);
      if (mfd < 0) {
        EXPECT_EQ(errno_text(merr), errno_text(rerr)) << "open " << name;
        continue;
      }
      note("  fd " + std::to_string(open_files.size()));
      open_files.push_back(OpenPair{mfd, rfd, name, flags});
    } else if (op < 45 && !open_files.empty()) {  // write at an offset
      OpenPair& p = open_files[pick(static_cast<unsigned>(open_files.size()))];
      size_t length = 1 + pick(20000);
      off_t offset = pick(70000);
      const char* bytes = data.data() + pick(static_cast<unsigned>(data.size() - length));
      note("write " + p.name + " at " + std::to_string(offset) + " " + std::to_string(length));
      ssize_t mw = pwrite(p.mount_fd, bytes, length, offset);
      ssize_t rw = pwrite(p.ref_fd, bytes, length, offset);
      EXPECT_EQ(mw, rw) << "write to " << p.name;
    } else if (op < 60 && !open_files.empty()) {  // read at an offset
      OpenPair& p = open_files[pick(static_cast<unsigned>(open_files.size()))];
      size_t length = 1 + pick(40000);
      off_t offset = pick(90000);
      std::string mb(length, '\0'), rb(length, '\0');
      ssize_t mr = pread(p.mount_fd, mb.data(), length, offset);
      ssize_t rr = pread(p.ref_fd, rb.data(), length, offset);
      ASSERT_EQ(mr, rr) << "read from " << p.name;
      EXPECT_TRUE(mr < 0 ||
                  mb.compare(0, static_cast<size_t>(mr), rb, 0, static_cast<size_t>(mr)) == 0)
          << "read from " << p.name;
    } else if (op < 67 && !open_files.empty()) {  // ftruncate
      OpenPair& p = open_files[pick(static_cast<unsigned>(open_files.size()))];
      off_t size = pick(80000);
      note("ftruncate " + p.name + " " + std::to_string(size));
      int mt = ftruncate(p.mount_fd, size);
      int rt = ftruncate(p.ref_fd, size);
      EXPECT_EQ(mt, rt) << "ftruncate " << p.name;
    } else if (op < 80 && !open_files.empty()) {
      size_t i = pick(static_cast<unsigned>(open_files.size()));
      note("close " + open_files[i].name);
      close_one(i);
    } else if (op < 88) {  // rename a file, over another or not
      auto [mf, rf] = both(random_name());
      auto [mt, rt] = both(random_name());
      note("rename " + mf.substr(mnt().size()) + " " + mt.substr(mnt().size()));
      int mrc = rename(mf.c_str(), mt.c_str()) == 0 ? 0 : errno;
      int rrc = rename(rf.c_str(), rt.c_str()) == 0 ? 0 : errno;
      EXPECT_EQ(errno_text(mrc), errno_text(rrc)) << "rename " << mf << " " << mt;
    } else if (op < 95) {  // unlink, maybe while open
      auto [m, r] = both(random_name());
      note("unlink " + m.substr(mnt().size()));
      int mrc = unlink(m.c_str()) == 0 ? 0 : errno;
      int rrc = unlink(r.c_str()) == 0 ? 0 : errno;
      EXPECT_EQ(errno_text(mrc), errno_text(rrc)) << "unlink " << m;
    } else {  // mkdir
      const char* name = dirs[1 + pick(3)];
      auto [m, r] = both(name);
      note(std::string("mkdir ") + name);
      int mrc = mkdir(m.c_str(), 0755) == 0 ? 0 : errno;
      int rrc = mkdir(r.c_str(), 0755) == 0 ? 0 : errno;
      EXPECT_EQ(errno_text(mrc), errno_text(rrc)) << "mkdir " << name;
    }
  }
  if (HasFailure()) {
    std::string last;
    for (size_t i = history.size() > 40 ? history.size() - 40 : 0; i < history.size(); ++i)
      last += history[i] + "\n";
    ADD_FAILURE() << "the last operations:\n" << last;
  }
  while (!open_files.empty()) close_one(open_files.size() - 1);
  EXPECT_EQ(describe_tree(mnt()), describe_tree(ref));
  EXPECT_EQ(unmount(), 0) << log();
  EXPECT_EQ(describe_tree(root()), describe_tree(ref));
  EXPECT_EQ(side_names_in(root()), std::vector<std::string>{});
}

}  // namespace
}  // namespace rq::e2e
