#include "kernel/nRoot.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <unordered_map>
#include <vector>

#include "kernel/nDataTexts.h"
#include "kernel/nFrameGuard.h"
#include "kernel/nKernelServer.h"
#include "kernel/nObjectCount.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRefBase.h"
#include "kernel/nScriptServer.h"

// The nroot script commands: a row naming a member function (Bind) where the command
// is a plain call of it, a short handler where it is not.
static const nCmdDef<nRoot> rootCmds[] = {
    Bind<&nRoot::GetRefCount>("i_getrefcount_v", "GRCT"),
    {"s_getclass_v", "GCLS", [](nRoot* self, nCmd* c) { c->Out()->SetS(self->GetClass()->GetName()); }},
    {"b_isa_s", "ISA_", [](nRoot* self, nCmd* c) { c->Out()->SetB(self->IsA(c->In()->GetS())); }},
    {"b_isinstanceof_s", "ISIO", [](nRoot* self, nCmd* c) { c->Out()->SetB(self->IsInstanceOf(c->In()->GetS())); }},
    {"s_getcmds_v", "GMCD", [](nRoot* self, nCmd* c) {
         std::string text;
         for (nClass* cls = self->GetClass(); cls; cls = cls->GetSuperClass()) {
             for (nCmdProto* p = cls->GetFirstCmd(); p; p = p->GetNextCmd()) {
                 text += p->GetProtoText();
                 text += ' ';
             }
         }
         c->Out()->SetS(text.c_str());
     }},
    Bind<&nRoot::Save>("b_save_v", "SAVE"),
    Bind<&nRoot::SaveAs>("b_saveas_s", "SVAS"),
    // Data's text copies only into the trees it may release in; the engine's own copies
    // (a visualizer's template, a level's prototypes) go where the engine puts them.
    {"o_clone_s", "CLON",
     [](nRoot* self, nCmd* c) {
         const char* name = c->In()->GetS();
         nKernelServer* ks = nKernelServer::ks;
         const nRoot* into = name && name[0] && ks ? ks->DeepestOnPath(ks->GetCwd(), name) : nullptr;
         c->Out()->SetO(nScriptServer::MayPlace(into, "'clone' of") ? self->Clone(name) : nullptr);
     }},
    Bind<&nRoot::GetParent>("o_getparent_v", "GPRT"),
    Bind<&nRoot::GetHead>("o_gethead_v", "GHED"),
    Bind<&nRoot::GetTail>("o_gettail_v", "GTAL"),
    Bind<&nRoot::GetSucc>("o_getsucc_v", "GSUC"),
    Bind<&nRoot::GetPred>("o_getpred_v", "GPRD"),
    {"v_setname_s", "SNAM", [](nRoot* self, nCmd* c) { self->Rename(c->In()->GetS()); }},
    Bind<&nRoot::GetName>("s_getname_v", "GNAM"),
    {"s_getfullname_v", "GFNM", [](nRoot* self, nCmd* c) { c->Out()->SetS(self->GetFullName().c_str()); }},
    {"s_getrelpath_o", "GRPH", [](nRoot* self, nCmd* c) {
         c->Out()->SetS(self->GetRelPath(c->In()->GetO()).c_str());
     }},
    Bind<&nRoot::Find>("o_find_s", "FIND"),
    Bind<&nRoot::Sort>("v_sort_v", "SORT"),
    Bind<&nRoot::GetInstanceSize>("i_getinstancesize_v", "GISZ"),
    Bind<&nRoot::GetTreeSize>("i_gettreesize_v", "GTSZ"),
};
// Open to data's text on the engine's objects: reads of the tree, which change nothing.
static const char* const rootDataSafe[] = {
    "getrefcount", "getclass", "isa", "isinstanceof", "getcmds", "getparent", "gethead", "gettail",
    "getsucc", "getpred", "getname", "getfullname", "getrelpath", "find", "getinstancesize", "gettreesize",
};
const nClassInfo nRoot::classInfo = nClassInfo::Make<nRoot>("nroot", nullptr, rootCmds, rootDataSafe);

