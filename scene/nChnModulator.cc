#include "scene/nChnModulator.h"

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"

namespace {

const nCmdDef<nChnModulator> cmds[] = {
    Bind<&nChnModulator::BeginChannels>("v_beginchannels_i", "BCNL"),
    Bind<&nChnModulator::SetChannel>("v_setchannel_iss", "SCNL"),
    Bind<&nChnModulator::EndChannels>("v_endchannels_v", "ECNL"),
    Bind<&nChnModulator::GetNumChannels>("i_getnumchannels_v", "GNCN"),
    {"ss_getchannel_i", "GCHN",
     [](nChnModulator* self, nCmd* c) {
         const char *a, *b;
         self->GetChannel(c->In()->GetI(), a, b);
         c->Out()->SetS(a);
         c->Out()->SetS(b);
     }},
};

}  // namespace

const nClassInfo nChnModulator::classInfo = nClassInfo::Make<nChnModulator>("nchnmodulator", "nvisnode", cmds);

nChnModulator::nChnModulator() = default;

void nChnModulator::BeginChannels(int n) {
    if (n < 0 || n > MaxEntries) {
        n_error("%s: beginchannels: %d entries is outside 0 to %d\n", GetFullName().c_str(), n, MaxEntries);
        return;
    }
    entries_.assign(static_cast<size_t>(n), Entry());
    NotifyParents();
}

void nChnModulator::SetChannel(int index, const char* a, const char* b) {
    if (index < 0 || index >= GetNumChannels()) {
        n_error("%s: setchannel: entry %d of %d\n", GetFullName().c_str(), index, GetNumChannels());
        return;
    }
    Entry& e = entries_[static_cast<size_t>(index)];
    e.a = a ? a : "";
    e.b = b ? b : "";
    e.indexA = e.indexB = -1;
    NotifyParents();
}

void nChnModulator::EndChannels() {
    NotifyParents();
}

void nChnModulator::GetChannel(int index, const char*& a, const char*& b) const {
    a = b = "";
    if (index < 0 || index >= GetNumChannels()) return;
    a = entries_[static_cast<size_t>(index)].a.c_str();
    b = entries_[static_cast<size_t>(index)].b.c_str();
}

float nChnModulator::GetLastA(int index) const {
    return index >= 0 && index < GetNumChannels() ? entries_[static_cast<size_t>(index)].lastA : 0.0f;
}

float nChnModulator::GetLastB(int index) const {
    return index >= 0 && index < GetNumChannels() ? entries_[static_cast<size_t>(index)].lastB : 0.0f;
}

void nChnModulator::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    for (Entry& e : entries_) {
        // An entry not set yet names no channel (the server would log the empty name).
        e.indexA = e.a.empty() ? -1 : set->AddChannel(cs, e.a.c_str());
        e.indexB = e.b.empty() ? -1 : set->AddChannel(cs, e.b.c_str());
    }
    nVisNode::CollectChannels(set);
}

bool nChnModulator::Attach(nSceneGraph2* sceneGraph) {
    Compute(sceneGraph);
    return nVisNode::Attach(sceneGraph);
}

void nChnModulator::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    for (Entry& e : entries_) {
        e.lastA = ReadChannel(sceneGraph, e.indexA);
        e.lastB = ReadChannel(sceneGraph, e.indexB);
        WriteChannel(sceneGraph, e.indexA, e.lastA * e.lastB);
    }
}

bool nChnModulator::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("BCNL"), GetNumChannels())) return false;
    for (int i = 0; i < GetNumChannels(); i++) {
        const Entry& e = entries_[static_cast<size_t>(i)];
        if (!ps->Put(this, nId("SCNL"), i, e.a.c_str(), e.b.c_str())) return false;
    }
    return ps->Put(this, nId("ECNL"));
}
