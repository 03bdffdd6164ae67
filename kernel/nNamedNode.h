#pragma once
#include <string_view>

#include "kernel/nNode.h"
#include "kernel/nString.h"

// A list link that carries a name (object names, class names, command names).
class nNamedNode : public nNode {
public:
    nNamedNode() = default;
    explicit nNamedNode(const char* name, void* user = nullptr) : nNode(user), name_(name) {}

    // The name text, never null ("" when unnamed).
    const char* GetName() const { return name_.Get(); }
    std::string_view GetNameView() const { return {name_.Get(), name_.Length()}; }
    void SetName(const char* name) { name_.Set(name); }
    bool HasName() const { return !name_.IsEmpty(); }

    nNamedNode* GetSucc() const { return static_cast<nNamedNode*>(nNode::GetSucc()); }
    nNamedNode* GetPred() const { return static_cast<nNamedNode*>(nNode::GetPred()); }

private:
    nString name_;
};