struct nRoot::ChildIndex {
    // Looked up by string_view: no text is made to find a name.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Entry {
        nRoot* first;
        int count;  // children of this name
    };
    std::unordered_map<std::string, Entry, Hash, std::equal_to<>> byName;
};

nRoot::nRoot() : node_(nullptr, this) {}

nRoot::~nRoot() {
    nKernelServer* ks = nKernelServer::ks;
    if (ks) ks->ObjectDying(this);
    // The children go one by one: an index kept in step with them would be wasted work.
    index_.reset();

    // A child held by extra references still dies with its parent.
    while (nRoot* child = GetHead()) {
        while (!child->Release()) {
        }
    }
    while (nNode* link = refList_.GetHead()) static_cast<nRefBase*>(link->GetPtr())->Clear();
    Remove();
    if (dataRun_) nObjectCount::RemoveData(dataBytes_);
}

void nRoot::ChargeToData(uint32_t run, uint32_t bytes) {
    if (dataRun_ || !run) return;
    dataRun_ = run;
    const char* name = GetName();
    dataBytes_ = bytes + uint32_t(name ? std::strlen(name) : 0);
    nObjectCount::AddData(dataBytes_);
}

bool nRoot::ChargeDataTexts(const nCmdProto* proto, uint64_t key, uint64_t bytes) {
    if (!dataTexts_) dataTexts_ = std::make_unique<nDataTexts>();
    return dataTexts_->Charge(this, proto, key, bytes);
}

bool nRoot::Release() {
    if (--refCount_ <= 0) {
        // An object whose frame runs is freed when the frame returns (kernel/nFrameGuard.h).
        if (nFrameGuard::DeferRelease(this)) return true;
        delete this;
        return true;
    }
    return false;
}

bool nRoot::SaveCmds(nPersistServer*) { return true; }

int nRoot::GetInstanceSize() const { return class_ ? class_->GetInstanceSize() : static_cast<int>(sizeof(nRoot)); }

bool nRoot::IsA(const char* className) const {
    if (!className) return false;
    for (nClass* c = class_; c; c = c->GetSuperClass()) {
        if (std::strcmp(c->GetName(), className) == 0) return true;
    }
    return false;
}

bool nRoot::IsInstanceOf(const char* className) const {
    return className && class_ && std::strcmp(class_->GetName(), className) == 0;
}

// An object cannot become a child of itself or of one of its descendants: the tree
// would turn into a cycle that every path walk follows forever.
bool nRoot::CanAdopt(const nRoot* child) const {
    if (!child) return false;
    for (const nRoot* o = this; o; o = o->parent_) {
        if (o == child) {
            n_error("nRoot: '%s' cannot become a child of '%s'\n", child->GetFullName().c_str(),
                    GetFullName().c_str());
            return false;
        }
    }
    return true;
}

void nRoot::AddHead(nRoot* child) {
    if (!CanAdopt(child)) return;
    child->Remove();
    child->parent_ = this;
    children_.AddHead(&child->node_);
    Linked(child, Where::Head);
}

void nRoot::AddTail(nRoot* child) {
    if (!CanAdopt(child)) return;
    child->Remove();
    child->parent_ = this;
    children_.AddTail(&child->node_);
    Linked(child, Where::Tail);
}

void nRoot::Remove() {
    node_.Remove();
    if (parent_) parent_->Unlinked(this);
    parent_ = nullptr;
}

void nRoot::SetName(const char* name) {
    namesVersion_++;
    if (dataRun_) {
        // Data's object pays for its name: a long name is memory as an instance is.
        const char* old = GetName();
        const int64_t delta = int64_t(name ? std::strlen(name) : 0) - int64_t(old ? std::strlen(old) : 0);
        const int64_t floor = -int64_t(dataBytes_);
        nObjectCount::Charge(delta < floor ? floor : delta);
        dataBytes_ = uint32_t(int64_t(dataBytes_) + (delta < floor ? floor : delta));
    }
    nRoot* parent = parent_;
    if (parent && parent->index_) parent->Unlinked(this);
    node_.SetName(name);
    if (parent && parent->index_) parent->Linked(this, Where::Inside);
}

