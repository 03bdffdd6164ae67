#pragma once
// Base of every node that animates over time (script class "nanimnode"): names the
// channel its time is read from (default "time") and whether it loops or plays once.
// Subclasses read the time themselves in Compute (ReadChannel).
#include <string>

#include "scene/nVisNode.h"

class nAnimNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    // The node's own numbering; curves number their repeat types the other way.
    enum RepType { Oneshot = 0, Loop = 1 };

    nAnimNode();

    // "setreptype" and "setchannel" after the visual node's commands.
    bool SaveCmds(nPersistServer* ps) override;
    // Adds the node's channel, then the children's.
    void CollectChannels(nChannelSet* set) override;

    // "oneshot" or "loop"; any other text changes nothing.
    void SetRepType(const char* name);
    // "oneshot", "loop", or "<error>".
    const char* GetRepType() const;
    int GetRepTypeValue() const { return repType_; }
    // The ancestors collect their channels again, so the new channel is read from the
    // next frame on.
    void SetChannel(const char* name);
    const char* GetChannel() const { return channel_.c_str(); }
    // The global index of the channel; -1 until collected.
    int GetChannelIndex() const { return channelIndex_; }

protected:
    int repType_ = Loop;
    std::string channel_ = "time";
    int channelIndex_ = -1;
};
