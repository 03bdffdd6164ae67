#include "anim/nCharacterNode.h"

#include <cstdio>
#include <cstring>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimServer.h"
#include "anim/nCharacterInstance.h"
#include "anim/nCharacterServer.h"
#include "gfx/nGfxServer.h"
#include "gfx/nRenderState.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nMeshNode.h"
#include "scene/nSceneGraph2.h"
#include "scene/nShadowServer.h"

namespace {

const char* const CharServerPath = "/sys/servers/character";

vector3 InVec(nCmd* c) {
    float x = c->In()->GetF(), y = c->In()->GetF(), z = c->In()->GetF();
    return vector3(x, y, z);
}

quaternion InQuat(nCmd* c) {
    float x = c->In()->GetF(), y = c->In()->GetF(), z = c->In()->GetF(), w = c->In()->GetF();
    return quaternion(x, y, z, w);
}

}  // namespace

const nCmdDef<nCharacterNode> nCharacterNode::cmds[] = {
    Bind<&nCharacterNode::SetReadOnly>("v_setreadonly_b", "SRDO"),
    Bind<&nCharacterNode::GetReadOnly>("b_getreadonly_v", "GRDO"),
    Bind<&nCharacterNode::SetSkinMesh>("v_setskinmesh_s", "SSKM"),
    Bind<&nCharacterNode::GetSkinMesh>("s_getskinmesh_v", "GSKM"),
    Bind<&nCharacterNode::SetCastShadow>("v_setcastshadow_b", "SCSS"),
    Bind<&nCharacterNode::GetCastShadow>("b_getcastshadow_v", "GCSS"),
    Bind<&nCharacterNode::SetStateChannel>("v_setstatechannel_s", "SSTC"),
    Bind<&nCharacterNode::GetStateChannel>("s_getstatechannel_v", "GSTC"),
    Bind<&nCharacterNode::SetAnimFile>("v_setanimfile_s", "SANF"),
    Bind<&nCharacterNode::GetAnimFile>("s_getanimfile_v", "GANF"),
    Bind<&nCharacterNode::BeginJoints>("v_beginjoints_i", "BGJN"),
    {"v_addjoint_isifffffff", "ADJN",
     [](nCharacterNode* self, nCmd* c) {
         int i = c->In()->GetI();
         const char* name = c->In()->GetS();
         int parent = c->In()->GetI();
         vector3 t = InVec(c);
         quaternion q = InQuat(c);
         self->AddJoint(i, name, parent, t, q);
     }},
    Bind<&nCharacterNode::EndJoints>("v_endjoints_v", "EDJN"),
    {"i_getnumjoints_v", "GNJN", [](nCharacterNode* self, nCmd* c) { c->Out()->SetI(self->skeleton_.GetNumJoints()); }},
    {"sifffffff_getjoint_i", "GTJN",
     [](nCharacterNode* self, nCmd* c) {
         int i = c->In()->GetI();
         const nCharJoint* j = self->skeleton_.GetJoint(i);
         static const nCharJoint none;
         if (!j) {
             n_error("%s: getjoint: joint %d is outside 0 to %d\n", self->GetFullName().c_str(), i,
                     self->skeleton_.GetNumJoints() - 1);
             j = &none;
         }
         c->Out()->SetS(j->name.c_str());
         c->Out()->SetI(j->parentIndex);
         c->Out()->SetF(j->restTranslation.x);
         c->Out()->SetF(j->restTranslation.y);
         c->Out()->SetF(j->restTranslation.z);
         c->Out()->SetF(j->restRotation.x);
         c->Out()->SetF(j->restRotation.y);
         c->Out()->SetF(j->restRotation.z);
         c->Out()->SetF(j->restRotation.w);
     }},
    {"v_beginstates_i", "BGST", [](nCharacterNode* self, nCmd* c) { self->BeginStates(c->In()->GetI()); }},
    Bind<&nCharacterNode::AddState>("v_addstate_is", "ADST"),
    Bind<&nCharacterNode::BeginStateAnims>("v_beginstateanims_ii", "BGSA"),
    Bind<&nCharacterNode::AddStateAnim>("v_addstateanim_iiss", "ADSA"),
    Bind<&nCharacterNode::EndStateAnims>("v_endstateanims_i", "EDSA"),
    Bind<&nCharacterNode::EndStates>("v_endstates_v", "EDST"),
    {"i_getnumstates_v", "GNST", [](nCharacterNode* self, nCmd* c) { c->Out()->SetI(self->stateSet_.GetNumStates()); }},
    {"s_getstate_i", "GTST",
     [](nCharacterNode* self, nCmd* c) {
         int i = c->In()->GetI();
         nCharState* s = self->badState("getstate", i) ? nullptr : self->stateSet_.GetState(i);
         c->Out()->SetS(s ? s->name.c_str() : "");
     }},
    {"i_getnumstateanims_i", "GNSA",
     [](nCharacterNode* self, nCmd* c) {
         int i = c->In()->GetI();
         nCharState* s = self->badState("getnumstateanims", i) ? nullptr : self->stateSet_.GetState(i);
         c->Out()->SetI(s ? int(s->anims.size()) : 0);
     }},
    {"ss_getstateanim_ii", "GSTA",
     [](nCharacterNode* self, nCmd* c) {
         int i = c->In()->GetI();
         int a = c->In()->GetI();
         nCharState* s = self->badState("getstateanim", i) ? nullptr : self->stateSet_.GetState(i);
         const nCharStateAnim* anim = s && a >= 0 && a < int(s->anims.size()) ? &s->anims[size_t(a)] : nullptr;
         if (s && !anim)
             n_error("%s: getstateanim: animation %d is outside 0 to %d\n", self->GetFullName().c_str(), a,
                     int(s->anims.size()) - 1);
         c->Out()->SetS(anim ? anim->name.c_str() : "");
         c->Out()->SetS(anim ? anim->weightChannel.c_str() : "");
     }},
    Bind<&nCharacterNode::SetRenderSkeleton>("v_setrenderskeleton_b", "SRSK"),
    Bind<&nCharacterNode::GetRenderSkeleton>("b_getrenderskeleton_v", "GRSK"),
    Bind<&nCharacterNode::BeginHardpoints>("v_beginhardpoints_i", "BGHP"),
    Bind<&nCharacterNode::AddHardpoint>("v_addhardpoint_iis", "ADHP"),
    {"v_endhardpoints_v", "EDHP", [](nCharacterNode*, nCmd*) {}},
    {"i_getnumhardpoints_v", "GNHP", [](nCharacterNode* self, nCmd* c) { c->Out()->SetI(self->GetNumHardpoints()); }},
    {"is_gethardpoint_i", "GTHP",
     [](nCharacterNode* self, nCmd* c) {
         int i = c->In()->GetI();
         const nCharHardpoint* h = self->GetHardpoint(i);
         if (!h)
             n_error("%s: gethardpoint: hardpoint %d is outside 0 to %d\n", self->GetFullName().c_str(), i,
                     self->GetNumHardpoints() - 1);
         c->Out()->SetI(h ? h->joint : 0);
         c->Out()->SetS(h && h->node.GetPath() ? h->node.GetPath() : "");
     }},
};

