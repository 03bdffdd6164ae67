#include "logic/nLogicVisual2.h"

#include <cmath>
#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModVisualizerState.h"
#include "logic/nVariableContext.h"
#include "scene/nChannelServer.h"
#include "scene/nVariableServer.h"
#include "kernel/nCmdVector.h"

static const nCmdDef<nLogicVisual2> cmds[] = {
    Bind<&nLogicVisual2::SetVisible>("v_setvisible_b", "VSVI"),
    Bind<&nLogicVisual2::GetVisible>("b_getvisible_v", "VGVI"),
    BindVector3<&nLogicVisual2::SetPosition>("v_txyz_fff", "VSTR"),
    {"fff_gett_v", "VGTR", [](nLogicVisual2* self, nCmd* c) { PutVector3(c, self->GetPosition()); }},
    {"v_qxyzw_ffff", "VSQA",
     [](nLogicVisual2* self, nCmd* c) {
         vector3 v = GetVector3(c);
         self->SetQuaternion(quaternion(v.x, v.y, v.z, c->In()->GetF()));
     }},
    Bind<&nLogicVisual2::SetRotation>("v_rxyz_fff", "VSRO"),
    {"ffff_getq_v", "VGQA",
     [](nLogicVisual2* self, nCmd* c) {
         const quaternion& q = self->GetQuaternion();
         c->Out()->SetF(q.x);
         c->Out()->SetF(q.y);
         c->Out()->SetF(q.z);
         c->Out()->SetF(q.w);
     }},
    BindVector3<&nLogicVisual2::SetScale>("v_sxyz_fff", "VSSI"),
    {"fff_gets_v", "VGSI", [](nLogicVisual2* self, nCmd* c) { PutVector3(c, self->GetScale()); }},
    Bind<&nLogicVisual2::SetLookAt>("v_lookat_s", "VSLA"),
    Bind<&nLogicVisual2::GetLookAt>("s_getlookat_v", "VGLA"),
    Bind<&nLogicVisual2::SetClipDistance>("v_setclipdist_f", "VSCD"),
    Bind<&nLogicVisual2::GetClipDistance>("f_getclipdist_v", "VGCD"),
    {"fff_getaxis_s", "VGAX", [](nLogicVisual2* self, nCmd* c) { PutVector3(c, self->GetAxis(c->In()->GetS())); }},
    Bind<&nLogicVisual2::AddVisualizer>("v_addvisualizer_ss", "VADV"),
    Bind<&nLogicVisual2::RemoveVisualizer>("v_removevisualizer_ss", "VRDV"),
};
const nClassInfo nLogicVisual2::classInfo = nClassInfo::Make<nLogicVisual2>("nlogicvisual2", "nlogicnode", cmds);

nLogicVisual2::nLogicVisual2() {
    lookAtRef_.SetCwd(this);
    animatorState_ = static_cast<nModAnimatorState*>(nLogicNode::CreateModuleState(nModuleState::Animation, "default"));
    visualizerState_ = static_cast<nModVisualizerState*>(AddModuleState(new nModVisualizerState("default", this)));
}

nLogicVisual2::~nLogicVisual2() = default;

quaternion nLogicVisual2::EulerQuaternion(float x, float y, float z) {
    quaternion qx(std::sin(x * 0.5f), 0.0f, 0.0f, std::cos(x * 0.5f));
    quaternion qy(0.0f, std::sin(y * 0.5f), 0.0f, std::cos(y * 0.5f));
    quaternion qz(0.0f, 0.0f, std::sin(z * 0.5f), std::cos(z * 0.5f));
    return qx * qy * qz;
}

// -- transform ----------------------------------------------------------------------

void nLogicVisual2::SetPosition(const vector3& p) {
    position_ = p;
    dirty_ = true;
}

void nLogicVisual2::SetQuaternion(const quaternion& q) {
    rotation_ = q;
    dirty_ = true;
}

void nLogicVisual2::SetRotation(float x, float y, float z) {
    SetQuaternion(EulerQuaternion(x, y, z));
}

void nLogicVisual2::SetScale(const vector3& s) {
    scale_ = s;
    dirty_ = true;
}

const matrix44& nLogicVisual2::GetMatrix() {
    if (dirty_) {
        matrix_.Ident();
        matrix_.Scale(scale_);
        matrix44 r;
        r.SetQuaternion(rotation_);
        matrix_.MultSimple(r);
        matrix_.Translate(position_);
        dirty_ = false;
    }
    return matrix_;
}

void nLogicVisual2::SetMatrix(const matrix44& m) {
    matrix_ = m;
    position_ = m.Translation();
    // The rotation comes from the rows without their scale, so that the parts rebuild
    // the same matrix.
    matrix44 r = m;
    float len[3];
    for (int i = 0; i < 3; i++) {
        len[i] = std::sqrt(m.m[i][0] * m.m[i][0] + m.m[i][1] * m.m[i][1] + m.m[i][2] * m.m[i][2]);
        if (len[i] > 0.0f) {
            for (int j = 0; j < 3; j++) r.m[i][j] /= len[i];
        }
    }
    scale_ = vector3(len[0], len[1], len[2]);
    rotation_ = r.GetQuaternion();
    dirty_ = false;
}

