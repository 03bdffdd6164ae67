#include "kernel/nRemoteServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "kernel/nFileServer2.h"
#include "kernel/nIpcServer.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "script/nScriptPackage.h"
#include "tests/kernel/IpcTestClient.h"

namespace {

std::string SourceDir() {
    if (const char* dir = std::getenv("BW_SOURCE_DIR")) return dir;
    std::string file = __FILE__;
    return file.substr(0, file.rfind("/tests/"));
}

// A kernel with the Lua server; the kernel itself makes "/sys/servers/remote".
class RemoteServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
        });
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (SourceDir() + "/data/bin/win32/").c_str());
        kernel->New("nluaserver2", "/sys/servers/script");
        // Remote lines are data: what they make lives in the persist tree.
        kernel->New("nroot", "/usr/persist");
        remote = kernel->GetRemoteServer<nRemoteServer>();
        ASSERT_NE(remote, nullptr);
        ASSERT_TRUE(remote->IsA("nremoteserver"));
        ASSERT_TRUE(remote->Open("bw_remote_test"));
        port = remote->GetIpcServer()->GetPort();
    }
    void TearDown() override { delete kernel; }

    std::string Ask(IpcTestClient& client, const std::string& line) {
        client.SendLine(line);
        return Get(client);
    }
    std::string Get(IpcTestClient& client) {
        return client.Receive([this] {
            if (kernel->GetRemoteServer<nRemoteServer>()) remote->Trigger();
        });
    }
    // Connects and sends the server's handshake, without which no line runs.
    bool Connect(IpcTestClient& client) {
        const std::string hello = std::string("~handshake ") + remote->GetIpcServer()->GetPortName();
        return client.Connect(port) && Ask(client, hello) == "~true";
    }

    nKernelServer* kernel = nullptr;
    nRemoteServer* remote = nullptr;
    uint16_t port = 0;
};

}  // namespace

TEST_F(RemoteServerTest, EachClientKeepsItsOwnCurrentObject) {
    IpcTestClient a, b;
    ASSERT_TRUE(Connect(a));
    ASSERT_TRUE(Connect(b));
    Ask(a, "sel('/sys')");
    EXPECT_EQ(Ask(a, "getfullname()"), "/sys");
    EXPECT_EQ(Ask(b, "getfullname()"), "/");
    Ask(b, "sel('/sys/servers')");
    EXPECT_EQ(Ask(a, "getfullname()"), "/sys");
    EXPECT_EQ(Ask(b, "getfullname()"), "/sys/servers");
    // the kernel's own current object is left as it was
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());

    // a client whose current object is deleted by another continues at the root (a line
    // deletes only below a level or "/usr/persist")
    Ask(a, "new('nroot', '/usr/persist/gone'); sel('/usr/persist/gone')");
    EXPECT_EQ(Ask(a, "getfullname()"), "/usr/persist/gone");
    Ask(b, "delete('/usr/persist/gone')");
    EXPECT_EQ(Ask(a, "getfullname()"), "/");

    // two lines sent together are both run and answered
    a.SendRaw(std::string("sel('/sys')\0getfullname()\0", 27));
    EXPECT_EQ(Get(a), "");
    EXPECT_EQ(Get(a), "/sys");
}

TEST_F(RemoteServerTest, MalformedMessagesAreAnsweredNotFatal) {
    IpcTestClient c;
    ASSERT_TRUE(Connect(c));
    // a script error gives the empty text
    EXPECT_EQ(Ask(c, "this is not lua"), "");
    // handshakes answer with the server's own name
    EXPECT_EQ(Ask(c, "~handshake bw_remote_test"), "~true");
    EXPECT_EQ(Ask(c, "~close"), "~ok");
    // the connection is still served
    EXPECT_EQ(Ask(c, "getfullname()"), "/");
}

// TCP keeps no message borders: a line is whatever ends at its NUL.
TEST_F(RemoteServerTest, LinesAreRunWholeHoweverTheyArrive) {
    IpcTestClient c;
    ASSERT_TRUE(Connect(c));
    auto pause = [this] {
        for (int i = 0; i < 5; i++) {
            remote->Trigger();
            nKernelServer::Sleep(0.01f);
        }
    };
    // three parts with pauses between them run once, as one line
    c.SendRaw("runs = (runs or 0) + 1; new('nroot', '/usr/persist/par");
    pause();
    c.SendRaw("ts'); sel('/usr/persist/pa");
    pause();
    c.SendLine("rts'); getfullname()");
    EXPECT_EQ(Get(c), "/usr/persist/parts");
    EXPECT_EQ(Ask(c, "new('nenv', '/usr/persist/runs'); obj('/usr/persist/runs').seti(runs); "
                     "obj('/usr/persist/runs').geti()"), "1");

    // A comment longer than one receive stays a comment: no tail of it runs.
    std::string comment = "--[==[" + std::string(4090, 'a') + " new('nroot','/pwn') --]==]";
    EXPECT_EQ(Ask(c, comment), "");
    EXPECT_EQ(kernel->Lookup("/pwn"), nullptr);

    // A line past the length cap is answered with the error once and dropped whole,
    // its tail included; the connection goes on with the next line.
    std::string huge = "x = 1 --" + std::string(66000, 'b') + "\nnew('nroot', '/tail')";
    c.SendLine(huge);
    EXPECT_EQ(Get(c), "### comm error!");
    EXPECT_EQ(Ask(c, "getfullname()"), "/usr/persist/parts");
    EXPECT_EQ(kernel->Lookup("/tail"), nullptr);
    EXPECT_EQ(Ask(c, "sel('/'); getfullname()"), "/");
}

