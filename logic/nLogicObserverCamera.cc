#include "logic/nLogicObserverCamera.h"

#include <cstring>

#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nLogicObserverCamera> cmds[] = {
    Bind<&nLogicObserverCamera::SetFollow>("v_setfollow_s", "LOSF"),
    Bind<&nLogicObserverCamera::GetFollow>("s_getfollow_v", "LOGF"),
};
const nClassInfo nLogicObserverCamera::classInfo =
    nClassInfo::Make<nLogicObserverCamera>("nlogicobservercamera", "nlogiccamera", cmds);

namespace {
// Mouse units to world units and radians.
constexpr float kMoveFactor = 0.025f;
constexpr float kTurnFactor = 0.005f;
constexpr float kMinDistance = 0.01f;
constexpr float kResetDistance = 5.0f;

vector3 Row(const matrix44& m, int r) {
    return vector3(m.m[r][0], m.m[r][1], m.m[r][2]);
}
}  // namespace

nLogicObserverCamera::nLogicObserverCamera() {
    // A relative follow path names a node from the camera.
    follow_.SetCwd(this);
}

nLogicObserverCamera::~nLogicObserverCamera() = default;

void nLogicObserverCamera::SetFollow(const char* path) {
    follow_.SetPath(nullptr);
    if (path && std::strcmp(path, "none") != 0) follow_.SetPath(path);
}

nLogicVisual2* nLogicObserverCamera::Followed() {
    if (!follow_.GetPath()) return nullptr;
    nRoot* target = follow_.Resolve();
    return target && target->IsA("nlogicvisual2") ? static_cast<nLogicVisual2*>(target) : nullptr;
}

std::string nLogicObserverCamera::GetFollow() {
    nLogicVisual2* target = Followed();
    return target ? target->GetFullName() : std::string("none");
}

bool nLogicObserverCamera::Trigger(nLogicGraph* graph) {
    if (IsCurrent()) Steer();
    return nLogicCamera::Trigger(graph);
}

void nLogicObserverCamera::Steer() {
    nInputServer* input = GetInputServer();
    const bool orbit = Button(input, "orbit");
    const bool pan = Button(input, "pan");
    const bool dolly = Button(input, "dolly");
    const bool reset = Button(input, "reset");
    mouse_.Update(input);
    const float dx = float(mouse_.dx), dy = float(mouse_.dy);

    matrix44 v = GetMatrix();
    matrix44 o = orbit_;
    vector3 pivot = o.Translation();
    if (reset) {
        v.Ident();
        v.SetTranslation(vector3(0.0f, 0.0f, kResetDistance));
        o.Ident();
        pivot = vector3();
    }
    float d = (v.Translation() - pivot).Len();
    if (nLogicVisual2* target = Followed()) pivot = target->GetMatrix().Translation();
    o.SetTranslation(pivot);
    if (dolly) {
        const float k = dy * -kMoveFactor;
        d += k;
        if (d < kMinDistance) {
            d = kMinDistance;
            pivot = pivot + Row(o, 2) * k;
            o.SetTranslation(pivot);
        }
    }
    if (pan) {
        matrix44 t;
        t.SetTranslation(vector3(dx * -kMoveFactor, dy * kMoveFactor, 0.0f));
        o = t * o;
        pivot = o.Translation();
    }
    if (orbit) {
        const float yaw = dx * -kTurnFactor;
        const float pitch = dy * -kTurnFactor;
        if (yaw != 0.0f) {
            o.SetTranslation(vector3());
            o.RotateY(yaw);
            o.SetTranslation(pivot);
        }
        if (pitch != 0.0f) {
            matrix44 r;
            r.RotateX(pitch);
            o = r * o;
        }
    }
    o.SetTranslation(pivot);
    v = o;
    v.SetTranslation(pivot + Row(o, 2) * d);
    SetMatrix(v);
    orbit_ = o;
}

bool nLogicObserverCamera::SaveCmds(nPersistServer* ps) {
    if (!nLogicCamera::SaveCmds(ps)) return false;
    nLogicVisual2* target = Followed();
    return !target || ps->Put(this, nId("LOSF"), target->GetFullName().c_str());
}