void nRoot::Linked(nRoot* child, Where where) {
    numChildren_++;
    childrenVersion_++;
    namesVersion_++;
    if (!index_) {
        if (numChildren_ >= IndexThreshold) RebuildIndex();
        return;
    }
    std::string_view name = child->node_.GetNameView();
    auto it = index_->byName.find(name);
    if (it == index_->byName.end()) {
        index_->byName.emplace(std::string(name), ChildIndex::Entry{child, 1});
        return;
    }
    it->second.count++;
    if (where == Where::Head) it->second.first = child;
    else if (where == Where::Inside) it->second.first = FirstNamed(name, nullptr);
}

void nRoot::Unlinked(nRoot* child) {
    numChildren_--;
    childrenVersion_++;
    if (!index_) return;
    std::string_view name = child->node_.GetNameView();
    auto it = index_->byName.find(name);
    if (it == index_->byName.end()) return;
    if (--it->second.count == 0) {
        index_->byName.erase(it);
    } else if (it->second.first == child) {
        it->second.first = FirstNamed(name, child);
    }
}

void nRoot::RebuildIndex() {
    if (!index_) index_ = std::make_unique<ChildIndex>();
    index_->byName.clear();
    index_->byName.reserve(size_t(numChildren_));
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        auto [it, added] = index_->byName.try_emplace(std::string(c->node_.GetNameView()), ChildIndex::Entry{c, 0});
        it->second.count++;
    }
}

// Only when children share a name: the first of them in sibling order.
nRoot* nRoot::FirstNamed(std::string_view name, const nRoot* skip) const {
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (c != skip && c->node_.GetNameView() == name) return c;
    }
    return nullptr;
}

// Only a plain name can be found again by path and written to an object file: an
// empty name, "." and ".." and names holding '/' would save a file that does not load
// or that rebuilds another tree.
bool nRoot::Rename(const char* name) {
    if (!name || !name[0] || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
        std::strchr(name, '/')) {
        n_error("%s: '%s' is no object name, not renamed\n", GetFullName().c_str(), name ? name : "");
        return false;
    }
    if (!nScriptServer::MayNameIn(parent_, name)) return false;
    // A new name takes an object off the path the game finds it by: data renames only what
    // it may also release, or what a loader builds in a scratch tree of its own.
    if (!nScriptServer::InScratch(this) && !nScriptServer::MayRelease(this, nullptr, "'setname' of")) {
        return false;
    }
    SetName(name);
    return true;
}

nRoot* nRoot::Find(const char* name) const {
    if (!name) return nullptr;
    if (std::strcmp(name, ".") == 0) return const_cast<nRoot*>(this);
    if (std::strcmp(name, "..") == 0) return parent_;
    return FindChild(name);
}

nRoot* nRoot::FindChild(std::string_view name) const {
    if (index_) {
        auto it = index_->byName.find(name);
        return it == index_->byName.end() ? nullptr : it->second.first;
    }
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) {
        if (c->node_.GetNameView() == name) return c;
    }
    return nullptr;
}

// Copies `text` into `buf`, cut to size - 1 characters and always terminated.
static char* CopyOut(const std::string& text, char* buf, size_t size) {
    if (!buf || size == 0) return buf;
    size_t n = std::min(text.size(), size - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = 0;
    return buf;
}

std::string nRoot::GetFullName() const {
    std::string path;
    GetFullName(path);
    return path;
}

void nRoot::GetFullName(std::string& out) const {
    // Measured first, then filled from the end: each name is preceded by a separator
    // unless its parent is the root "/".
    auto separated = [](const nRoot* o) { return o->parent_ && std::strcmp(o->parent_->node_.GetName(), "/") != 0; };
    size_t len = 0;
    for (const nRoot* o = this; o; o = o->parent_) len += std::strlen(o->node_.GetName()) + (separated(o) ? 1 : 0);
    out.resize(len);
    size_t pos = len;
    for (const nRoot* o = this; o; o = o->parent_) {
        const char* name = o->node_.GetName();
        size_t n = std::strlen(name);
        pos -= n;
        std::memcpy(&out[pos], name, n);
        if (separated(o)) out[--pos] = '/';
    }
}

char* nRoot::GetFullName(char* buf, size_t size) const { return CopyOut(GetFullName(), buf, size); }

std::string nRoot::GetRelPath(const nRoot* target) const {
    if (!target || target == this) return std::string();
    if (target == parent_) return "..";
    if (target->parent_ == this) return target->node_.GetName();

    std::vector<const nRoot*> from, to;
    for (const nRoot* o = this; o; o = o->parent_) from.insert(from.begin(), o);
    for (const nRoot* o = target; o; o = o->parent_) to.insert(to.begin(), o);
    size_t common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common]) common++;
    std::string path;
    for (size_t i = common; i < from.size(); i++) path += "../";
    for (size_t i = common; i < to.size(); i++) {
        path += to[i]->node_.GetName();
        path += '/';
    }
    if (!path.empty()) path.pop_back();
    return path;
}

