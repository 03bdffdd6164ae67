#include "platform/net/nSocket.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
// A listening socket on a free loopback port.
nSocket MakeListener() {
    nSocket s;
    EXPECT_TRUE(s.Open());
    EXPECT_TRUE(s.SetReuseAddress(true));
    EXPECT_TRUE(s.BindLoopback(0));
    EXPECT_TRUE(s.Listen(5));
    return s;
}
}  // namespace

TEST(nSocket, LoopbackRoundTripAndPeerClose) {
    nSocket listener = MakeListener();
    uint16_t port = listener.GetLocalPort();
    ASSERT_NE(port, 0);

    nSocket client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(client.ConnectLoopback(port));
    nSocket server = listener.Accept();
    ASSERT_TRUE(server.IsOpen());
    ASSERT_TRUE(server.SetNonBlocking(true));

    char buf[64];
    size_t got = 0;
    EXPECT_EQ(server.Recv(buf, sizeof(buf), got), nSocket::WouldBlock);

    ASSERT_TRUE(client.SendAll("hello", 6));
    ASSERT_TRUE(server.WaitReadable(2000));
    ASSERT_EQ(server.Recv(buf, sizeof(buf), got), nSocket::Received);
    EXPECT_EQ(got, 6u);
    EXPECT_STREQ(buf, "hello");

    client.Close();
    ASSERT_TRUE(server.WaitReadable(2000));
    EXPECT_EQ(server.Recv(buf, sizeof(buf), got), nSocket::PeerClosed);
}

TEST(nSocket, SendToAGonePeerFailsWithoutSignal) {
    nSocket listener = MakeListener();
    nSocket client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(client.ConnectLoopback(listener.GetLocalPort()));
    nSocket server = listener.Accept();
    server.Close();
    // the first send may still succeed; a later one must fail, never kill us
    bool failed = false;
    for (int i = 0; i < 50 && !failed; i++) {
        failed = !client.SendAll("x", 1, 10);
        if (!failed) {
            client.WaitReadable(10);
        }
    }
    EXPECT_TRUE(failed);
}

TEST(nSocket, ShutdownUnblocksAccept) {
    nSocket listener = MakeListener();
    listener.Shutdown();
    nSocket none = listener.Accept();
    EXPECT_FALSE(none.IsOpen());
    // closed sockets refuse everything quietly
    nSocket closed;
    size_t got = 0;
    char c;
    EXPECT_EQ(closed.Recv(&c, 1, got), nSocket::Failed);
    EXPECT_FALSE(closed.SendAll("x", 1));
    EXPECT_EQ(closed.GetLocalPort(), 0);
}
