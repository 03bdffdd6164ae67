#pragma once
// A logic node's render variables: typed values keyed by the variable server's handles,
// in the order they were added. A visualizer feeds each one into the channel of the same
// name of its copy's channel context.
#include <cstdint>

#include "kernel/nArray.h"
#include "scene/nVariableServer.h"

class nVariableContext {
public:
    nVariableContext() : vars_(0, 4) {}

    // The variable of that handle, made (of no type yet) when missing.
    nVariable& Add(int handle) {
        if (nVariable* v = Find(handle)) return *v;
        nVariable& v = vars_.Append(nVariable());
        v.SetHandle(uint32_t(handle));
        layout_ = (layout_ ^ (uint64_t(uint32_t(handle)) + 1)) * 0x100000001b3ull;
        return v;
    }
    nVariable* Find(int handle) {
        for (int i = 0; i < vars_.Size(); i++) {
            if (vars_[i].GetHandle() == uint32_t(handle)) return &vars_[i];
        }
        return nullptr;
    }
    int Size() const { return vars_.Size(); }
    nVariable& Get(int i) { return vars_[i]; }
    const nVariable& Get(int i) const { return vars_[i]; }

    // A hash of the handles in their order: a visualizer binds its channels anew when it
    // changes (a variable added, or a context rebuilt with other names), and not for
    // another node's context with the same variables.
    uint64_t GetLayout() const { return layout_; }

private:
    nArray<nVariable> vars_;
    uint64_t layout_ = 0xcbf29ce484222325ull;
};
