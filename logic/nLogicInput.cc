#include "logic/nLogicInput.h"

#include "input/nInputServer.h"
#include "input/nInputState.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicInputServer.h"

static const nCmdDef<nLogicInput> cmds[] = {
    Bind<&nLogicInput::AddInput>("v_addinput_ss", "LIAI"),
    Bind<&nLogicInput::GetInput>("s_getinput_s", "LIGI"),
    Bind<&nLogicInput::RemoveInput>("v_removeinput_s", "LIRI"),
    Bind<&nLogicInput::SetFocus>("v_setfocus_b", "LISF"),
    Bind<&nLogicInput::GetFocus>("b_getfocus_v", "LIGF"),
    Bind<&nLogicInput::SetGroup>("v_setgroup_s", "LISG"),
    Bind<&nLogicInput::GetGroup>("s_getgroup_v", "LIGG"),
    Bind<&nLogicInput::SetAnswers>("v_setanswers_b", "LISA"),
    Bind<&nLogicInput::GetAnswers>("b_getanswers_v", "LIGA"),
    {"ii_getmousecoord_v", "LIGM",
     [](nLogicInput* self, nCmd* c) {
         c->Out()->SetI(self->GetMouseX());
         c->Out()->SetI(self->GetMouseY());
     }},
};
const nClassInfo nLogicInput::classInfo = nClassInfo::Make<nLogicInput>("nlogicinput", "nlogicnode", cmds);

nLogicInput::nLogicInput() {
    Server();
}

nLogicInput::~nLogicInput() {
    if (server_) server_->Leave(this);
    for (int i = 0; i < walk_.Size(); i++) walk_[i] = nullptr;
    while (nHashNode* e = entries_.RemHead()) delete static_cast<nLogicInputEntry*>(e);
}

nLogicInputServer* nLogicInput::Server() {
    if (server_) return server_;
    nLogicInputServer* s = serverRef_.Resolve();
    if (s) s->Join(this, groupName_.c_str());
    return s;
}

void nLogicInput::Initialize() {
    nLogicNode::Initialize();
    nRoot* parent = GetParent();
    GetInputLink().Remove();
    if (!IsLogicNode(parent)) {
        n_error("nLogicInput: '%s' has no logic node as parent; its inputs are never read\n",
                GetFullName().c_str());
        return;
    }
    // The list accessor is protected in the base: reach the parent's through our own class.
    nList& list = (static_cast<nLogicNode*>(parent)->*&nLogicInput::GetInputList)();
    list.AddTail(&GetInputLink());
}

bool nLogicInput::SaveCmds(nPersistServer* ps) {
    if (!nLogicNode::SaveCmds(ps)) return false;
    // The group first: joining another group drops the focus.
    if (groupName_ != "default" && !ps->Put(this, nId("LISG"), groupName_.c_str())) return false;
    if (focus_ && !ps->Put(this, nId("LISF"), true)) return false;
    for (nHashNode* e = entries_.GetHead(); e; e = e->GetSucc()) {
        auto* entry = static_cast<nLogicInputEntry*>(e);
        // A clone's binding keeps the origin of the original's.
        nScriptServer::OriginScope origin(entry->origin);
        if (!ps->Put(this, nId("LIAI"), e->GetName(), entry->line.c_str())) return false;
    }
    return true;
}

// -- entries ---------------------------------------------------------------------

void nLogicInput::AddInput(const char* name, const char* line) {
    if (!name || !name[0]) {
        n_error("nLogicInput: '%s': an input needs a name\n", GetFullName().c_str());
        return;
    }
    if (entries_.Find(name)) return;
    entries_.AddTail(new nLogicInputEntry(name, line));
}

std::string nLogicInput::GetInput(const char* name) const {
    auto* e = name ? static_cast<nLogicInputEntry*>(entries_.Find(name)) : nullptr;
    return e ? e->line : std::string();
}