vector3 nLogicVisual2::GetAxis(const char* which) {
    int row = !which ? -1 : std::strcmp(which, "x") == 0 ? 0 : std::strcmp(which, "y") == 0 ? 1
                          : std::strcmp(which, "z") == 0 ? 2 : -1;
    if (row < 0) {
        n_error("%s: getaxis: unknown axis '%s' (x, y or z)\n", GetFullName().c_str(), which ? which : "");
        return vector3();
    }
    const matrix44& m = GetMatrix();
    return vector3(m.m[row][0], m.m[row][1], m.m[row][2]);
}

float nLogicVisual2::GetFrameTime() {
    nChannelServer* channels = static_cast<nChannelServer*>(nKernelServer::ks->Lookup("/sys/servers/channel"));
    if (!channels) nKernelServer::FatalError("Aborting.");
    int idx = channels->GenChannel("frametime");
    return idx >= 0 ? channels->GetChannel1f(idx) : 0.0f;
}

void nLogicVisual2::SetLookAt(const char* path) {
    lookAtRef_.SetPath(path && path[0] && std::strcmp(path, "none") != 0 ? path : nullptr);
}

std::string nLogicVisual2::GetLookAt() {
    nRoot* target = lookAtRef_.GetPath() ? lookAtRef_.Resolve() : nullptr;
    return target ? target->GetFullName() : std::string("none");
}

void nLogicVisual2::SetClipDistance(float d) {
    visualizerState_->clipDistance = d;
}

float nLogicVisual2::GetClipDistance() const {
    return visualizerState_->clipDistance;
}

// -- module states ------------------------------------------------------------------

nModuleState* nLogicVisual2::CreateModuleState(int stateType, const char* name) {
    if (stateType != nModuleState::Visualizer) return nLogicNode::CreateModuleState(stateType, name);
    if (nModuleState* st = FindModuleState(stateType, name)) return st;
    return AddModuleState(new nModVisualizerState(name, this));
}

void nLogicVisual2::AddModule(int stateType, const char* stateName, const char* moduleName) {
    nModuleState* st = stateType == nModuleState::Visualizer ? FindModuleState(stateType, stateName) : nullptr;
    int before = st ? st->GetNumModules() : 0;
    nLogicNode::AddModule(stateType, stateName, moduleName);
    // Counted by what the list gained, so that a path listed already counts once.
    if (st) visualizerCount_ += st->GetNumModules() - before;
}

void nLogicVisual2::RemoveModule(int stateType, const char* stateName, const char* moduleName) {
    nModuleState* st = stateType == nModuleState::Visualizer ? FindModuleState(stateType, stateName) : nullptr;
    int before = st ? st->GetNumModules() : 0;
    nLogicNode::RemoveModule(stateType, stateName, moduleName);
    if (st) visualizerCount_ -= before - st->GetNumModules();
}

// -- per frame ----------------------------------------------------------------------

void nLogicVisual2::Setup() {
    nRef<nRoot> alive(this);
    visualizerState_->AttachModules();
    if (alive.IsValid()) nLogicNode::Setup();
}

bool nLogicVisual2::Trigger(nLogicGraph* graph) {
    float t = GetTime();
    const float before = animatorState_->GetTime();
    animatorState_->SetTime(t);
    visualizerState_->SetTime(t);
    float length = animatorState_->GetLength();
    // The frame that steps past the length animates once more, at the length: a long
    // frame ends the animators where short ones do.
    const bool last = length != 0.0f && t > length && before < length;
    if (last) animatorState_->SetTime(length);
    if (length == 0.0f || t <= length || last) {
        // An animator's script may release this node.
        nRef<nRoot> alive(this);
        animatorState_->Animate();
        if (!alive.IsValid()) return true;
        if (last && animatorState_->GetTime() == length) animatorState_->SetTime(t);
    }
    if (lookAtRef_.GetPath()) {
        nRoot* target = lookAtRef_.Resolve();
        if (target && target->IsA(classInfo.name)) {
            auto* t2 = static_cast<nLogicVisual2*>(target);
            const matrix44& tm = t2->GetMatrix();
            vector3 point = tm.Translation();
            vector3 up(tm.m[1][0], tm.m[1][1], tm.m[1][2]);
            matrix44 m = GetMatrix();
            m.LookAt(point, up);
            SetMatrix(m);
        }
    }
    return nLogicNode::Trigger(graph);
}

