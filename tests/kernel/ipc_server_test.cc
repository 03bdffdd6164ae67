#include "kernel/nIpcServer.h"

#include "tests/kernel/IpcTestClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {
// Polls until `cond` holds or five seconds pass.
template <class Cond>
bool PollUntil(nIpcServer& server, Cond cond) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < limit) {
        server.Poll();
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}
}  // namespace

TEST(nIpcServer, PortFollowsTheNameAndBusyPortsAreSkipped) {
    EXPECT_EQ(nIpcServer::FirstPort("ab"), 12000 + 293 % 999);
    nIpcServer first("bw_ipc_ports");
    ASSERT_TRUE(first.IsOpen());
    nIpcServer second("bw_ipc_ports");
    ASSERT_TRUE(second.IsOpen());
    EXPECT_GE(first.GetPort(), nIpcServer::FirstPort("bw_ipc_ports"));
    EXPECT_EQ(second.GetPort(), first.GetPort() + 1);
}

TEST(nIpcServer, QueuesMessagesAndAnswersControlLines) {
    nIpcServer server("bw_ipc_queue");
    ASSERT_TRUE(server.IsOpen());
    IpcTestClient client;
    ASSERT_TRUE(client.Connect(server.GetPort()));
    auto pump = [&] { server.Poll(); };

    // lines are queued only once the connection has sent the server's handshake
    ASSERT_TRUE(client.SendLine("print('early')"));
    EXPECT_EQ(client.Receive(pump), "### no handshake!");
    client.SendLine("~handshake bw_ipc_queue");
    EXPECT_EQ(client.Receive(pump), "~true");
    ASSERT_TRUE(client.SendLine("print('x')"));
    ASSERT_TRUE(PollUntil(server, [&] { return server.Poll(); }));
    int id = -2;
    std::unique_ptr<nMsgNode> msg = server.GetMsg(id);
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(id, msg->GetClientId());
    EXPECT_EQ(std::string(msg->GetData(), msg->GetSize()), std::string("print('x')\0", 11));
    EXPECT_EQ(server.GetMsg(id), nullptr);
    EXPECT_EQ(id, -1);

    EXPECT_TRUE(server.Send(msg->GetClientId(), "ok", 3));
    EXPECT_EQ(client.Receive(pump), "ok");
    EXPECT_FALSE(server.Send(msg->GetClientId() + 100, "no", 3));

    // control lines are answered at once and never queued
    client.SendLine("~handshake bw_ipc_queue");
    EXPECT_EQ(client.Receive(pump), "~true");
    client.SendLine("~handshake\tother");
    EXPECT_EQ(client.Receive(pump), "~false");
    client.SendLine("~handshake");
    EXPECT_EQ(client.Receive(pump), "~false");
    client.SendLine("~~close");
    EXPECT_EQ(client.Receive(pump), "~ok");
    client.SendLine("~unknown word");
    client.SendLine("~close");
    EXPECT_EQ(client.Receive(pump), "~ok");
    EXPECT_FALSE(server.Poll());
    EXPECT_TRUE(server.HasClient(msg->GetClientId()));
}

TEST(nIpcServer, DestructionStopsTheListenerWithClientsConnected) {
    IpcTestClient client;
    uint16_t port;
    {
        nIpcServer server("bw_ipc_close");
        ASSERT_TRUE(server.IsOpen());
        port = server.GetPort();
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(PollUntil(server, [&] { return server.GetNumClients() == 1; }));
        server.SendAll("bye", 4);
        EXPECT_EQ(client.Receive([] {}), "bye");
    }
    // the connection was shut down and the port is free again
    EXPECT_EQ(client.Receive([] {}), "<closed>");
    IpcTestClient refused;
    EXPECT_FALSE(refused.Connect(port));
}
