#include "scene/nWeightTree.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"

namespace {

const nCmdDef<nWeightTree> cmds[] = {
    Bind<&nWeightTree::AddLeaf>("b_addleaf_s", "ALEF"),
    Bind<&nWeightTree::AddNode>("b_addnode_sss", "ANOD"),
};

}  // namespace

const nClassInfo nWeightTree::classInfo = nClassInfo::Make<nWeightTree>("nweighttree", "nvisnode", cmds);

nWeightTree::nWeightTree() = default;

int nWeightTree::FindEntry(const char* name) const {
    for (size_t i = 0; i < entries_.size(); i++) {
        if (entries_[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

int nWeightTree::NumChannelEntries() const {
    int n = 0;
    while (n < GetNumEntries() && entries_[static_cast<size_t>(n)].child0 < 0) n++;
    return n;
}

bool nWeightTree::AddLeaf(const char* name) {
    if (!name) name = "";
    if (FindEntry(name) >= 0 || GetNumEntries() >= MaxEntries) {
        n_error("%s: addleaf: '%s' %s\n", GetFullName().c_str(), name,
                FindEntry(name) >= 0 ? "exists already" : "does not fit");
        return false;
    }
    Entry e;
    e.name = name;
    entries_.push_back(e);
    NotifyParents();
    return true;
}

bool nWeightTree::AddNode(const char* name, const char* child0, const char* child1) {
    if (!name) name = "";
    const int c0 = FindEntry(child0 ? child0 : "");
    const int c1 = FindEntry(child1 ? child1 : "");
    if (FindEntry(name) >= 0 || c0 < 0 || c1 < 0 || GetNumEntries() >= MaxEntries) {
        n_error("%s: addnode: '%s' (%s, %s) refused: a name exists, a child is missing or the table is full\n",
                GetFullName().c_str(), name, child0 ? child0 : "", child1 ? child1 : "");
        return false;
    }
    Entry e;
    e.name = name;
    e.child0 = c0;
    e.child1 = c1;
    entries_.push_back(e);
    const int self = GetNumEntries() - 1;
    entries_[static_cast<size_t>(c0)].parent = self;
    entries_[static_cast<size_t>(c1)].parent = self;
    // The first node ends the channel leaves: a leaf it follows loses its channel.
    NotifyParents();
    return true;
}

float nWeightTree::GetWeight(const char* name) const {
    int e = FindEntry(name ? name : "");
    return e >= 0 ? entries_[static_cast<size_t>(e)].weight : 0.0f;
}

void nWeightTree::CollectChannels(nChannelSet* set) {
    nChannelServer* cs = refChannel.Get();
    const int n = NumChannelEntries();
    for (int i = 0; i < GetNumEntries(); i++) {
        Entry& e = entries_[static_cast<size_t>(i)];
        e.channelIndex = i < n && !e.name.empty() ? set->AddChannel(cs, e.name.c_str()) : -1;
    }
    nVisNode::CollectChannels(set);
}

// Children are entries added before their node, so the recursion ends.
void nWeightTree::BalanceEntry(int i) {
    Entry& e = entries_[static_cast<size_t>(i)];
    // A leaf added after a node owns no channel but has no children to balance either.
    if (e.channelIndex >= 0 || e.child0 < 0) return;
    Entry& c0 = entries_[static_cast<size_t>(e.child0)];
    Entry& c1 = entries_[static_cast<size_t>(e.child1)];
    const float w = e.weight;
    const float s = c1.weight + c0.weight;
    if (s > w) {
        if (c0.weight > w) {
            c0.weight = w;
            BalanceEntry(e.child0);
        }
        c1.weight = w - c0.weight;
        BalanceEntry(e.child1);
    }
    e.weight = s;
}

void nWeightTree::Balance() {
    for (int i = 0; i < GetNumEntries(); i++) BalanceEntry(i);
}

bool nWeightTree::Attach(nSceneGraph2* sceneGraph) {
    Compute(sceneGraph);
    return nVisNode::Attach(sceneGraph);
}

void nWeightTree::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    for (Entry& e : entries_) e.weight = e.channelIndex >= 0 ? ReadChannel(sceneGraph, e.channelIndex) : 1.0f;
    Balance();
    for (const Entry& e : entries_) {
        if (e.channelIndex >= 0) WriteChannel(sceneGraph, e.channelIndex, e.weight);
    }
}

bool nWeightTree::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    for (const Entry& e : entries_) {
        bool ok = e.child0 < 0 ? ps->Put(this, nId("ALEF"), e.name.c_str())
                               : ps->Put(this, nId("ANOD"), e.name.c_str(),
                                         entries_[static_cast<size_t>(e.child0)].name.c_str(),
                                         entries_[static_cast<size_t>(e.child1)].name.c_str());
        if (!ok) return false;
    }
    return true;
}