TEST_F(RemoteServerTest, ClientsComingAndGoingLeaveNoContexts) {
    for (int i = 0; i < 100; i++) {
        IpcTestClient c;
        ASSERT_TRUE(Connect(c));
        if (i % 3 == 0) {
            EXPECT_EQ(Ask(c, "getfullname()"), "/");
        } else if (i % 3 == 1) {
            c.SendRaw("sel('/sy");  // leaves in the middle of a line
        }
    }
    IpcTestClient last;
    ASSERT_TRUE(Connect(last));
    EXPECT_EQ(Ask(last, "getfullname()"), "/");
    for (int i = 0; i < 200 && remote->GetNumClientContexts() > 1; i++) {
        remote->Trigger();
        nKernelServer::Sleep(0.005f);
    }
    EXPECT_EQ(remote->GetNumClientContexts(), 1);
    EXPECT_EQ(remote->GetIpcServer()->GetNumClients(), 1);
}

TEST_F(RemoteServerTest, CloseStopsListeningAndReopens) {
    // A name no other test uses: a port this test frees could otherwise be taken
    // at once by another test process, and the refused connect below would succeed.
    remote->Close();
    ASSERT_TRUE(remote->Open("bw_remote_close"));
    port = remote->GetIpcServer()->GetPort();
    IpcTestClient c;
    ASSERT_TRUE(Connect(c));
    EXPECT_EQ(Ask(c, "getfullname()"), "/");
    remote->Broadcast("hello");
    EXPECT_EQ(Get(c), "hello");

    remote->Close();
    EXPECT_FALSE(remote->IsOpen());
    EXPECT_EQ(remote->GetIpcServer(), nullptr);
    EXPECT_FALSE(remote->Trigger());
    remote->Broadcast("nobody");
    EXPECT_EQ(Get(c), "<closed>");
    IpcTestClient refused;
    EXPECT_FALSE(refused.Connect(port));

    EXPECT_FALSE(remote->Open(""));
    ASSERT_TRUE(remote->Open("bw_remote_close"));
    IpcTestClient again;
    port = remote->GetIpcServer()->GetPort();
    ASSERT_TRUE(Connect(again));
    EXPECT_EQ(Ask(again, "getfullname()"), "/");
    // the kernel closes an open server when it goes
}

// A remote line is data: it deletes and moves nothing outside the level and persist trees,
// so the server that runs it stays, and so does the connection.
TEST_F(RemoteServerTest, ALineMayNotDeleteTheServerItself) {
    IpcTestClient c;
    ASSERT_TRUE(Connect(c));
    EXPECT_EQ(Ask(c, "delete('/sys/servers/remote')"), "");
    EXPECT_EQ(kernel->GetRemoteServer<nRemoteServer>(), remote);
    EXPECT_EQ(Ask(c, "getfullname()"), "/");
}

TEST_F(RemoteServerTest, ALineMayNotMoveOrDeleteAnObjectAboveTheServer) {
    IpcTestClient c;
    ASSERT_TRUE(Connect(c));
    Ask(c, "new('nroot', '/usr'); move('/sys/servers/remote', '/usr')");
    EXPECT_EQ(kernel->Lookup("/usr/remote"), nullptr);
    c.SendRaw(std::string("delete('/sys')\0new('nroot', '/usr/persist/after')\0", 50));
    EXPECT_EQ(Get(c), "");
    EXPECT_EQ(Get(c), "");
    EXPECT_NE(kernel->Lookup("/usr/persist/after"), nullptr);
    EXPECT_EQ(kernel->Lookup("/sys/servers/remote"), remote);
}

// A web page can make a browser send to a local port; lines that are not our client's
// (no handshake, an HTTP request) never run, and no remote line reaches files.
TEST_F(RemoteServerTest, OnlyGreetedConnectionsRunLinesAndNoneReachFiles) {
    IpcTestClient raw;
    ASSERT_TRUE(raw.Connect(port));
    EXPECT_EQ(Ask(raw, "~handshake other"), "~false");
    EXPECT_EQ(Ask(raw, "new('nroot', '/early')"), "### no handshake!");
    EXPECT_EQ(kernel->Lookup("/early"), nullptr);

    IpcTestClient web;
    ASSERT_TRUE(web.Connect(port));
    const char http[] = "POST / HTTP/1.1\r\nContent-Length: 46\r\n\r\n~handshake bw_remote_test\0new('nroot', '/web')\0";
    web.SendRaw(std::string(http, sizeof(http) - 1));
    EXPECT_EQ(Get(web), "<closed>");
    EXPECT_EQ(kernel->Lookup("/web"), nullptr);

    IpcTestClient c;
    ASSERT_TRUE(Connect(c));
    EXPECT_EQ(Ask(c, "io.open('/tmp/bw_remote_never', 'w')"), "");
    EXPECT_FALSE(std::filesystem::exists("/tmp/bw_remote_never"));
    EXPECT_EQ(Ask(c, "getfullname()"), "/");
}
