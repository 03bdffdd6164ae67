#include "game/nbwLeopard.h"

#include <cmath>

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRandom.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nbwLeopard> cmds[] = {
    Bind<&nbwLeopard::SetDebugMode>("v_setdbgmode_b", "LESD"),
    Bind<&nbwLeopard::BeginTargets>("v_begintargets_i", "LEBT"),
    Bind<&nbwLeopard::SetTarget>("v_settarget_ifff", "LEST"),
    Bind<&nbwLeopard::SetSpeed>("v_setspeed_f", "LESS"),
};
const nClassInfo nbwLeopard::classInfo = nClassInfo::Make<nbwLeopard>("nbwleopard", "nlogiccollision2", cmds);

nbwLeopard::nbwLeopard() {
    GetPickingState()->SetContext("physik");
}

nbwLeopard::~nbwLeopard() = default;

void nbwLeopard::BeginTargets(int count) {
    if (count > MaxTargets) {
        n_error("%s: v_begintargets_i: %d points is more than %d; the path is kept\n", GetFullName().c_str(), count,
                MaxTargets);
        return;
    }
    if (!pointsCharge_.Hold(uint64_t(count > 0 ? count : 0) * sizeof(vector3), this, "v_begintargets_i")) return;
    points_.assign(size_t(count > 0 ? count : 0), vector3());
    if (current_ >= int(points_.size())) current_ = -1;
}

void nbwLeopard::SetTarget(int index, float x, float y, float z) {
    if (index < 0 || index >= int(points_.size())) {
        n_error("%s: v_settarget_ifff: no point %d (the leopard has %d)\n", GetFullName().c_str(), index,
                int(points_.size()));
        return;
    }
    points_[size_t(index)] = vector3(x, y, z);
    if (index == 0) {
        SetPosition(points_[0]);
        SetVisible(false);
    }
}

bool nbwLeopard::Trigger(nLogicGraph* graph) {
    nRef<nRoot> alive(this);
    nLogicCollision2::Trigger(graph);
    if (!alive.IsValid()) return false;
    if (current_ < 0) {
        // Without points the rest never ends.
        if (GetTime() > restUntil_ && !points_.empty()) {
            current_ = nRandom::Next() % int(points_.size());
            SetVisible(true);
        }
        return true;
    }
    const vector3 point = points_[size_t(current_)];
    const vector3 d = point - GetPosition();
    const float dist = d.Len();
    if (dist < ArriveDistance) {
        SetPosition(point);
        SetVisible(false);
        current_ = -1;
        restUntil_ = GetTime() + float(nRandom::Next() % 10);
        return true;
    }
    SetQuaternion(EulerQuaternion(0.0f, std::atan2(d.x, d.z), 0.0f));
    const float step = std::fmin(GetFrameTime() * speed_, dist);
    SetPosition(GetPosition() + d * (step / dist));
    return true;
}

void nbwLeopard::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    nLogicCollision2::Visualize(sceneGraph, world);
    if (!debug_ || points_.empty()) return;
    nGfxServer* gfx = gfxRef_.Get();
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, gfx->GetMatrix(nGfxServer::INVVIEWER));
    // A post at every point, red at the current one, and the path through them in order.
    gfx->Begin(3);  // line list
    for (size_t i = 0; i < points_.size(); i++) {
        const vector3& p = points_[i];
        const bool current = int(i) == current_;
        gfx->Rgba(1.0f, current ? 0.0f : 1.0f, current ? 0.0f : 1.0f, 1.0f);
        gfx->Coord(p.x, p.y, p.z);
        gfx->Coord(p.x, p.y + 1.0f, p.z);
        if (i + 1 < points_.size()) {
            const vector3& q = points_[i + 1];
            gfx->Rgba(0.0f, 0.5f, 1.0f, 1.0f);
            gfx->Coord(p.x, p.y, p.z);
            gfx->Coord(q.x, q.y, q.z);
        }
    }
    gfx->End();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}