const nClassInfo nCharacterNode::classInfo = nClassInfo::Make<nCharacterNode>("ncharacternode", "nanimnode", cmds);

nCharacterNode::nCharacterNode()
    : refAnimServer_("/sys/servers/anim"), refCharServer_(CharServerPath), refShadow_("/sys/servers/shadow") {
    refSkinMesh_.SetCwd(this);
}

nCharacterNode::~nCharacterNode() {
    if (nodeId_ >= 0) {
        if (nCharacterServer* server = refCharServer_.Resolve())
            server->RemoveCharacters(uint32_t(nodeId_) & 0xFFFFu, 0xFFFFu);
    }
    stateSet_.Clear();
    releaseCurves();
}

nCharacterServer* nCharacterNode::charServer() {
    if (nCharacterServer* server = refCharServer_.Resolve()) return server;
    // Scenes built without the start-up get the server on first use.
    nKernelServer::ks->New("ncharacterserver", CharServerPath);
    return refCharServer_.Get();
}

void nCharacterNode::releaseCurves() {
    if (nAnimCurveArray* curves = refCurves_.GetUnsafe()) {
        refCurves_.Set(nullptr);
        curves->Release();
    }
}

// ---- settings

void nCharacterNode::SetSkinMesh(const char* path) {
    refSkinMesh_.SetPath(path && *path ? path : nullptr);
    skinLogged_ = false;
}

const char* nCharacterNode::GetSkinMesh() const {
    const char* p = refSkinMesh_.GetPath();
    return p ? p : "";
}

void nCharacterNode::SetStateChannel(const char* name) {
    stateChannel_ = name ? name : "";
    stateChannelHandle_ = -1;
    NotifyParents();
}

