#include "logic/nLogicConnector.h"

#include <cstring>

#include "kernel/nCmdVector.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicVisual2.h"

// The rows call the virtual operations, so the elastic connector's own setters run.
static const nCmdDef<nLogicConnector> cmds[] = {
    Bind<&nLogicConnector::SetSource>("v_setsource_s", "SSRC"),
    Bind<&nLogicConnector::GetSource>("s_getsource_v", "GSRC"),
    Bind<&nLogicConnector::SetTarget>("v_settarget_s", "STRG"),
    Bind<&nLogicConnector::GetTarget>("s_gettarget_v", "GTRG"),
    {"v_setoffsetpos_fff", "CSPO", [](nLogicConnector* self, nCmd* c) { self->SetOffsetPos(GetVector3(c)); }},
    {"fff_getoffsetpos_v", "CGPO", [](nLogicConnector* self, nCmd* c) { PutVector3(c, self->GetOffsetPos()); }},
    {"v_setoffsetrot_fff", "CSRO", [](nLogicConnector* self, nCmd* c) { self->SetOffsetRot(GetVector3(c)); }},
    {"fff_getoffsetrot_v", "CGRO", [](nLogicConnector* self, nCmd* c) { PutVector3(c, self->GetOffsetRot()); }},
};
const nClassInfo nLogicConnector::classInfo = nClassInfo::Make<nLogicConnector>("nlogicconnector", "nlogicnode", cmds);

nLogicConnector::nLogicConnector() {
    // Relative paths name the ends from the connector.
    source_.ref.SetCwd(this);
    target_.ref.SetCwd(this);
}

nLogicConnector::~nLogicConnector() = default;

// -- ends ---------------------------------------------------------------------------

void nLogicConnector::SetEnd(End& end, const char* path) {
    end.ref.SetPath(path && std::strcmp(path, "none") != 0 ? path : nullptr);
    end.logged = false;
    end.origin = nScriptServer::CurrentOrigin();
}

nLogicVisual2* nLogicConnector::Resolve(End& end, const char* what) {
    if (!end.ref.GetPath()) return nullptr;
    nRoot* obj = end.ref.Resolve();
    if (!obj) return nullptr;
    if (end.origin == nScriptServer::Origin::Data && nScriptServer::InEngine(obj)) {
        if (!end.logged)
            n_error("%s: refused to script text that data brought: %s '%s', in the engine\n",
                    GetFullName().c_str(), what, end.ref.GetPath());
        end.logged = true;
        return nullptr;
    }
    if (obj->IsA(nLogicVisual2::classInfo.name)) {
        end.logged = false;
        return static_cast<nLogicVisual2*>(obj);
    }
    if (!end.logged) {
        n_error("%s: %s '%s' is a '%s', not an 'nlogicvisual2': nothing placed\n", GetFullName().c_str(), what,
                end.ref.GetPath(), obj->GetClass()->GetName());
        end.logged = true;
    }
    return nullptr;
}

bool nLogicConnector::ResolveEnds(nLogicVisual2*& source, nLogicVisual2*& target) {
    source = Resolve(source_, "source");
    target = Resolve(target_, "target");
    return source && target;
}

void nLogicConnector::SetSource(const char* path) {
    SetEnd(source_, path);
}

std::string nLogicConnector::GetSource() {
    nLogicVisual2* v = Resolve(source_, "source");
    return v ? v->GetFullName() : std::string("none");
}

void nLogicConnector::SetTarget(const char* path) {
    SetEnd(target_, path);
}

std::string nLogicConnector::GetTarget() {
    nLogicVisual2* v = Resolve(target_, "target");
    return v ? v->GetFullName() : std::string("none");
}

// -- offset -------------------------------------------------------------------------

void nLogicConnector::SetOffsetPos(const vector3& p) {
    offsetPos_ = p;
    offsetDirty_ = true;
}

void nLogicConnector::SetOffsetRot(const vector3& r) {
    offsetRot_ = r;
    offsetDirty_ = true;
}

const matrix44& nLogicConnector::GetOffsetMatrix() {
    if (offsetDirty_) {
        offset_.Ident();
        offset_.RotateX(offsetRot_.x);
        offset_.RotateY(offsetRot_.y);
        offset_.RotateZ(offsetRot_.z);
        offset_.Translate(offsetPos_);
        offsetDirty_ = false;
    }
    return offset_;
}

// -- per frame ----------------------------------------------------------------------

void nLogicConnector::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    nLogicVisual2 *source, *target;
    // The offset is expressed in the source's frame: offset first, then the source.
    if (ResolveEnds(source, target)) target->SetMatrix(GetOffsetMatrix() * source->GetMatrix());
    nLogicNode::Traverse(graph, parentMatrix);
}

bool nLogicConnector::SaveCmds(nPersistServer* ps) {
    if (!nLogicNode::SaveCmds(ps)) return false;
    bool ok = true;
    const vector3& p = offsetPos_;
    const vector3& r = offsetRot_;
    if (p.x != 0.0f || p.y != 0.0f || p.z != 0.0f) ok = ps->Put(this, nId("CSPO"), p.x, p.y, p.z);
    if (ok && (r.x != 0.0f || r.y != 0.0f || r.z != 0.0f)) ok = ps->Put(this, nId("CSRO"), r.x, r.y, r.z);
    // The target before the source, the order saved files have.
    if (ok) {
        // A copy made by clone keeps each end's origin.
        nScriptServer::OriginScope origin(target_.origin);
        if (nLogicVisual2* t = Resolve(target_, "target")) ok = ps->Put(this, nId("STRG"), t->GetFullName().c_str());
    }
    if (ok) {
        nScriptServer::OriginScope origin(source_.origin);
        if (nLogicVisual2* s = Resolve(source_, "source")) ok = ps->Put(this, nId("SSRC"), s->GetFullName().c_str());
    }
    return ok;
}
