// A change whose answer is lost with the link, through the real worker against a peer that
// plays the proxy: the worker reconnects, the change is looked for, and it is sent again
// only when the look says it did not happen; with no proxy to come back to, EIO within the
// wait.
#include "mount/checked_change.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "device/path_exchange.h"
#include "support/peer.h"
#include "support/wire.h"

namespace rq::mount {
namespace {

using testing::FramedPeer;
using testing::message;

// The proxy's side of a mkdir that the device carries out but whose status never leaves:
// the connection closes after the path has arrived.
void take_mkdir_and_hang_up(SocketHandle listener) {
  FramedPeer p(5000);
  ASSERT_TRUE(p.accept(listener));
  p.send_frame(message(0));  // speaks at once: the ready for the first command
  std::string frame;
  ASSERT_TRUE(p.receive(&frame));  // the command
  p.send_frame(message(0));
  ASSERT_TRUE(p.receive(&frame));  // the path
  EXPECT_EQ(frame, std::string("/x\0", 3));
}

struct Fixture {
  SocketHandle listener = kNoSocket;
  int port = 0;
  Device device;
  MountLog log;
  std::unique_ptr<Worker> worker;

  Fixture() {
    socket_startup();
    listener = socket_listen_ipv4("127.0.0.1", 0, &port);
    log.out = tmpfile();
  }
  ~Fixture() {
    if (worker) worker->stop();
    socket_close(listener);
    fclose(log.out);
  }
  void start() {
    ConnectSettings s;
    s.port = port;
    s.timeout_s = 1;
    std::thread first(take_mkdir_and_hang_up, listener);
    ConnectFailure failure;
    // The first connection is made before the worker starts, as the mount does.
    ASSERT_EQ(connect_device(device, s, &failure), 0) << failure.text;
    worker = std::make_unique<Worker>(device, s, 0, log);
    worker->start();
    first_peer = std::move(first);
  }
  std::thread first_peer;
};

int mkdir_x(LinkSession& s) { return s.track(path_command(s.device, kCmdMkdir, "/x")).code; }

TEST(CheckedChange, ALostAnswerIsLookedForAndNotSentAgainWhenItHappened) {
  Fixture f;
  f.start();
  int sent = 0, looked = 0;
  std::thread second([&] {
    FramedPeer p(5000);
    ASSERT_TRUE(p.accept(f.listener));
    p.send_frame(message(0));
    std::string frame;
    EXPECT_FALSE(p.receive(&frame)) << "nothing is sent again";
  });
  ChangeResult r = run_change(
      *f.worker, [&](LinkSession& s) { return ++sent, mkdir_x(s); },
      [&](LinkSession&, bool* happened) { return ++looked, *happened = true, 0; }, f.log, "/x");
  f.first_peer.join();
  EXPECT_EQ(r.run, 0);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(sent, 1);
  EXPECT_EQ(looked, 1);
  f.worker->stop();
  second.join();
}

TEST(CheckedChange, ALostAnswerForAChangeThatDidNotHappenIsSentAgain) {
  Fixture f;
  f.start();
  int sent = 0;
  std::thread second([&] {
    FramedPeer p(5000);
    ASSERT_TRUE(p.accept(f.listener));
    p.send_frame(message(0));
    std::string frame;
    ASSERT_TRUE(p.receive(&frame));
    p.send_frame(message(0));
    ASSERT_TRUE(p.receive(&frame));
    p.send_frame(message(0));  // the status this time
  });
  ChangeResult r = run_change(
      *f.worker, [&](LinkSession& s) { return ++sent, mkdir_x(s); },
      [&](LinkSession&, bool* happened) { return *happened = false, 0; }, f.log, "/x");
  f.first_peer.join();
  second.join();
  EXPECT_EQ(r.run, 0);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(sent, 2);
}

TEST(CheckedChange, WithoutAProxyToComeBackToItIsEio) {
  Fixture f;
  f.start();
  // Nobody takes the next connection: the reconnect's start-up ping gets no answer.
  int looked = 0;
  ChangeResult r = run_change(
      *f.worker, mkdir_x, [&](LinkSession&, bool*) { return ++looked, 0; }, f.log, "/x");
  f.first_peer.join();
  EXPECT_EQ(r.run, -EIO);
  EXPECT_EQ(looked, 0);
}

}  // namespace
}  // namespace rq::mount