void nCharacterNode::SetAnimFile(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    animFile_ = name ? name : "";
    releaseCurves();
    if (animFile_.empty()) return;
    nAnimServer* anim = refAnimServer_.Get();
    nAnimCurveArray* curves = anim->FindAnimCurveArray(animFile_.c_str());
    if (!curves) {
        curves = anim->NewAnimCurveArray(animFile_.c_str());
        // A file that cannot be read keeps the array empty: every curve stays absent.
        if (curves) curves->Load(animFile_.c_str());
    }
    refCurves_.Set(curves);
}

// ---- definition

// Script counts are bounded by what the data can address (joints: nCharSkeleton): every
// hardpoint's node is attached each frame, and the scene graph takes 2048 nodes a frame; a
// state plays curves of the one curve file, and the curve reader makes at most 65536
// curves from a file that announces them.
static constexpr int MaxHardpoints = nSceneGraph2::MaxNodes;
static constexpr int MaxStates = nAnimCurveArray::MaxTextCurves;

bool nCharacterNode::chargeTables(uint64_t joints, uint64_t states, uint64_t hardpoints, const char* what) {
    if (!tablesCharge_.Hold(joints + states + hardpoints, this, what)) return false;
    jointBytes_ = joints;
    stateBytes_ = states;
    hardpointBytes_ = hardpoints;
    return true;
}

namespace {

// An animation's curve tables: two pointers a joint.
uint64_t curveTableBytes(const nCharStateAnim& a) {
    return (a.transCurves.size() + a.rotCurves.size()) * sizeof(const nAnimCurve*);
}

}  // namespace

void nCharacterNode::BeginJoints(int n) {
    // A joint, its skin matrix and what its name takes in the skeleton's index.
    constexpr uint64_t jointBytes = sizeof(nCharJoint) + sizeof(matrix44) + sizeof(void*) + 64;
    if (n >= 0 && n <= nCharSkeleton::MaxJoints &&
        !chargeTables(uint64_t(n) * jointBytes, stateBytes_, hardpointBytes_, "v_beginjoints_i")) {
        return;
    }
    if (!skeleton_.BeginJoints(n)) {
        n_error("%s: beginjoints: %d joints is outside 0 to %d\n", GetFullName().c_str(), n, nCharSkeleton::MaxJoints);
    }
}

void nCharacterNode::AddJoint(int i, const char* name, int parent, const vector3& t, const quaternion& q) {
    if (!skeleton_.AddJoint(i, name, parent, t, q)) {
        n_error("%s: addjoint: joint %d with parent %d (joints 0 to %d, parents -1 or an earlier joint)\n",
                GetFullName().c_str(), i, parent, skeleton_.GetNumJoints() - 1);
    }
}

bool nCharacterNode::BeginStates(int n) {
    nAnimCurveArray* curves = refCurves_.GetUnsafe();
    if (!curves) {
        n_error("%s: beginstates: no curve file loaded (setanimfile first)\n", GetFullName().c_str());
        return false;
    }
    if (n < 0 || n > MaxStates) {
        n_error("%s: beginstates: %d states is outside 0 to %d\n", GetFullName().c_str(), n, MaxStates);
        return false;
    }
    if (!chargeTables(jointBytes_, uint64_t(n) * sizeof(nCharState), hardpointBytes_, "v_beginstates_i")) return false;
    stateSet_.Begin(curves, n);
    NotifyParents();
    return true;
}

bool nCharacterNode::badState(const char* cmd, int state) {
    if (state >= 0 && state < stateSet_.GetNumStates()) return false;
    n_error("%s: %s: state %d is outside 0 to %d\n", GetFullName().c_str(), cmd, state, stateSet_.GetNumStates() - 1);
    return true;
}

void nCharacterNode::AddState(int i, const char* name) {
    if (badState("addstate", i)) return;
    if (!name || !*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        // "." and ".." would make the node itself or its parent the state's node.
        n_error("%s: addstate: '%s' is no state name\n", GetFullName().c_str(), name ? name : "");
        return;
    }
    nCharState* s = stateSet_.GetState(i);
    s->name = name;
    s->curves = stateSet_.curves;
}

