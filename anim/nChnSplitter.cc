#include "anim/nChnSplitter.h"

#include <cmath>
#include <cstring>

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"

namespace {

const nCmdDef<nChnSplitter> cmds[] = {
    Bind<&nChnSplitter::BeginKeys>("v_beginkeys_i", "BKEY"),
    Bind<&nChnSplitter::SetKey>("v_setkey_ifs", "SKEY"),
    Bind<&nChnSplitter::EndKeys>("v_endkeys_v", "EKEY"),
    Bind<&nChnSplitter::AddKey>("v_addkey_fs", "AKEY"),
    Bind<&nChnSplitter::GetNumKeys>("i_getkeyinfo_v", "GKYI"),
    {"fs_getkey_i", "GKEY",
     [](nChnSplitter* self, nCmd* c) {
         float t;
         const char* channel;
         self->GetKey(c->In()->GetI(), t, channel);
         c->Out()->SetF(t);
         c->Out()->SetS(channel);
     }},
};

}  // namespace

const nClassInfo nChnSplitter::classInfo = nClassInfo::Make<nChnSplitter>("nchnsplitter", "nanimnode", cmds);

nChnSplitter::nChnSplitter() {
    keys_.reserve(8);
}

bool nChnSplitter::chargeKeys(size_t keys, size_t texts, const char* what) {
    if (!keysCharge_.Hold(keys * sizeof(Key) + texts, this, what)) return false;
    keyTexts_ = texts;
    return true;
}

void nChnSplitter::BeginKeys(int n) {
    if (n < 0 || n > MaxKeys) {
        n_error("%s: beginkeys: %d keys is outside 0 to %d\n", GetFullName().c_str(), n, MaxKeys);
        return;
    }
    if (!chargeKeys(size_t(n), 0, "v_beginkeys_i")) return;
    keys_.assign(static_cast<size_t>(n), Key());
    earlyKeyLogged_ = false;
    NotifyParents();
}

void nChnSplitter::SetKey(int index, float time, const char* channel) {
    if (index < 0 || index >= GetNumKeys()) {
        n_error("%s: setkey: key %d of %d\n", GetFullName().c_str(), index, GetNumKeys());
        return;
    }
    Key& k = keys_[static_cast<size_t>(index)];
    if (!channel) channel = "";
    if (!chargeKeys(keys_.capacity(), keyTexts_ - k.channel.size() + std::strlen(channel), "v_setkey_ifs")) return;
    k.time = time;
    k.channel = channel;
    k.channelIndex = -1;
    earlyKeyLogged_ = false;
    NotifyParents();
}

void nChnSplitter::EndKeys() {
    NotifyParents();
}

void nChnSplitter::AddKey(float time, const char* channel) {
    if (GetNumKeys() >= MaxKeys) {
        n_error("%s: addkey: more than %d keys\n", GetFullName().c_str(), MaxKeys);
        return;
    }
    if (!channel) channel = "";
    const size_t capacity = keys_.size() == keys_.capacity() ? keys_.size() * 2 + 1 : keys_.capacity();
    if (!chargeKeys(capacity, keyTexts_ + std::strlen(channel), "v_addkey_fs")) return;
    Key k;
    k.time = time;
    k.channel = channel;
    if (keys_.size() == keys_.capacity()) keys_.reserve(capacity);
    keys_.push_back(k);
    earlyKeyLogged_ = false;
    NotifyParents();
}

void nChnSplitter::GetKey(int index, float& time, const char*& channel) const {
    time = 0.0f;
    channel = "";
    if (index < 0 || index >= GetNumKeys()) return;
    time = keys_[static_cast<size_t>(index)].time;
    channel = keys_[static_cast<size_t>(index)].channel.c_str();
}

float nChnSplitter::GetWeight(int index) const {
    return index >= 0 && index < GetNumKeys() ? keys_[static_cast<size_t>(index)].weight : 0.0f;
}

void nChnSplitter::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    for (Key& k : keys_) k.channelIndex = k.channel.empty() ? -1 : set->AddChannel(cs, k.channel.c_str());
    nAnimNode::CollectChannels(set);
}

void nChnSplitter::Split(float t) {
    const int n = GetNumKeys();
    if (n < 1) return;
    for (Key& k : keys_) k.weight = 0.0f;
    const float first = keys_[0].time;
    const float last = keys_[static_cast<size_t>(n - 1)].time;
    if (first < 0.0f && !earlyKeyLogged_) {
        // The clamp below keeps t inside the keys whatever their times.
        n_error("%s: the first key is at %f, before 0\n", GetFullName().c_str(), static_cast<double>(first));
        earlyKeyLogged_ = true;
    }
    // Without a positive last time the time is not read: the keys hold at the first.
    if (!(last > 0.0f)) t = first;
    else if (repType_ == Loop) t = t - std::floor(t / last) * last;
    if (!(t >= first)) t = first;  // NaN too
    else if (t >= last) t = last;  // a oneshot past its end ends on its last key
    // The first key after key 0 whose time exceeds t; the last key when none does, so a
    // single key (or keys all at one time) gives the last key weight 1.
    int i = 1;
    while (i < n - 1 && !(keys_[static_cast<size_t>(i)].time > t)) i++;
    if (n == 1) {
        keys_[0].weight = 1.0f;
        return;
    }
    const float t0 = keys_[static_cast<size_t>(i - 1)].time;
    const float t1 = keys_[static_cast<size_t>(i)].time;
    const float f = t1 > t0 ? (t - t0) / (t1 - t0) : 1.0f;
    keys_[static_cast<size_t>(i - 1)].weight = 1.0f - f;
    keys_[static_cast<size_t>(i)].weight = f;
}

bool nChnSplitter::Attach(nSceneGraph2* sceneGraph) {
    Compute(sceneGraph);
    return nAnimNode::Attach(sceneGraph);
}

void nChnSplitter::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    if (keys_.empty()) return;
    Split(ReadChannel(sceneGraph, channelIndex_));
    // In key order: a channel named by two keys keeps the later key's weight.
    for (const Key& k : keys_) WriteChannel(sceneGraph, k.channelIndex, k.weight);
}

bool nChnSplitter::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("BKEY"), GetNumKeys())) return false;
    for (int i = 0; i < GetNumKeys(); i++) {
        const Key& k = keys_[static_cast<size_t>(i)];
        if (!ps->Put(this, nId("SKEY"), i, k.time, k.channel.c_str())) return false;
    }
    return ps->Put(this, nId("EKEY"));
}
