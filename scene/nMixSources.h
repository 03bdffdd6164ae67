#pragma once
// The weighted source table both mixers share: up to 16 objects found by path, each
// weighted by the first value of a named channel. The owner logs under its own name and
// decides what a change invalidates.
#include <string>

#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"

class nChannelServer;
class nChannelSet;
class nPersistServer;

class nMixSources {
public:
    static constexpr int Max = 16;

    // A count outside 0 to Max is logged under `owner` and changes nothing (false).
    bool Begin(nRoot* owner, int n);
    // Source `index` is the object at `path` (relative to `owner`) weighted by `channel`,
    // cut to 31 characters, named by the text running now. An index outside the table is
    // logged (false).
    bool Set(nRoot* owner, int index, const char* path, const char* channel);
    // "" for both outside the sources.
    void Get(int index, const char*& path, const char*& channel) const;
    int Count() const { return count_; }

    nRoot* Resolve(int index) { return sources_[index].ref.Resolve(); }
    const char* Path(int index) const;
    // The origin of the text that named source `index`: calls on it run no stronger.
    nScriptServer::Origin Origin(int index) const { return sources_[index].origin; }
    int ChannelIndex(int index) const { return sources_[index].channelIndex; }
    // Takes the channel of source `index` into `set`.
    void CollectChannel(int index, nChannelSet* set, nChannelServer* cs);

    // The "beginsources", "setsource" and "endsources" lines of `owner`; a copy made by
    // clone keeps each source's origin.
    bool Save(nPersistServer* ps, nRoot* owner) const;

private:
    struct Source {
        nPathRef<nRoot> ref;
        std::string channel;
        int channelIndex = -1;
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
    };
    int count_ = 0;
    Source sources_[Max];
};