void nCharacterNode::BeginStateAnims(int state, int n) {
    if (badState("beginstateanims", state)) return;
    if (n < 0 || n > nCharStateSet::MaxAnims) {
        n_error("%s: beginstateanims: %d animations (at most %d)\n", GetFullName().c_str(), n,
                nCharStateSet::MaxAnims);
        return;
    }
    nCharState* s = stateSet_.GetState(state);
    uint64_t states = stateBytes_ + uint64_t(n) * sizeof(nCharStateAnim);
    for (const nCharStateAnim& a : s->anims) states -= sizeof(nCharStateAnim) + curveTableBytes(a);
    if (!chargeTables(jointBytes_, states, hardpointBytes_, "v_beginstateanims_ii")) return;
    s->anims.assign(size_t(n), nCharStateAnim());
    s->open = true;
    NotifyParents();
}

void nCharacterNode::AddStateAnim(int state, int i, const char* name, const char* weightChannel) {
    if (badState("addstateanim", state)) return;
    nCharState* s = stateSet_.GetState(state);
    if (i < 0 || i >= int(s->anims.size())) {
        n_error("%s: addstateanim: animation %d is outside 0 to %d\n", GetFullName().c_str(), i,
                int(s->anims.size()) - 1);
        return;
    }
    nCharStateAnim& a = s->anims[size_t(i)];
    const int n = skeleton_.GetNumJoints();
    const uint64_t states = stateBytes_ - curveTableBytes(a) + 2 * uint64_t(n) * sizeof(const nAnimCurve*);
    if (!chargeTables(jointBytes_, states, hardpointBytes_, "v_addstateanim_iiss")) return;
    a.curves = s->curves;
    a.name = name ? name : "";
    a.weightChannel = weightChannel ? weightChannel : "";
    a.weightChannelHandle = -1;
    a.transCurves.assign(size_t(n), nullptr);
    a.rotCurves.assign(size_t(n), nullptr);
    if (a.curves) {
        std::string curve;
        for (int j = 0; j < n; j++) {
            const std::string& joint = skeleton_.GetJoint(j)->name;
            curve = s->name + "_" + a.name + "_trans_" + joint;
            a.transCurves[size_t(j)] = a.curves->FindCurve(curve.c_str());
            curve = s->name + "_" + a.name + "_rot_" + joint;
            a.rotCurves[size_t(j)] = a.curves->FindCurve(curve.c_str());
        }
    }
    NotifyParents();
}

void nCharacterNode::EndStateAnims(int state) {
    if (badState("endstateanims", state)) return;
    stateSet_.GetState(state)->open = false;
    NotifyParents();
}

void nCharacterNode::EndStates() {
    stateSet_.stateNodes.assign(size_t(stateSet_.GetNumStates()), nRef<nVisNode>());
    for (int i = 0; i < stateSet_.GetNumStates(); i++) {
        const std::string& name = stateSet_.states[size_t(i)].name;
        nRoot* child = name.empty() ? nullptr : FindChild(name);
        if (child && IsVisual(child)) stateSet_.stateNodes[size_t(i)].Set(static_cast<nVisNode*>(child));
    }
}

void nCharacterNode::BeginHardpoints(int n) {
    if (n < 0 || n > MaxHardpoints) {
        n_error("%s: beginhardpoints: %d hardpoints is outside 0 to %d\n", GetFullName().c_str(), n, MaxHardpoints);
        return;
    }
    if (!chargeTables(jointBytes_, stateBytes_, uint64_t(n) * sizeof(nCharHardpoint), "v_beginhardpoints_i")) return;
    hardpoints_.assign(size_t(n), nCharHardpoint());
    for (nCharHardpoint& h : hardpoints_) h.node.SetCwd(this);
}

void nCharacterNode::AddHardpoint(int i, int joint, const char* path) {
    if (i < 0 || i >= int(hardpoints_.size())) {
        n_error("%s: addhardpoint: hardpoint %d is outside 0 to %d\n", GetFullName().c_str(), i,
                int(hardpoints_.size()) - 1);
        return;
    }
    if (joint < 0 || joint >= skeleton_.GetNumJoints()) {
        n_error("%s: addhardpoint: joint %d is outside 0 to %d\n", GetFullName().c_str(), joint,
                skeleton_.GetNumJoints() - 1);
        return;
    }
    hardpoints_[size_t(i)].joint = joint;
    hardpoints_[size_t(i)].node.SetPath(path && *path ? path : nullptr);
    hardpointLogged_ = false;
}

const nCharHardpoint* nCharacterNode::GetHardpoint(int i) const {
    return i >= 0 && i < int(hardpoints_.size()) ? &hardpoints_[size_t(i)] : nullptr;
}

// ---- render contexts and channels