char* nRoot::GetRelPath(const nRoot* target, char* buf, size_t size) const {
    return CopyOut(GetRelPath(target), buf, size);
}

int nRoot::GetTreeSize() const {
    int size = GetInstanceSize();
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) size += c->GetTreeSize();
    return size;
}

void nRoot::Sort() {
    std::vector<nRoot*> kids;
    for (nRoot* c = GetHead(); c; c = c->GetSucc()) kids.push_back(c);
    // strcmp compares as unsigned bytes.
    std::stable_sort(kids.begin(), kids.end(), [](const nRoot* a, const nRoot* b) {
        return std::strcmp(a->node_.GetName(), b->node_.GetName()) < 0;
    });
    for (nRoot* c : kids) children_.AddTail(&c->node_);
    childrenVersion_++;
    // The first of children that share a name may have changed.
    if (index_) RebuildIndex();
}

bool nRoot::Dispatch(nCmd* cmd) {
    if (!cmd) return false;
    nCmdProto* proto = cmd->GetProto();
    // A command of another class would run its handler on an object of the wrong type.
    if (proto->GetOwner() && !IsA(proto->GetOwner())) {
        n_error("%s: class '%s' has no command '%s'\n", GetFullName().c_str(),
                class_ ? class_->GetName() : "?", proto->GetProtoText());
        return false;
    }
    if (!cmd->CheckInputs()) {
        n_error("%s: arguments do not match '%s', command not run\n",
                             GetFullName().c_str(), proto->GetProtoText());
        cmd->Rewind();
        return false;
    }
    // A handler that throws (most often an allocation it could not make) fails this call,
    // never the program. The handler may have released this object: only its class name
    // is kept for the log.
    const char* className = class_ ? class_->GetName() : "?";
    try {
        DispatchFilled(cmd);
    } catch (const std::exception& e) {
        n_error("nRoot: '%s' on an object of class '%s' failed: %s\n", proto->GetProtoText(), className, e.what());
        cmd->Rewind();
        return false;
    }
    return true;
}

void nRoot::DispatchFilled(nCmd* cmd) {
    nCmdProto* proto = cmd->GetProto();
    cmd->Rewind();
#ifdef N_CMD_CHECKS
    // The handler may release this object: only the class name is kept for the check.
    const char* className = class_ ? class_->GetName() : "?";
    if (!IsA(proto->GetOwner()) && proto->GetOwner()) {
        nKernelServer::FatalError("Command check: '%s' run on an object of class '%s'\n", proto->GetProtoText(), className);
    }
    if (!cmd->CheckInputs()) {
        nKernelServer::FatalError("Command check: '%s' run with inputs that do not match\n", proto->GetProtoText());
    }
    {
        nCmd::Running running(cmd, className);
        proto->Call(this, cmd);
    }
    cmd->CheckAfterCall(className);
#else
    proto->Call(this, cmd);
#endif
    cmd->Rewind();
}

nCmd* nRoot::NewCmd(uint32_t id) {
    nCmdProto* proto = class_ ? class_->FindCmdById(id) : nullptr;
    if (!proto) {
        n_error("%s: class '%s' has no command with id 0x%08x\n", GetFullName().c_str(),
                             class_ ? class_->GetName() : "?", static_cast<unsigned>(id));
        return nullptr;
    }
    return proto->NewCmd();
}

