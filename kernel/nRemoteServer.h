#pragma once
#include <list>
#include <memory>

#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"

class nIpcServer;

// Remote control of the object tree (script class "nremoteserver",
// "/sys/servers/remote"): once opened, clients on the loopback interface send script
// lines, each ending in a NUL byte, and get each line's result text back. Every client
// keeps its own current object between lines. Closed until Open is called.
class nRemoteServer : public nRoot {
public:
    static const nClassInfo classInfo;
    // Lines handled per Trigger at most; the rest wait for the next frame, so a busy
    // client cannot hold the frame loop.
    static constexpr int MaxMsgsPerTrigger = 256;

    nRemoteServer();
    ~nRemoteServer() override;

    // Starts listening on the port that the name gives; false when no socket could
    // be made. An open server is closed first.
    bool Open(const char* portName);
    // Drops the clients and stops the listener.
    void Close();
    bool IsOpen() const { return isOpen_; }
    // Sends the text (with its NUL) to every connected client.
    void Broadcast(const char* text);
    // Runs the lines that arrived since the last call; always false.
    bool Trigger();

    // The socket layer while open, else null.
    nIpcServer* GetIpcServer() const { return ipcServer_.get(); }
    int GetNumClientContexts() const { return int(clients_.size()); }

private:
    struct ClientContext {
        int clientId;
        nRef<nRoot> cwd;
    };

    ClientContext& FindOrCreateContext(int clientId);
    // Runs and answers the lines of one message; false when a line destroyed this
    // server (`alive` tells), after which nothing of it may be touched.
    bool HandleMsg(int clientId, const char* data, size_t size, const nRef<nRoot>& alive);
    void Reply(int clientId, const char* text);

    nPathRef<nScriptServer> refScriptServer_;
    bool isOpen_ = false;
    std::unique_ptr<nIpcServer> ipcServer_;
    std::list<ClientContext> clients_;
};