void nCharacterNode::AddRenderContext(uint32_t id) {
    nCharacterServer* server = charServer();
    if (nodeId_ < 0) nodeId_ = server->NewNodeId();
    const uint32_t key = nCharacterServer::MakeKey(id, nodeId_);
    if (!server->FindCharacter(key)) {
        nCharacterInstance* inst = server->NewCharacter(key);
        inst->skeleton.Copy(skeleton_);
        inst->stateSet = &stateSet_;
    }
    nAnimNode::AddRenderContext(id);
}

void nCharacterNode::RemoveRenderContext(uint32_t id) {
    if (nodeId_ >= 0) {
        if (nCharacterServer* server = refCharServer_.Resolve())
            server->RemoveCharacters(nCharacterServer::MakeKey(id, nodeId_), 0xFFFFFFFFu);
    }
    nAnimNode::RemoveRenderContext(id);
}

void nCharacterNode::CollectChannels(nChannelSet* set) {
    nChannelServer* channels = refChannel.Get();
    stateChannelHandle_ = stateChannel_.empty() ? -1 : set->AddChannel(channels, stateChannel_.c_str());
    for (nCharState& s : stateSet_.states) {
        for (nCharStateAnim& a : s.anims)
            a.weightChannelHandle = a.weightChannel.empty() ? -1 : set->AddChannel(channels, a.weightChannel.c_str());
    }
    nAnimNode::CollectChannels(set);
}

nCharacterInstance* nCharacterNode::FindInstance(nSceneGraph2* sceneGraph) {
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec || nodeId_ < 0) return nullptr;
    return charServer()->FindCharacter(nCharacterServer::MakeKey(rec->renderContext, nodeId_));
}

// ---- per frame

bool nCharacterNode::Attach(nSceneGraph2* sceneGraph) {
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return true;
    const float t = ReadChannel(sceneGraph, channelIndex_);
    const char* stateName = nullptr;
    if (stateChannelHandle_ >= 0) {
        uint32_t word;
        std::memcpy(&word, &nChannelContext::Read(rec->channelContext, stateChannelHandle_).f[0], sizeof word);
        if (word) stateName = refChannel->GetChannelString(stateChannelHandle_);
    }
    nCharacterInstance* inst = FindInstance(sceneGraph);
    if (!inst) return true;

    nCharState* current = stateSet_.GetState(inst->currentState);
    if (stateName && *stateName && !(current && current->name == stateName)) {
        const int index = stateSet_.FindState(stateName);
        if (index >= 0) inst->SetState(index, t);
    }
    if (size_t(inst->currentState) < stateSet_.stateNodes.size()) {
        if (nVisNode* node = stateSet_.stateNodes[size_t(inst->currentState)].GetUnsafe()) node->Attach(sceneGraph);
    }

    inst->Evaluate(t, rec->channelContext);

    for (nCharHardpoint& h : hardpoints_) {
        nRoot* obj = h.node.Resolve();
        nCharJoint* joint = inst->skeleton.GetJoint(h.joint);
        if (!obj || !obj->IsA(n3DNode::classInfo.name) || !joint) {
            if (!hardpointLogged_) {
                n_error("%s: hardpoint '%s' is no n3dnode (or joint %d is gone); not placed\n", GetFullName().c_str(),
                        h.node.GetPath() ? h.node.GetPath() : "", h.joint);
                hardpointLogged_ = true;
            }
            continue;
        }
        auto* node = static_cast<n3DNode*>(obj);
        node->SetLocalMatrix(joint->matrix);
        node->Attach(sceneGraph);
    }

    rec->otherVisual = this;
    return true;
}

