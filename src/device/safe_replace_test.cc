// The safe replace against the scripted proxy: which commands go out in which order for each
// answer the device may give, so that no answer leaves the old file lost or a partial file
// under the target's name.
#include "device/safe_replace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_proxy.h"
#include "link/status.h"

namespace rq {
namespace {

using testing::FakeProxy;

// What the client sent, one line per command: "mv /d/a /d/b", "rm /d/a", "put /d/a 5".
std::vector<std::string> commands_sent(const FakeProxy& p) {
  std::vector<std::string> lines;
  auto frames = p.sent_frames();
  for (size_t i = 0; i + 1 < frames.size(); ++i) {
    const std::string& f = frames[i];
    if (f.size() != 4 + kMessageSize) continue;
    int code = static_cast<uint8_t>(f[4]);
    std::string payload = frames[i + 1].substr(4);
    if (code == kCmdMv) {
      std::string from = payload.c_str();
      std::string to = payload.c_str() + from.size() + 1;
      lines.push_back("mv " + from + " " + to);
    } else if (code == kCmdRm) {
      lines.push_back("rm " + std::string(payload.c_str()));
    } else if (code == kCmdPut) {
      int32_t size = get_le32(reinterpret_cast<const uint8_t*>(payload.data()));
      lines.push_back("put " + std::string(payload.c_str() + 4) + " " + std::to_string(size));
    } else {
      continue;
    }
    ++i;
  }
  return lines;
}

// The proxy's side of one path exchange (mv, rm) ending in status `code`.
void path_answer(FakeProxy& p, int code) { p.ready().ready().status(code); }
// A put of five bytes that the device takes.
void put_answer(FakeProxy& p) { p.ready().ready().status(0).status(0, 5); }

ReplaceResult replace_five(Device& d, ReplaceTarget target) {
  struct Five {
    size_t offset = 0;
  } five;
  DataSource source{&five, [](void* c, uint8_t* buffer, size_t length) -> long {
                      auto& f = *static_cast<Five*>(c);
                      size_t n = std::min(length, 5 - f.offset);
                      std::memcpy(buffer, "hello" + f.offset, n);
                      f.offset += n;
                      return static_cast<long>(n);
                    }};
  return safe_replace(d, "/d/f", 5, source, target, nullptr);
}

TEST(SafeReplace, SideNamesSitBesideTheTargetAndAreRecognised) {
  char out[64];
  EXPECT_EQ(replace_side_path("/d/f.txt", ReplaceSide::kNew, out, sizeof out), 16);
  EXPECT_STREQ(out, "/d/.f.txt.rq-new");
  EXPECT_GT(replace_side_path("f", ReplaceSide::kOld, out, sizeof out), 0);
  EXPECT_STREQ(out, ".f.rq-old");
  EXPECT_EQ(replace_side_path("/d/", ReplaceSide::kNew, out, sizeof out), -1);
  EXPECT_EQ(replace_side_path("/d/f.txt", ReplaceSide::kNew, out, 16), -1);  // no room for 0

  ReplaceSide side;
  std::string target;
  EXPECT_TRUE(parse_replace_side_name(".f.txt.rq-old", &side, &target));
  EXPECT_EQ(side, ReplaceSide::kOld);
  EXPECT_EQ(target, "f.txt");
  EXPECT_TRUE(parse_replace_side_name("..rq-new.rq-new", &side, &target));
  EXPECT_EQ(target, ".rq-new");
  for (const char* plain : {"f.rq-new", ".rq-new", "..rq-ne", ".f.rq-newx", ".f.RQ-NEW"})
    EXPECT_FALSE(parse_replace_side_name(plain, &side, &target)) << plain;
}

// How a replace ended: its code, the stage it stopped at, and whether the old file was left
// under its aside name.
struct Ending {
  int code;
  ReplaceStage stage;
  bool old_left_aside;
};
constexpr Ending kReplaced = {0, ReplaceStage::kNone, false};

TEST(SafeReplace, EachDeviceAnswerLeavesTheOldFileOrTheNewOne) {
  struct Row {
    const char* name;
    ReplaceTarget target;
    void (*script)(FakeProxy& p);
    std::vector<std::string> sent;
    Ending ending;
  } rows[] = {
      {"new file, unknown target",
       ReplaceTarget::kUnknown,
       [](FakeProxy& p) { put_answer(p), path_answer(p, 0); },
       {"put /d/.f.rq-new 5", "mv /d/.f.rq-new /d/f"},
       kReplaced},
      {"existing file found by the move",
       ReplaceTarget::kUnknown,
       [](FakeProxy& p) {
         put_answer(p), path_answer(p, kStatusExists), path_answer(p, 0), path_answer(p, 0),
             path_answer(p, 0);
       },
       {"put /d/.f.rq-new 5", "mv /d/.f.rq-new /d/f", "mv /d/f /d/.f.rq-old",
        "mv /d/.f.rq-new /d/f", "rm /d/.f.rq-old"},
       kReplaced},
      {"existing file known",
       ReplaceTarget::kExists,
       [](FakeProxy& p) { put_answer(p), path_answer(p, 0), path_answer(p, 0), path_answer(p, 0); },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "mv /d/.f.rq-new /d/f", "rm /d/.f.rq-old"},
       kReplaced},
      {"stale aside name removed first",
       ReplaceTarget::kExists,
       [](FakeProxy& p) {
         put_answer(p), path_answer(p, kStatusExists), path_answer(p, 0), path_answer(p, 0),
             path_answer(p, 0), path_answer(p, 0);
       },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "rm /d/.f.rq-old", "mv /d/f /d/.f.rq-old",
        "mv /d/.f.rq-new /d/f", "rm /d/.f.rq-old"},
       kReplaced},
      {"upload refused mid-way: the partial temporary goes",
       ReplaceTarget::kExists,
       [](FakeProxy& p) { p.ready().ready().status(kStatusNoInodes), path_answer(p, 0); },
       {"put /d/.f.rq-new 5", "rm /d/.f.rq-new"},
       {kStatusNoInodes, ReplaceStage::kUpload, false}},
      {"move aside refused: the old file stays",
       ReplaceTarget::kExists,
       [](FakeProxy& p) { put_answer(p), path_answer(p, kStatusAccess), path_answer(p, 0); },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "rm /d/.f.rq-new"},
       {kStatusAccess, ReplaceStage::kMoveAside, false}},
      {"move in refused: the old file goes back",
       ReplaceTarget::kExists,
       [](FakeProxy& p) {
         put_answer(p), path_answer(p, 0), path_answer(p, kStatusFsError), path_answer(p, 0),
             path_answer(p, 0);
       },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "mv /d/.f.rq-new /d/f",
        "mv /d/.f.rq-old /d/f", "rm /d/.f.rq-new"},
       {kStatusFsError, ReplaceStage::kMoveIn, false}},
      {"move in and put back refused",
       ReplaceTarget::kExists,
       [](FakeProxy& p) {
         put_answer(p), path_answer(p, 0), path_answer(p, kStatusFsError),
             path_answer(p, kStatusFsError);
       },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "mv /d/.f.rq-new /d/f",
        "mv /d/.f.rq-old /d/f"},
       {kStatusFsError, ReplaceStage::kMoveIn, true}},
      {"target gone before the move aside",
       ReplaceTarget::kExists,
       [](FakeProxy& p) { put_answer(p), path_answer(p, kStatusMissing), path_answer(p, 0); },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "mv /d/.f.rq-new /d/f"},
       kReplaced},
      {"link lost after the move aside: nothing more is tried",
       ReplaceTarget::kExists,
       [](FakeProxy& p) { put_answer(p), path_answer(p, 0), p.ready().ready().hang_up(); },
       {"put /d/.f.rq-new 5", "mv /d/f /d/.f.rq-old", "mv /d/.f.rq-new /d/f"},
       {kCodeLinkLost, ReplaceStage::kMoveIn, true}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeProxy p;
    row.script(p);
    static ReplaceTarget target;
    static ReplaceResult got;
    target = row.target;
    p.run([](Shell& c, char*) { return (got = replace_five(c.device, target)).result.code; }, "");
    EXPECT_EQ(commands_sent(p), row.sent);
    EXPECT_EQ(got.result.code, row.ending.code);
    EXPECT_EQ(got.stage, row.ending.stage);
    EXPECT_EQ(got.old_left_aside, row.ending.old_left_aside);
    EXPECT_EQ(got.link_lost, row.ending.code == kCodeLinkLost);
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(SafeReplace, MoveOverKeepsTheTargetWhenTheMoveFails) {
  FakeProxy p;
  path_answer(p, kStatusExists), path_answer(p, 0), path_answer(p, kStatusAccess),
      path_answer(p, 0);
  static ReplaceResult got;
  p.run(
      [](Shell& c, char*) {
        return (got = safe_move_over(c.device, "/a", "/b", ReplaceTarget::kUnknown)).result.code;
      },
      "");
  EXPECT_EQ(commands_sent(p), (std::vector<std::string>{"mv /a /b", "mv /b /.b.rq-old", "mv /a /b",
                                                        "mv /.b.rq-old /b"}));
  EXPECT_EQ(got.result.code, kStatusAccess);
  EXPECT_FALSE(got.old_left_aside);
}

TEST(SafeReplace, RepairPutsAsideFilesBackAndRemovesTheRest) {
  FakeProxy p;
  for (int i = 0; i < 4; ++i) path_answer(p, 0);
  static std::vector<RepairAction> actions;
  static int rc;
  p.run(
      [](Shell& c, char*) {
        return rc = repair_replace_leftovers(
                   c.device, "/d",
                   {".a.rq-new", ".a.rq-old", ".b.rq-old", "b", ".c.rq-new", "c", "x"}, &actions);
      },
      "");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(commands_sent(p), (std::vector<std::string>{"rm /d/.a.rq-new", "mv /d/.a.rq-old /d/a",
                                                        "rm /d/.b.rq-old", "rm /d/.c.rq-new"}));
  ASSERT_EQ(actions.size(), 4u);
  EXPECT_TRUE(actions[1].restored);
  EXPECT_EQ(actions[1].target_path, "/d/a");
}

}  // namespace
}  // namespace rq
