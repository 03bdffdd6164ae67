#include "kernel/nClass.h"

#include <cstring>
#include <string_view>

#include "kernel/nKernelServer.h"
#include "kernel/nObjectCount.h"
#include "kernel/nRoot.h"

nClass::nClass(const char* name, nKernelServer* kernel, nRoot* (*newObject)())
    : nHashNode(name), kernel_(kernel), newObject_(newObject) {}

nClass::~nClass() {
    if (superClass_) superClass_->RemRef();
    if (cmdList_) {
        while (nHashNode* n = cmdList_->RemHead()) delete static_cast<nCmdProto*>(n);
        delete cmdList_;
    }
    delete cmdIdArray_;
}

bool nClass::IsA(const nClass* other) const {
    for (const nClass* c = this; c; c = c->superClass_) {
        if (c == other) return true;
    }
    return false;
}

nRoot* nClass::NewObject() {
    if (!newObject_) return nullptr;
    nRoot* obj = newObject_();
    if (obj) obj->SetClass(this);
    nObjectCount::Add();
    // Made while a run of data's text goes on: charged to data while it lives.
    if (obj && nObjectCount::DataRun()) {
        obj->ChargeToData(nObjectCount::DataRun(), uint32_t(instanceSize_) + uint32_t(nObjectCount::ObjectOverhead));
    }
    return obj;
}

void nClass::BeginCmds() {
    if (cmdList_) return;
    // 16 buckets for every level of the class chain.
    int depth = 0;
    for (nClass* c = this; c; c = c->superClass_) depth++;
    cmdList_ = new nHashList(16 * depth);
}

void nClass::AddCmd(const char* protoText, uint32_t id, nCmdHandler handler) {
    AddProto(new nCmdProto(protoText, id, handler));
}

void nClass::AddProto(nCmdProto* proto) {
    if (!proto->IsValid()) {
        // The text is reported before anything is freed: the proto owns it.
        nKernelServer::FatalError("nClass::AddCmd(): malformed prototype '%s' in class '%s'\n",
                                  proto->GetProtoText(), GetName());
    }
    if (!proto->HasHandler()) {
        nKernelServer::FatalError("nClass::AddCmd(): command '%s' of class '%s' has no handler\n",
                                  proto->GetProtoText(), GetName());
    }
    // Scripts call commands of the current object by their bare name, but only names
    // that are no global of the interpreter reach the command.
    static const char* const luaGlobals[] = {
        "assert", "collectgarbage", "dofile", "error", "getmetatable", "ipairs", "next", "pairs",
        "pcall", "print", "rawequal", "rawget", "rawlen", "rawset", "require", "select",
        "setmetatable", "tonumber", "tostring", "type", "warn", "xpcall", "io", "math", "string",
        "_G", "_VERSION",
    };
    for (const char* g : luaGlobals) {
        if (std::strcmp(proto->GetName(), g) == 0) {
            n_printf("nClass::AddCmd(): command '%s' of class '%s' has the name of a Lua global; "
                     "scripts reach it only through an object (obj.%s())\n",
                     proto->GetProtoText(), GetName(), g);
        }
    }
    BeginCmds();
    proto->SetOwner(this);
    cmdList_->AddTail(proto);
}

void nClass::EndCmds() {
    int count = 0;
    for (nClass* c = this; c; c = c->superClass_) {
        for (nCmdProto* p = c->GetFirstCmd(); p; p = p->GetNextCmd()) count++;
    }
    delete cmdIdArray_;
    cmdIdArray_ = new nKeyArray<nCmdProto*>(count > 0 ? count : 1, 16);
    for (nClass* c = this; c; c = c->superClass_) {
        for (nCmdProto* p = c->GetFirstCmd(); p; p = p->GetNextCmd()) cmdIdArray_->Add(p->GetId(), p);
    }
    for (int i = 1; i < cmdIdArray_->Size(); i++) {
        if (cmdIdArray_->GetKeyAt(i - 1) == cmdIdArray_->GetKeyAt(i)) {
            nKernelServer::FatalError(
                "Command id collission in class '%s'\ncmd '%s' and cmd '%s' both have id '0x%lx'\n",
                GetName(), cmdIdArray_->GetElementAt(i - 1)->GetName(),
                cmdIdArray_->GetElementAt(i)->GetName(),
                static_cast<unsigned long>(cmdIdArray_->GetKeyAt(i)));
        }
    }
}

bool nClass::IsServerKind() const {
    for (const nClass* c = this; c; c = c->superClass_) {
        std::string_view name = c->GetName();
        for (std::string_view end : {"server", "server2", "observer"}) {
            if (name.size() >= end.size() && name.substr(name.size() - end.size()) == end) return true;
        }
    }
    return false;
}

nCmdProto* nClass::FindCmdByName(const char* name) const {
    if (!name) return nullptr;
    for (const nClass* c = this; c; c = c->superClass_) {
        if (c->cmdList_) {
            if (nHashNode* n = c->cmdList_->Find(name)) return static_cast<nCmdProto*>(n);
        }
    }
    return nullptr;
}

nCmdProto* nClass::FindCmdById(uint32_t id) const {
    for (const nClass* c = this; c; c = c->superClass_) {
        if (c->cmdIdArray_) {
            auto* pair = c->cmdIdArray_->Find(id);
            return pair ? pair->value : nullptr;
        }
    }
    return nullptr;
}

nCmdProto* nClass::GetFirstCmd() const {
    return cmdList_ ? static_cast<nCmdProto*>(cmdList_->GetHead()) : nullptr;
}
