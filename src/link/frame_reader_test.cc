#include "link/frame_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rq {
namespace {

std::string frame_bytes(const std::string& payload) {
  std::string f(4, '\0');
  put_frame_header(reinterpret_cast<uint8_t*>(f.data()), payload.size());
  return f + payload;
}

// A frame announcing `length` > kMaxPayload, with all its bytes.
std::string oversize_bytes(size_t length) {
  std::string f = "Ag";
  f += static_cast<char>(length >> 8);
  f += static_cast<char>(length & 0xff);
  return f + std::string(length, 'o');
}

// Payload bytes that differ from frame to frame and within one, so a lost, doubled or
// reordered byte changes what is read.
std::string numbered(size_t index, size_t length) {
  std::string p(length, '\0');
  for (size_t i = 0; i < length; ++i) p[i] = static_cast<char>((index * 131 + i * 7) & 0xff);
  return p;
}

// Feeds bytes in pieces of at most `step` (never more than the room offered) and collects
// every frame and event the reader reports.
std::vector<std::string> feed(const std::string& stream, size_t step) {
  auto r = std::make_unique<FrameReader>();
  std::vector<std::string> events;
  size_t pos = 0;
  for (;;) {
    const uint8_t* payload;
    size_t length;
    FrameNext next = frame_reader_next(*r, &payload, &length);
    if (next == kFrameReady) {
      events.emplace_back(reinterpret_cast<const char*>(payload), length);
      continue;
    }
    if (next == kFrameOversize) {
      events.push_back("<oversize " + std::to_string(r->oversize_length) + ">");
      continue;
    }
    if (pos == stream.size()) break;
    size_t room;
    uint8_t* space = frame_reader_space(*r, &room);
    if (room == 0) {
      ADD_FAILURE() << "no room after the reader asked for more, at byte " << pos;
      break;
    }
    size_t n = std::min({room, step, stream.size() - pos});
    memcpy(space, stream.data() + pos, n);
    frame_reader_commit(*r, n);
    pos += n;
  }
  return events;
}

// A stream several times the stage: frames of every kind of length (largest, empty, odd,
// message-sized) and oversize frames among them, so frames straddle the end of the stage
// and reads take several frames at once.
struct MixedStream {
  std::string bytes;
  std::vector<std::string> expected;
};

MixedStream mixed_stream() {
  const size_t lengths[] = {kMaxPayload, 0,           1,   kMessageSize, 5000,  kMaxPayload - 1,
                            3,           kMaxPayload, 777, kMaxPayload,  12000, 2};
  MixedStream m;
  for (size_t i = 0; i < 60; ++i) {
    if (i % 13 == 5) {
      size_t length = i % 2 ? 0xffff : kMaxPayload + 1;
      m.bytes += oversize_bytes(length);
      m.expected.push_back("<oversize " + std::to_string(length) + ">");
    }
    std::string p = numbered(i, lengths[i % (sizeof lengths / sizeof lengths[0])]);
    m.bytes += frame_bytes(p);
    m.expected.push_back(p);
  }
  return m;
}

TEST(FrameReader, CutsAStreamIntoFramesWhateverTheReadSizes) {
  MixedStream m = mixed_stream();
  ASSERT_GT(m.bytes.size(), 4 * kReceiveStageSize);
  std::vector<size_t> steps;
  for (size_t step = 1; step <= 40; ++step) steps.push_back(step);
  for (size_t step : {kFrameHeaderSize + kMessageSize, size_t{4093}, kMaxPayload - 1, kMaxPayload,
                      kStageSize - 1, kStageSize, kStageSize + 1, size_t{65536},
                      kReceiveStageSize - 1, kReceiveStageSize, m.bytes.size()})
    steps.push_back(step);
  for (size_t step : steps) {
    std::vector<std::string> got = feed(m.bytes, step);
    ASSERT_EQ(got.size(), m.expected.size()) << "step " << step;
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_EQ(got[i], m.expected[i]) << "step " << step << ", frame " << i;
  }
}

TEST(FrameReader, EveryPrefixHandsOutExactlyTheWholeFramesInIt) {
  const std::vector<std::string> payloads = {"12345678", "", "x", std::string(300, 'q'), "end"};
  std::string stream;
  std::vector<size_t> ends;  // where each frame ends in the stream
  for (const std::string& p : payloads) {
    stream += frame_bytes(p);
    ends.push_back(stream.size());
  }
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    std::vector<std::string> whole;
    for (size_t i = 0; i < payloads.size() && ends[i] <= cut; ++i) whole.push_back(payloads[i]);
    for (size_t step : {size_t{1}, size_t{5}, stream.size()})
      EXPECT_EQ(feed(stream.substr(0, cut), step), whole) << "cut " << cut << ", step " << step;
  }
}