bool nRoot::CallPrepared(uint32_t id, nCmdProto*& proto, nCmd*& cmd, int numGiven) {
    cmd = NewCmd(id);
    if (!cmd) return false;
    proto = cmd->GetProto();
    if (numGiven != proto->GetNumInArgs()) {
        n_error("%s: '%s' takes %d arguments, %d given\n", GetFullName().c_str(),
                             proto->GetProtoText(), proto->GetNumInArgs(), numGiven);
        proto->RelCmd(cmd);
        cmd = nullptr;
        return false;
    }
    return true;
}

bool nRoot::CallFinish(nCmdProto* proto, nCmd* cmd, nArg* outs) {
    bool ok = Dispatch(cmd);
    if (ok && outs) {
        for (int i = 0; i < proto->GetNumOutArgs(); i++) outs[i] = *cmd->Out();
    }
    proto->RelCmd(cmd);
    return ok;
}

nRoot* nRoot::Clone(const char* name) {
    // Data's text copies no server, nothing of the engine's and nothing into it.
    if (nScriptServer::DataRunning()) {
        nKernelServer* ks = nKernelServer::ks;
        const nRoot* into = name && name[0] && ks ? ks->DeepestOnPath(ks->GetCwd(), name) : nullptr;
        if (!nScriptServer::MayMake(class_, nScriptServer::InEngine(this) ? this : into, "'clone' of")) return nullptr;
    }
    nPersistServer* ps = nKernelServer::ks ? nKernelServer::ks->GetPersistServer() : nullptr;
    if (!ps) {
        n_error("nRoot::Clone(): no persistence server, '%s' not cloned\n", GetFullName().c_str());
        return nullptr;
    }
    // A clone started inside a running save or clone gets a walk of its own.
    nPersistServer::OpenState outer = ps->Suspend();
    ps->SetMode(nPersistServer::CloneMode);
    nRoot* copy = SaveAs(name) ? ps->GetCloneObject() : nullptr;
    ps->Resume(outer);
    // Refused (an existing object of another class, a copy into its own subtree):
    // reported, and nothing is left half-built.
    if (!copy) n_error("nRoot::Clone(): BeginObject() failed!\n");
    return copy;
}

bool nRoot::SaveAs(const char* name) {
    nPersistServer* ps = nKernelServer::ks ? nKernelServer::ks->GetPersistServer() : nullptr;
    if (!ps) {
        n_error("nRoot::SaveAs(): no persistence server, '%s' not saved\n", GetFullName().c_str());
        return false;
    }
    if (ps->GetMode() != nPersistServer::SaveMode && ps->GetMode() != nPersistServer::CloneMode) return false;
    // Commands replayed on a copy can run scripts (an auto-run scriptlet) that delete
    // this object or one above it. The extra count keeps this object through a delete
    // of its own, the reference tells when one above took it along; either way the
    // walk stops, fails, and touches nothing freed.
    nRef<nRoot> alive(this);
    AddRef();
    auto gone = [&] { return !alive.IsValid() || alive->GetRefCount() <= 1; };
    bool ok = ps->BeginObject(this, name);
    if (ok) {
        for (int step = 0; step < 2; step++) {
            bool cmdsNow = (step == 0) != ((saveFlags_ & SaveChildrenFirst) != 0);
            ok = (cmdsNow ? SaveCmds(ps) : SaveChildren()) && ok;
            if (gone()) {
                n_error("nRoot::SaveAs(): an object was deleted while it was being saved or cloned as '%s'\n",
                        name ? name : "");
                ok = false;
                break;
            }
        }
        ok = ps->EndObject(ok) && ok;
    }
    // Gives the extra count back; the object dies here when a script released it.
    if (nRoot* self = alive.GetUnsafe()) self->Release();
    return ok;
}

bool nRoot::SaveChildren() {
    if (saveFlags_ & SaveShallow) return true;
    bool ok = true;
    nRef<nRoot> child(GetHead());
    while (nRoot* c = child.GetUnsafe()) {
        ok = c->SaveAs(c->GetName()) && ok;
        // A child that died while it was written ends the walk: its siblings are not
        // known any more.
        if (!child.IsValid()) return false;
        child = child->GetSucc();
    }
    return ok;
}

bool nRoot::Save() {
    const char* name = GetName();
    return name ? SaveAs(name) : false;
}
