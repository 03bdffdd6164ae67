#include "scene/nMixSources.h"

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelSet.h"

bool nMixSources::Begin(nRoot* owner, int n) {
    if (n < 0 || n > Max) {
        n_error("%s: beginsources: %d sources is outside 0 to %d\n", owner->GetFullName().c_str(), n, Max);
        return false;
    }
    count_ = n;
    return true;
}

bool nMixSources::Set(nRoot* owner, int index, const char* path, const char* channel) {
    if (index < 0 || index >= Max) {
        n_error("%s: setsource: source %d is outside 0 to %d\n", owner->GetFullName().c_str(), index, Max - 1);
        return false;
    }
    Source& s = sources_[index];
    s.ref.SetPath(path && *path ? path : nullptr);
    s.ref.SetCwd(owner);
    s.channel = channel ? channel : "";
    if (s.channel.size() > 31) s.channel.resize(31);
    s.channelIndex = -1;
    s.origin = nScriptServer::CurrentOrigin();
    return true;
}

const char* nMixSources::Path(int index) const {
    const char* p = sources_[index].ref.GetPath();
    return p ? p : "";
}

void nMixSources::Get(int index, const char*& path, const char*& channel) const {
    path = channel = "";
    if (index < 0 || index >= count_) return;
    path = Path(index);
    channel = sources_[index].channel.c_str();
}

void nMixSources::CollectChannel(int index, nChannelSet* set, nChannelServer* cs) {
    Source& s = sources_[index];
    s.channelIndex = s.channel.empty() ? -1 : set->AddChannel(cs, s.channel.c_str());
}

bool nMixSources::Save(nPersistServer* ps, nRoot* owner) const {
    if (!ps->Put(owner, nId("BSRC"), count_)) return false;
    for (int i = 0; i < count_; i++) {
        const char *path, *channel;
        Get(i, path, channel);
        nScriptServer::OriginScope origin(sources_[i].origin);
        if (!ps->Put(owner, nId("SSRC"), i, path, channel)) return false;
    }
    return ps->Put(owner, nId("ESRC"));
}
