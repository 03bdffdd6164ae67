#include "logic/nLogicSkeleton.h"

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nLogicSkeleton> cmds[] = {
    Bind<&nLogicSkeleton::BeginJoints>("v_beginjoints_i", "SKBJ"),
    Bind<&nLogicSkeleton::AddJoint>("v_addjoint_isifffffff", "SKAJ"),
    Bind<&nLogicSkeleton::EndJoints>("v_endjoints_v", "SKEJ"),
};
const nClassInfo nLogicSkeleton::classInfo = nClassInfo::Make<nLogicSkeleton>("nlogicskeleton", "nlogicphysik2", cmds);

void nLogicSkeleton::BeginJoints(int n) {
    // A joint, its matrices and what its name takes in the skeleton's index.
    constexpr uint64_t jointBytes = sizeof(nCharJoint) + sizeof(matrix44) + sizeof(void*) + 64;
    const bool fits = n < 0 || n > nCharSkeleton::MaxJoints ||
                      jointsCharge_.Hold(uint64_t(n) * jointBytes, this, "v_beginjoints_i");
    if (!fits) return;
    // The table frees the old joints itself, once.
    if (!skeleton_.BeginJoints(n)) {
        n_error("%s: v_beginjoints_i: %d joints is outside 0 to %d; the old joints stay\n", GetFullName().c_str(), n,
                nCharSkeleton::MaxJoints);
        return;
    }
    begun_ = true;
}

void nLogicSkeleton::AddJoint(int index, const char* name, int parent, float tx, float ty, float tz, float qx,
                              float qy, float qz, float qw) {
    const std::string path = GetFullName();
    if (!begun_) {
        n_error("%s: v_addjoint_isifffffff: joint %d before v_beginjoints_i; not added\n", path.c_str(), index);
        return;
    }
    if (index < 0 || index >= skeleton_.GetNumJoints()) {
        n_error("%s: v_addjoint_isifffffff: joint %d is outside 0 to %d; not added\n", path.c_str(), index,
                skeleton_.GetNumJoints() - 1);
        return;
    }
    // Joints are posed in index order, so a parent must come earlier.
    if (!skeleton_.AddJoint(index, name, parent, vector3(tx, ty, tz), quaternion(qx, qy, qz, qw))) {
        n_error("%s: v_addjoint_isifffffff: parent %d of joint %d is neither -1 nor an earlier joint; not added\n",
                path.c_str(), parent, index);
    }
}

void nLogicSkeleton::EvaluateJoints(float /*time*/) {
    nCharJoint* joints = skeleton_.GetJoints();
    for (int i = 0; i < skeleton_.GetNumJoints(); i++) joints[i].Evaluate();
}

bool nLogicSkeleton::Trigger(nLogicGraph* graph) {
    EvaluateJoints(GetTime());
    return nLogicPhysik2::Trigger(graph);
}

void nLogicSkeleton::RenderModules() {
    nGfxServer* gfx = gfxRef_.Get();
    const nCharJoint* joints = skeleton_.GetJoints();
    const int n = skeleton_.GetNumJoints();
    bool begun = false;
    for (int i = 0; i < n; i++) {
        const nCharJoint* parent = joints[i].parent;
        if (!parent) continue;
        if (!begun) {
            gfx->Begin(nIndexBuffer::LINELIST);
            gfx->Rgba(1.0f, 0.0f, 0.0f, 1.0f);
            begun = true;
        }
        const vector3 from = parent->matrix.Translation();
        const vector3 to = joints[i].matrix.Translation();
        gfx->Coord(from.x, from.y, from.z);
        gfx->Coord(to.x, to.y, to.z);
    }
    if (begun) gfx->End();
    nLogicPhysik2::RenderModules();
}

bool nLogicSkeleton::SaveCmds(nPersistServer* ps) {
    if (!nLogicPhysik2::SaveCmds(ps)) return false;
    const int n = skeleton_.GetNumJoints();
    if (n == 0) return true;
    bool ok = ps->Put(this, nId("SKBJ"), n);
    for (int i = 0; ok && i < n; i++) {
        const nCharJoint& j = *skeleton_.GetJoint(i);
        const vector3& t = j.translation;
        const quaternion& q = j.rotation;
        ok = ps->Put(this, nId("SKAJ"), i, j.name.c_str(), j.parentIndex, t.x, t.y, t.z, q.x, q.y, q.z, q.w);
    }
    return ok && ps->Put(this, nId("SKEJ"));
}