void nLogicInput::RemoveInput(const char* name) {
    auto* e = name ? static_cast<nLogicInputEntry*>(entries_.Find(name)) : nullptr;
    if (!e) return;
    for (int i = 0; i < walk_.Size(); i++)
        if (walk_[i] == e) walk_[i] = nullptr;
    delete e;
}

int nLogicInput::GetNumInputs() const {
    int n = 0;
    for (nHashNode* e = entries_.GetHead(); e; e = e->GetSucc()) n++;
    return n;
}

// -- focus -------------------------------------------------------------------------

void nLogicInput::SetFocus(bool on) {
    nLogicInputServer* s = Server();
    if (!s) {
        n_error("nLogicInput: no logic input server; the focus of '%s' is unchanged\n", GetFullName().c_str());
        return;
    }
    s->SetFocus(this, on);
}

void nLogicInput::SetAnswers(bool on) {
    if (!nScriptServer::PersonOnly("whether an input node's keys answer what shows")) return;
    answers_ = on;
}

void nLogicInput::SetGroup(const char* name) {
    if (!name || !name[0]) {
        n_error("nLogicInput: '%s': a focus group needs a name\n", GetFullName().c_str());
        return;
    }
    nLogicInputServer* s = Server();
    if (!s) {
        n_error("nLogicInput: no logic input server; the group of '%s' is unchanged\n", GetFullName().c_str());
        return;
    }
    s->Leave(this);
    groupName_ = name;
    s->Join(this, groupName_.c_str());
}

// -- per frame -----------------------------------------------------------------------

bool nLogicInput::IsActive(nInputServer* input, const char* name) const {
    nInputState* state = input->FindState(name);
    return state && state->value > 0.0f;
}

void nLogicInput::HandleInput() {
    nLogicInputServer* s = serverRef_.Get();
    if (!server_) s->Join(this, groupName_.c_str());
    nInputServer* input = s->GetInputServer();
    // A button's event carries the pointer's place too: a press that comes in the frame of
    // the move (or with none before it) counts where it came.
    bool pressed = false;
    for (nInputEvent* ev = input->FirstEvent(); ev; ev = nInputServer::NextEvent(ev)) {
        if (ev->deviceId != N_INPUT_DEV_MOUSE) continue;
        const bool press = ev->type == N_INPUT_BUTTON_DOWN;
        if (ev->type == N_INPUT_MOUSE_MOVE || press || ev->type == N_INPUT_BUTTON_UP) {
            mouseX_ = ev->x;
            mouseY_ = ev->y;
        }
        if (press) {
            pressX_ = ev->x;
            pressY_ = ev->y;
            pressed = true;
        }
    }
    if (!pressed) {
        pressX_ = mouseX_;
        pressY_ = mouseY_;
    }
    if (!focus_ || !entries_.GetHead() || walking_) return;

    walk_.Clear();
    for (nHashNode* e = entries_.GetHead(); e; e = e->GetSucc()) walk_.Append(static_cast<nLogicInputEntry*>(e));
    nScriptServer* script = scriptLineRef_.Get();
    nKernelServer* ks = nKernelServer::ks;
    nRef<nRoot> self(this);
    walking_ = true;
    ks->PushCwd(this);
    for (int i = 0;; i++) {
        if (i >= walk_.Size()) break;
        nLogicInputEntry* e = walk_[i];
        if (!e || !IsActive(input, e->GetName())) continue;
        // The line may remove its own entry while it runs.
        std::string line = e->line;
        const char* result = nullptr;
        // A key that the node of what shows binds, in a group that has the focus: the
        // person's answer to it (the menu's keys hand it their entry). The diver's keys
        // answer no menu.
        if (answers_ && e->origin == nScriptServer::Origin::Person) nScriptServer::PersonInput();
        if (!script->RunStored(line.c_str(), e->origin, result))
            n_error("nLogicInput: the line '%s' failed: %s\n", line.c_str(), result ? result : "");
        if (!self.IsValid()) break;
    }
    ks->PopCwd();
    if (self.IsValid()) {
        walking_ = false;
        walk_.Clear();
    }
}