bool nLogicVisual2::PassesDistanceTest(nLogicGraph* graph) {
    nModVisualizerState* st = visualizerState_;
    const matrix44& view = graph->GetRootMatrix();
    vector3 p = view * world_.Translation();
    float distance = p.Len();
    st->distance = distance;
    nGfxServer* gfx = gfxRef_.Get();
    float farDist = gfx->GetFarFadeDistance();
    if (st->clipDistance > 0.0f && st->clipDistance < farDist) farDist = st->clipDistance;
    float nearDist = gfx->GetNearFadeDistance();
    float lod;
    if (distance <= nearDist) lod = 1.0f;
    else if (distance < farDist) lod = 1.0f - (distance - nearDist) / (farDist - nearDist);
    else lod = 0.0f;
    st->lod = lod;
    return st->clipDistance == 0.0f || lod > 0.0f;
}

void nLogicVisual2::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    world_ = GetMatrix() * parentMatrix;
    if (!PassesDistanceTest(graph)) return;
    UpdateModules(world_);
    if (!graph->PushRecord(this, world_)) return;
    nLogicNode::Traverse(graph, world_);
    graph->PopRecord();
}

nVariable* nLogicVisual2::DeclareVariable(nModVisualizerState* state, const char* name, int& handle) {
    nVariableServer* vs = variableRef_.Get();
    handle = -1;
    if (!name || !*name) {
        n_error("%s: a render variable needs a name\n", GetFullName().c_str());
        return nullptr;
    }
    handle = vs->GetVariableHandleByName(name);
    if (handle == nVariableServer::NoHandle) return nullptr;
    return &(state ? state : visualizerState_)->MakeVariables()->Add(handle);
}

nVariable* nLogicVisual2::FindVariable(nModVisualizerState* state, int handle) const {
    nVariableContext* vars = (state ? state : visualizerState_)->GetVariables();
    return vars && handle >= 0 ? vars->Find(handle) : nullptr;
}

int nLogicVisual2::AddVariable(nModVisualizerState* state, const char* name, float value) {
    int handle;
    if (nVariable* v = DeclareVariable(state, name, handle)) v->SetF(value);
    return handle;
}

int nLogicVisual2::AddVariable(nModVisualizerState* state, const char* name, const char* text) {
    int handle;
    if (nVariable* v = DeclareVariable(state, name, handle)) v->SetS(text);
    return handle;
}

bool nLogicVisual2::SetVariable(nModVisualizerState* state, int handle, float value) {
    nVariable* v = FindVariable(state, handle);
    if (v) v->SetF(value);
    return v != nullptr;
}

bool nLogicVisual2::SetVariable(nModVisualizerState* state, int handle, const char* text) {
    nVariable* v = FindVariable(state, handle);
    if (v) v->SetS(text);
    return v != nullptr;
}

void nLogicVisual2::DeclareVariables() {
    if (variablesDeclared_) return;
    UpdateVariables();
    variablesDeclared_ = true;
}

void nLogicVisual2::DropVariables() {
    visualizerState_->DropVariables();
    variablesDeclared_ = false;
}

void nLogicVisual2::UpdateVariables() {
    timeVar_ = AddVariable(nullptr, "time", 0.0f);
    lodVar_ = AddVariable(nullptr, "lod", 0.0f);
    distVar_ = AddVariable(nullptr, "dist", 0.0f);
}

void nLogicVisual2::SetNodeVariables() {
    SetVariable(nullptr, timeVar_, visualizerState_->GetTime());
    SetVariable(nullptr, lodVar_, visualizerState_->lod);
    SetVariable(nullptr, distVar_, visualizerState_->distance);
}

void nLogicVisual2::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    DeclareVariables();
    SetNodeVariables();
    visualizerState_->Visualize(world, sceneGraph);
}

void nLogicVisual2::RenderModules() {
    visualizerState_->RenderAll();
}

bool nLogicVisual2::SaveCmds(nPersistServer* ps) {
    if (!nLogicNode::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("VSVI"), visible_);
    const vector3& p = position_;
    const quaternion& q = rotation_;
    const vector3& s = scale_;
    if (ok && (p.x != 0.0f || p.y != 0.0f || p.z != 0.0f)) ok = ps->Put(this, nId("VSTR"), p.x, p.y, p.z);
    if (ok && (q.x != 0.0f || q.y != 0.0f || q.z != 0.0f || q.w != 1.0f)) {
        ok = ps->Put(this, nId("VSQA"), q.x, q.y, q.z, q.w);
    }
    if (ok && (s.x != 1.0f || s.y != 1.0f || s.z != 1.0f)) ok = ps->Put(this, nId("VSSI"), s.x, s.y, s.z);
    if (ok && visualizerState_->clipDistance > 0.0f) ok = ps->Put(this, nId("VSCD"), visualizerState_->clipDistance);
    if (ok && lookAtRef_.GetPath()) {
        if (nRoot* target = lookAtRef_.Resolve()) ok = ps->Put(this, nId("VSLA"), target->GetFullName().c_str());
    }
    return ok;
}
