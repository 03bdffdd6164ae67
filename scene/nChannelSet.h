#pragma once
#include <cstdint>

#include "kernel/nArray.h"

class nChannelServer;

// The channels a visual subtree reads: global channel indices in collection order. A
// channel's position in the set selects its value slot in a channel context.
class nChannelSet {
public:
    nChannelSet() : channels_(0, 8) {}

    // The global index of `name` (made on first use), appended unless already present;
    // -1 when the server refuses the name, and then nothing is appended.
    int AddChannel(nChannelServer* server, const char* name);
    // Position of a global index in the set; -1 (logged once per collection) when the set
    // lacks it: the reader then reads 0.
    int Find(int channel);
    // Empties the set before a new collection.
    void Clear();

    int GetNumChannels() const { return channels_.Size(); }
    int GetChannelAt(int pos) const { return channels_[pos]; }

    // Channel contexts taken for the set this frame.
    void AddRef() { refCount_++; }
    void RemRef() { refCount_--; }
    int GetRefCount() const { return refCount_; }

private:
    nArray<uint16_t> channels_;
    uint16_t refCount_ = 0;
    bool missLogged_ = false;
};