void nCharacterNode::Compute(nSceneGraph2* sceneGraph) {
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    nCharacterInstance* inst = rec ? FindInstance(sceneGraph) : nullptr;
    if (!inst) return;
    nRoot* obj = refSkinMesh_.Resolve();
    if (!obj || !obj->IsA(nMeshNode::classInfo.name)) {
        if (!skinLogged_ && refSkinMesh_.GetPath()) {
            n_error("%s: skin mesh '%s' is no nmeshnode; nothing drawn\n", GetFullName().c_str(), GetSkinMesh());
            skinLogged_ = true;
        }
        nAnimNode::Compute(sceneGraph);
        return;
    }
    auto* mesh = static_cast<nMeshNode*>(obj);
    mesh->Compute(sceneGraph);
    nVertexBuffer* src = rec->vertexBuffer;
    rec->vertexBuffer = nullptr;
    if (src && skin_.Prepare(src, readOnly_, castShadow_ ? rec->shadowCaster : nullptr,
                             castShadow_ ? refShadow_.Get() : nullptr)) {
        if (renderSkeleton_) {
            drawSkeleton(inst);
        } else {
            const int n = inst->skeleton.GetNumJoints();
            if (int(jointMatrices_.size()) < n) jointMatrices_.resize(size_t(n));
            for (int j = 0; j < n; j++) jointMatrices_[size_t(j)] = &inst->skeleton.GetJoint(j)->skinMatrix;
            skin_.Skin(src, jointMatrices_.data(), n, rec->indexBuffer, rec->pixelShader, rec->texArray);
            if (castShadow_ && skin_.GetCaster()) refShadow_->AttachCaster(rec->matrix, skin_.GetCaster());
        }
    } else if (src && !skinLogged_) {
        n_error("%s: skin mesh '%s' has no joint weights; nothing drawn\n", GetFullName().c_str(), GetSkinMesh());
        skinLogged_ = true;
    }
    nAnimNode::Compute(sceneGraph);
}

void nCharacterNode::drawSkeleton(nCharacterInstance* inst) {
    nGfxServer* gfx = refGfx.Get();
    nRenderState rs;
    // States 2, 9 and 15 switch lighting, the depth test and blending off on the
    // original device and do nothing on ours; they are sent all the same.
    rs.state = 2, rs.value.i = 0;
    gfx->SetRenderState(rs);
    rs.state = 15, rs.value.i = 0;
    gfx->SetRenderState(rs);
    rs.state = 9, rs.value.i = 21;
    gfx->SetRenderState(rs);
    gfx->Begin(3);
    gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
    for (int j = 0; j < inst->skeleton.GetNumJoints(); j++) {
        const nCharJoint* joint = inst->skeleton.GetJoint(j);
        if (!joint->parent) continue;
        const vector3 a = joint->matrix.Translation(), b = joint->parent->matrix.Translation();
        gfx->Coord(a.x, a.y, a.z);
        gfx->Coord(b.x, b.y, b.z);
    }
    gfx->End();
}

// ---- saving

bool nCharacterNode::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("SRDO"), readOnly_) && ps->Put(this, nId("SSKM"), GetSkinMesh()) &&
              ps->Put(this, nId("SCSS"), castShadow_) && ps->Put(this, nId("SSTC"), GetStateChannel()) &&
              ps->Put(this, nId("SANF"), GetAnimFile());
    if (ok && skeleton_.GetNumJoints() > 0) {
        ok = ps->Put(this, nId("BGJN"), skeleton_.GetNumJoints());
        for (int j = 0; ok && j < skeleton_.GetNumJoints(); j++) {
            const nCharJoint* joint = skeleton_.GetJoint(j);
            const vector3& t = joint->restTranslation;
            const quaternion& q = joint->restRotation;
            ok = ps->Put(this, nId("ADJN"), j, joint->name.c_str(), joint->parentIndex, t.x, t.y, t.z, q.x, q.y, q.z,
                         q.w);
        }
        ok = ok && ps->Put(this, nId("EDJN"));
    }
    if (ok && stateSet_.GetNumStates() > 0) {
        ok = ps->Put(this, nId("BGST"), stateSet_.GetNumStates());
        for (int i = 0; ok && i < stateSet_.GetNumStates(); i++) {
            const nCharState& s = stateSet_.states[size_t(i)];
            ok = ps->Put(this, nId("ADST"), i, s.name.c_str());
            if (!ok || s.anims.empty()) continue;
            ok = ps->Put(this, nId("BGSA"), i, int(s.anims.size()));
            for (size_t a = 0; ok && a < s.anims.size(); a++)
                ok = ps->Put(this, nId("ADSA"), i, int(a), s.anims[a].name.c_str(), s.anims[a].weightChannel.c_str());
            ok = ok && ps->Put(this, nId("EDSA"), i);
        }
        ok = ok && ps->Put(this, nId("EDST"));
        if (ok && !hardpoints_.empty()) {
            ok = ps->Put(this, nId("BGHP"), int(hardpoints_.size()));
            for (size_t h = 0; ok && h < hardpoints_.size(); h++) {
                const char* path = hardpoints_[h].node.GetPath();
                ok = ps->Put(this, nId("ADHP"), int(h), hardpoints_[h].joint, path ? path : "");
            }
            ok = ok && ps->Put(this, nId("EDHP"));
        }
    }
    return ok;
}