TEST(FrameReader, IgnoresTheMarkerBytes) {
  std::string stream = "ZZ" + frame_bytes("abc").substr(2);
  EXPECT_EQ(feed(stream, 1), std::vector<std::string>{"abc"});
}

TEST(FrameReader, SkipsAnOversizeFrameWholeAndStaysInStep) {
  std::string stream = frame_bytes("before") + oversize_bytes(kMaxPayload + 1) +
                       oversize_bytes(0xffff) + frame_bytes("after");
  std::vector<std::string> expected = {"before", "<oversize 16385>", "<oversize 65535>", "after"};
  for (size_t step : {size_t{1}, size_t{7}, kStageSize, size_t{1000000}})
    EXPECT_EQ(feed(stream, step), expected) << "step " << step;
}

// Several frames from one read: each is handed out in turn with its own header, and the
// bytes behind the last whole one wait for the next read.
TEST(FrameReader, HandsOutSeveralFramesOfOneReadAndKeepsTheRest) {
  auto r = std::make_unique<FrameReader>();
  std::string second = "Ax" + frame_bytes("two").substr(2);
  std::string stream = frame_bytes("one") + second + frame_bytes("three").substr(0, 5);
  size_t room;
  memcpy(frame_reader_space(*r, &room), stream.data(), stream.size());
  frame_reader_commit(*r, stream.size());
  const uint8_t* payload;
  size_t length;
  ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameReady);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload), length), "one");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame_reader_frame(*r)), 2), "Ag");
  ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameReady);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload), length), "two");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame_reader_frame(*r)), 2), "Ax");
  EXPECT_EQ(frame_reader_pending(*r), 5u);
  EXPECT_EQ(frame_reader_next(*r, &payload, &length), kFrameNeedMore);
  memcpy(frame_reader_space(*r, &room), "hree", 4);
  frame_reader_commit(*r, 4);
  ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameReady);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload), length), "three");
  EXPECT_EQ(frame_reader_pending(*r), 0u);
}

// A frame whose start fills the end of the stage moves to the front whole, and the room
// offered then takes the rest of it.
TEST(FrameReader, AFrameSplitAcrossTheEndOfTheStageArrivesWhole) {
  auto r = std::make_unique<FrameReader>();
  // Frames that leave 50 bytes less than a largest frame at the end of the stage.
  std::string filler;
  for (size_t i = 1; i < kStageFrames; ++i) filler += frame_bytes(numbered(i + 1, kMaxPayload));
  filler += frame_bytes(std::string(50 - kFrameHeaderSize, 'f'));
  std::string big = frame_bytes(numbered(1, kMaxPayload));
  std::string stream = filler + big;
  size_t room;
  uint8_t* space = frame_reader_space(*r, &room);
  ASSERT_EQ(room, kReceiveStageSize);
  size_t first = filler.size() + 1000;  // the big frame's header and 996 payload bytes
  memcpy(space, stream.data(), first);
  frame_reader_commit(*r, first);
  const uint8_t* payload;
  size_t length;
  for (size_t i = 0; i < kStageFrames; ++i)
    ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameReady) << "frame " << i;
  ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameNeedMore);
  space = frame_reader_space(*r, &room);
  ASSERT_GE(room, stream.size() - first);
  memcpy(space, stream.data() + first, stream.size() - first);
  frame_reader_commit(*r, stream.size() - first);
  ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameReady);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload), length), numbered(1, kMaxPayload));
  EXPECT_EQ(frame_reader_pending(*r), 0u);

  // A commit beyond the room offered counts only the room.
  space = frame_reader_space(*r, &room);
  frame_reader_commit(*r, room + 1000);
  EXPECT_EQ(frame_reader_pending(*r), room);
}

}  // namespace
}  // namespace rq
