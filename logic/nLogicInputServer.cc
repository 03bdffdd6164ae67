#include "logic/nLogicInputServer.h"

#include <string>

#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicInput.h"

// A focus is the person's: data's text would take the person's keys with it.
static bool DataMaySetFocus(const char* group, bool on) {
    if (!nScriptServer::DataRunning()) return true;
    return nScriptServer::PersonOnly((std::string("the focus of the group '") + (group ? group : "") + "' set " +
                                      (on ? "on" : "off")).c_str());
}

static const nCmdDef<nLogicInputServer> cmds[] = {
    {"v_setgroupfocus_sb", "ISGF",
     [](nLogicInputServer* self, nCmd* c) {
         const char* group = c->In()->GetS();
         const bool on = c->In()->GetB();
         if (DataMaySetFocus(group, on)) self->SetGroupFocus(group, on);
     }},
    Bind<&nLogicInputServer::GetGroupFocus>("b_getgroupfocus_s", "IGGF"),
};
// Open to data's text: the focus read.
static const char* const dataSafe[] = {"getgroupfocus"};
const nClassInfo nLogicInputServer::classInfo =
    nClassInfo::Make<nLogicInputServer>("nlogicinputserver", "nroot", cmds, dataSafe);

nLogicInputServer::~nLogicInputServer() {
    while (nHashNode* n = groups_.RemHead()) {
        auto* g = static_cast<nLogicInputGroup*>(n);
        for (nLogicInput* m : g->members) {
            m->focus_ = false;
            m->group_ = nullptr;
            m->server_ = nullptr;
        }
        delete g;
    }
}

nLogicInputGroup* nLogicInputServer::FindGroup(const char* name) const {
    return name ? static_cast<nLogicInputGroup*>(groups_.Find(name)) : nullptr;
}

int nLogicInputServer::GetNumGroups() const {
    int n = 0;
    for (nHashNode* g = groups_.GetHead(); g; g = g->GetSucc()) n++;
    return n;
}

nLogicInputGroup* nLogicInputServer::Join(nLogicInput* node, const char* name) {
    if (node->group_) Leave(node);
    nLogicInputGroup* g = FindGroup(name);
    if (!g) {
        g = new nLogicInputGroup(name);
        groups_.AddTail(g);
    }
    g->members.Append(node);
    node->group_ = g;
    node->server_ = this;
    return g;
}

void nLogicInputServer::Leave(nLogicInput* node) {
    nLogicInputGroup* g = node->group_;
    if (!g) return;
    for (int i = 0; i < g->members.Size(); i++) {
        if (g->members[i] == node) {
            g->members.Erase(i);
            break;
        }
    }
    if (g->focused == node) g->focused = nullptr;
    node->focus_ = false;
    node->group_ = nullptr;
    node->server_ = nullptr;
    if (g->members.Size() == 0) delete g;
}

void nLogicInputServer::SetFocus(nLogicInput* node, bool on) {
    nLogicInputGroup* g = node->group_;
    if (!g) return;
    if (g->focused) g->focused->focus_ = false;
    g->focused = on ? node : nullptr;
    if (on) node->focus_ = true;
}

bool nLogicInputServer::SetGroupFocus(const char* group, bool on) {
    nLogicInputGroup* g = FindGroup(group);
    if (!g) {
        n_error("nLogicInputServer: no focus group '%s'\n", group ? group : "");
        return false;
    }
    if (g->focused) g->focused->focus_ = on;
    return true;
}

bool nLogicInputServer::GetGroupFocus(const char* group) const {
    nLogicInputGroup* g = FindGroup(group);
    if (!g) {
        n_error("nLogicInputServer: no focus group '%s'\n", group ? group : "");
        return false;
    }
    return g->focused && g->focused->focus_;
}

nInputServer* nLogicInputServer::GetInputServer() {
    return inputRef_.Get();
}
