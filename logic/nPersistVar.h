#pragma once
// One named variable of a typed store (nPersist): a hash node carrying the name, and
// the typed value. The list it sits in keeps the order of creation.
#include <cstring>

#include "kernel/nDataCharge.h"
#include "kernel/nHashNode.h"
#include "kernel/nScriptServer.h"
#include "scene/nVariableServer.h"

class nPersistVar : public nHashNode {
public:
    explicit nPersistVar(const char* name) : nHashNode(name) {}
    ~nPersistVar() override = default;

    nVariable& Get() { return var_; }
    const nVariable& Get() const { return var_; }
    nPersistVar* GetSucc() const { return static_cast<nPersistVar*>(nHashNode::GetSucc()); }
    // The origin of the text that set the value last: a store's script text runs with it.
    nScriptServer::Origin origin = nScriptServer::Origin::Person;
    // What the variable takes with a text of `textBytes`: charged to data while data's
    // value lives in it.
    uint64_t Cost(size_t textBytes) const {
        const char* name = GetName();
        return sizeof(nPersistVar) + 16 + (name ? std::strlen(name) : 0) + textBytes;
    }
    uint64_t Cost() const { return Cost(var_.GetS() ? std::strlen(var_.GetS()) + 1 : 0); }
    nDataCharge charge;

private:
    nVariable var_;
};
