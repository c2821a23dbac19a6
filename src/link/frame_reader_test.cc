#include "link/frame_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rq {
namespace {

std::string frame_bytes(const std::string& payload) {
  std::string f(4, '\0');
  put_frame_header(reinterpret_cast<uint8_t*>(f.data()), payload.size());
  return f + payload;
}

// Feeds bytes in pieces of `step` and collects every frame and event the reader reports.
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
    size_t n = std::min({room, step, stream.size() - pos});
    memcpy(space, stream.data() + pos, n);
    frame_reader_commit(*r, n);
    pos += n;
  }
  return events;
}

TEST(FrameReader, CutsAStreamIntoFramesWhateverTheReadSizes) {
  std::string big(kMaxPayload, 'z');
  std::string stream = frame_bytes("12345678") + frame_bytes("") + frame_bytes(big) +
                       frame_bytes(std::string(300, 'q')) + frame_bytes("x");
  std::vector<std::string> expected = {"12345678", "", big, std::string(300, 'q'), "x"};
  for (size_t step : {1ul, 3ul, 4ul, 5ul, 8ul, 4096ul, 100000ul})
    EXPECT_EQ(feed(stream, step), expected) << "step " << step;
}

TEST(FrameReader, IgnoresTheMarkerBytes) {
  std::string stream = "ZZ" + frame_bytes("abc").substr(2);
  EXPECT_EQ(feed(stream, 1), std::vector<std::string>{"abc"});
}

TEST(FrameReader, SkipsAnOversizeFrameWholeAndStaysInStep) {
  std::string oversize = "Ag\x40\x01" + std::string(kMaxPayload + 1, 'o');
  std::string max_announced = "Ag\xff\xff" + std::string(0xffff, 'm');
  std::string stream = frame_bytes("before") + oversize + max_announced + frame_bytes("after");
  std::vector<std::string> expected = {"before", "<oversize 16385>", "<oversize 65535>", "after"};
  for (size_t step : {1ul, 7ul, 16388ul, 1000000ul})
    EXPECT_EQ(feed(stream, step), expected) << "step " << step;
}

TEST(FrameReader, EveryPrefixOfAFrameAsksForMore) {
  std::string f = frame_bytes("payload");
  for (size_t cut = 0; cut < f.size(); ++cut)
    EXPECT_TRUE(feed(f.substr(0, cut), 1).empty()) << "cut " << cut;
}

TEST(FrameReader, KeepsBytesOfTheNextFrameAsPending) {
  auto r = std::make_unique<FrameReader>();
  std::string stream = frame_bytes("one") + frame_bytes("two").substr(0, 5);
  size_t room;
  memcpy(frame_reader_space(*r, &room), stream.data(), stream.size());
  frame_reader_commit(*r, stream.size());
  const uint8_t* payload;
  size_t length;
  ASSERT_EQ(frame_reader_next(*r, &payload, &length), kFrameReady);
  EXPECT_EQ(frame_reader_pending(*r), 5u);
  EXPECT_EQ(frame_reader_next(*r, &payload, &length), kFrameNeedMore);
}

}  // namespace
}  // namespace rq
