#pragma once
// The channel reader (script class "nchnreader"): feeds channel values into float
// commands of its parent, so scripts wire an animated channel to any setter without code.
// Computing the parent computes the reader first (it joins the parent's depend list).
#include <string>
#include <vector>

#include "kernel/nScriptServer.h"
#include "scene/nVisNode.h"

class nCmdProto;

class nChnReader : public nVisNode {
public:
    static const nClassInfo classInfo;

    // Connects a script may ask for.
    static constexpr int MaxConnects = 256;

    nChnReader();

    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    void CollectChannels(nChannelSet* set) override;

    // `n` empty connects; a count outside 0 to MaxConnects is logged and changes nothing.
    void BeginConnects(int n);
    // Connect `index` reads `channel` into the parent's command `command` (names cut to 31
    // characters), with the origin of the text running now: the command runs under it. An
    // index outside the connects is logged and ignored.
    void SetConnect(int index, const char* command, const char* channel);
    // Finds every connect's command among the parent's commands. A name the parent does
    // not know, or a command that takes other inputs than one to four floats (none: save,
    // exit), is logged and leaves that connect driving nothing.
    void EndConnects();

    int GetNumConnects() const { return static_cast<int>(connects_.size()); }
    // Null outside the connects.
    const char* GetCommand(int index) const;
    const char* GetChannel(int index) const;
    // True when connect `index` found its command.
    bool IsResolved(int index) const;

private:
    struct Connect {
        std::string command;
        std::string channel;
        nCmdProto* proto = nullptr;
        int channelIndex = -1;
        int numArgs = 0;
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
        // Refused (logged once) until it is set again.
        bool refused = false;
    };

    std::vector<Connect> connects_;
    bool moveLogged_ = false;
};
