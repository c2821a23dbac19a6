// The link on its own, over a socket pair: what its report hook hears (it prints nothing),
// its time-out, and a reader that starts afresh on a new socket.
#include "link/link.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/wire.h"

namespace rq {
namespace {

struct Heard {
  std::vector<LinkEvent> events;
};

void remember(void* context, const LinkEvent& e) {
  static_cast<Heard*>(context)->events.push_back(e);
}

// A link at one end of a socket pair, reporting to heard; the test plays the peer.
class LinkPair : public ::testing::Test {
 protected:
  void SetUp() override {
    SocketHandle ends[2];
    ASSERT_EQ(socket_pair(ends), 0);
    link_attach(*link, ends[0]);
    link->report = remember;
    link->report_context = &heard;
    peer = ends[1];
  }
  void TearDown() override {
    link_close(*link);
    if (peer != kNoSocket) socket_close(peer);
  }
  void play(const std::string& bytes) {
    ASSERT_EQ(socket_send(peer, bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
  }
  int receive(uint8_t* buf, size_t capacity) { return link_receive_frame(*link, buf, capacity); }

  std::unique_ptr<Link> link = std::make_unique<Link>();
  SocketHandle peer = kNoSocket;
  Heard heard;
};

TEST_F(LinkPair, ReportsEachFailureOnceAsItHappens) {
  uint8_t buf[8];
  play(testing::frame("123456789") + "Ag\x40\x01" + std::string(16385, 'o') +
       testing::frame("abc"));
  socket_shutdown_send(peer);
  EXPECT_EQ(receive(buf, sizeof buf), kLinkTooLong);
  EXPECT_EQ(receive(buf, sizeof buf), kLinkOversize);
  EXPECT_EQ(receive(buf, sizeof buf), 3);
  EXPECT_EQ(receive(buf, sizeof buf), kLinkClosed);
  EXPECT_EQ(link_send_frame(*link, buf, 3), kLinkClosed);
  ASSERT_EQ(heard.events.size(), 4u);
  EXPECT_EQ(heard.events[0].kind, LinkEventKind::kTooLong);
  EXPECT_EQ(heard.events[0].length, 9u);
  EXPECT_EQ(heard.events[0].capacity, 8u);
  EXPECT_EQ(heard.events[1].kind, LinkEventKind::kOversize);
  EXPECT_EQ(heard.events[1].length, 16385u);
  EXPECT_EQ(heard.events[2].kind, LinkEventKind::kClosed);
  EXPECT_EQ(heard.events[3].kind, LinkEventKind::kClosed);
}

// What a front end reads after a command: the first failure since it cleared `failed`, the
// same with or without a hook listening.
TEST_F(LinkPair, KeepsTheFirstFailureSinceCleared) {
  for (bool hooked : {true, false}) {
    SCOPED_TRACE(hooked ? "hook set" : "no hook");
    if (!hooked) link->report = nullptr;
    uint8_t buf[8];
    play(testing::frame("abc") + testing::frame("123456789") + testing::frame("abc"));
    link->failed = false;
    EXPECT_EQ(receive(buf, sizeof buf), 3);
    EXPECT_FALSE(link->failed);
    EXPECT_EQ(receive(buf, sizeof buf), kLinkTooLong);
    EXPECT_EQ(receive(buf, sizeof buf), 3);
    EXPECT_TRUE(link->failed);
    EXPECT_EQ(link->failure.kind, LinkEventKind::kTooLong);
    EXPECT_EQ(link->failure.length, 9u);
    EXPECT_EQ(link->failure.capacity, 8u);
  }
  // A later failure replaces nothing until the owner clears the flag.
  socket_shutdown_send(peer);
  uint8_t buf[8];
  EXPECT_EQ(receive(buf, sizeof buf), kLinkClosed);
  EXPECT_EQ(link->failure.kind, LinkEventKind::kTooLong);
  link->failed = false;
  EXPECT_EQ(link_send_frame(*link, buf, 3), kLinkClosed);
  EXPECT_TRUE(link->failed);
  EXPECT_EQ(link->failure.kind, LinkEventKind::kClosed);
}

TEST_F(LinkPair, GivesUpWhenAFrameDoesNotBeginOrEndInTime) {
  link->timeout_ms = 50;
  uint8_t buf[8];
  EXPECT_EQ(receive(buf, sizeof buf), kLinkTimedOut);  // nothing at all
  play(
      std::string("Ag\x00\x08"
                  "1234",
                  8));  // half a frame
  EXPECT_EQ(receive(buf, sizeof buf), kLinkTimedOut);
  play("5678");  // the rest arrives late: the frame is still read whole, in step
  EXPECT_EQ(receive(buf, sizeof buf), 8);
  // A caller may wait longer for a frame to begin than for the rest of one.
  const uint8_t* payload;
  size_t length;
  EXPECT_EQ(link_next_frame(*link, 50, &payload, &length), kLinkTimedOut);
  ASSERT_EQ(heard.events.size(), 3u);
  for (const LinkEvent& e : heard.events) EXPECT_EQ(e.kind, LinkEventKind::kTimedOut);
  EXPECT_FALSE(link->peer_closed);
}

TEST_F(LinkPair, SendsAFrameWholeInPiecesOfTheSizeAsked) {
  link->write_piece = 1;
  const uint8_t payload[] = {1, 2, 3};
  ASSERT_EQ(link_send_frame(*link, payload, sizeof payload), 0);
  char got[16];
  size_t n = 0;
  while (n < 7 && socket_wait_readable(peer, 1000) == 1) {
    long r = socket_recv(peer, got + n, sizeof got - n);
    if (r <= 0) break;
    n += static_cast<size_t>(r);
  }
  EXPECT_EQ(testing::hex(std::string(got, n)), "41 67 00 03 01 02 03");
}

// With a time-out the link tries the socket first and waits only when it takes nothing: a
// peer that reads slowly still gets every frame whole and in order, and one that stops
// reading is given up on instead of waited for.
TEST_F(LinkPair, ABoundedSendWaitsForRoomAndGivesUpOnAPeerThatStopsReading) {
  link->timeout_ms = 5000;
  constexpr int kFrames = 200;  // far more than the socket buffers hold
  std::vector<uint8_t> payload(kMaxPayload);
  std::string expected;
  std::string got;
  std::thread reader([&] {
    char buffer[4096];
    while (got.size() < kFrames * kStageSize) {
      long n = socket_recv(peer, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
  });
  for (int i = 0; i < kFrames; ++i) {
    for (size_t j = 0; j < payload.size(); ++j) payload[j] = static_cast<uint8_t>(i * 31 + j);
    expected += testing::frame(std::string(payload.begin(), payload.end()));
    ASSERT_EQ(link_send_frame(*link, payload.data(), payload.size()), 0) << "frame " << i;
  }
  reader.join();
  EXPECT_TRUE(got == expected) << "the peer read " << got.size() << " of " << expected.size();

  link->timeout_ms = 50;
  int rc = 0;
  for (int i = 0; i < 10000 && rc == 0; ++i) rc = link_send_frame(*link, payload.data(), 100);
  EXPECT_EQ(rc, kLinkTimedOut);
  ASSERT_FALSE(heard.events.empty());
  EXPECT_EQ(heard.events.back().kind, LinkEventKind::kTimedOut);
}

TEST_F(LinkPair, ANewSocketStartsWithAnEmptyReader) {
  play(testing::frame("12345678") + std::string("Ag\x00", 3));  // and the start of the next
  uint8_t buf[8];
  EXPECT_EQ(receive(buf, sizeof buf), 8);
  SocketHandle ends[2];
  ASSERT_EQ(socket_pair(ends), 0);
  link_close(*link);
  socket_close(peer);
  link_attach(*link, ends[0]);
  peer = ends[1];
  EXPECT_EQ(frame_reader_pending(link->reader), 0u);
  play(testing::frame("abc"));
  EXPECT_EQ(receive(buf, sizeof buf), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");
}

// What was traced into l.trace (a temporary file), which is closed and unset.
std::string take_trace(Link& l) {
  rewind(l.trace);
  std::string lines;
  for (int ch; (ch = fgetc(l.trace)) != EOF;) lines += static_cast<char>(ch);
  fclose(l.trace);
  l.trace = nullptr;
  return lines;
}

TEST_F(LinkPair, TracesEveryFrameBothWaysWhenAsked) {
  link->trace = tmpfile();
  link->trace_name = "rqtool";
  uint8_t msg[kMessageSize];
  make_message(msg, kCmdLs, 0, 2);
  ASSERT_EQ(link_send_frame(*link, msg, sizeof msg), 0);
  play(testing::frame(testing::message(0, 7)) + "Ag\x40\x01" + std::string(16385, 'o'));
  uint8_t buf[8];
  EXPECT_EQ(receive(buf, sizeof buf), 8);
  EXPECT_EQ(receive(buf, sizeof buf), kLinkOversize);
  std::string lines = take_trace(*link);
  EXPECT_EQ(lines,
            "rqtool -> command   ls sub=0 value=2 | 41 67 00 08 03 00 00 00 02 00 00 00\n"
            "rqtool <- status    code=0 value=7 | 41 67 00 08 00 00 00 00 07 00 00 00\n"
            "rqtool <- oversize  frame of 16385 bytes skipped\n");
}

// Length and bytes alone mislead: a seven-letter path is as long as a message, a chunk of a
// text file looks like text. A frame whose part the sender names is shown as that part.
TEST_F(LinkPair, TracesASentFrameAsTheExchangeNamesIt) {
  struct Case {
    const char* name;
    std::string payload;
    const char* what;  // nullptr: unnamed
    TraceKind kind;
    const char* line;
  } cases[] = {
      {"path as long as a message", std::string("/abcdef\0", 8), "payload", kTraceText,
       "rqtool -> payload   \"/abcdef\\0\" (8 bytes) | 41 67 00 08 2f 61 62 63 64 65 66 00\n"},
      {"path with control bytes", std::string("a\x01\0", 3), "payload", kTraceText,
       "rqtool -> payload   \"a\\x01\\0\" (3 bytes) | 41 67 00 03 61 01 00\n"},
      {"chunk as long as a message", "abcdefgh", "data", kTraceData,
       "rqtool -> data      8 bytes | 41 67 00 08 61 62 63 64 65 66 67 68\n"},
      {"unnamed, as long as a message", std::string("/abcdef\0", 8), nullptr, kTraceData,
       "rqtool -> command   0x2f sub=97 value=6710628 | 41 67 00 08 2f 61 62 63 64 65 66 "
       "00\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    link->trace = tmpfile();
    link->trace_name = "rqtool";
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.payload.data());
    ASSERT_EQ(link_send_frame_as(*link, bytes, c.payload.size(), c.what, c.kind), 0);
    EXPECT_EQ(take_trace(*link), c.line);
  }
}

}  // namespace
}  // namespace rq
