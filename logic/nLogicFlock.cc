#include "logic/nLogicFlock.h"

#include "gfx/nGfxServer.h"
#include "kernel/nCmdVector.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicBoid.h"

static const nCmdDef<nLogicFlock> cmds[] = {
    {"v_setbb_ffffff", "FFSB",
     [](nLogicFlock* self, nCmd* c) {
         vector3 min = GetVector3(c);
         self->SetBox(min, GetVector3(c));
     }},
    {"ffffff_getbbox_v", "FFGB",
     [](nLogicFlock* self, nCmd* c) {
         PutVector3(c, self->GetBoxMin());
         PutVector3(c, self->GetBoxMax());
     }},
    // Accepted for the scripts that set them; a school has no target to swim to.
    {"v_settarget_fff", "FFST", [](nLogicFlock*, nCmd* c) { GetVector3(c); }},
    {"v_settargetoffset_fff", "FFSO", [](nLogicFlock*, nCmd* c) { GetVector3(c); }},
    Bind<&nLogicFlock::SetDebugMode>("v_setdbgmode_b", "FFSD"),
    Bind<&nLogicFlock::GetDebugMode>("b_getdbgmode_v", "FFGD"),
};
const nClassInfo nLogicFlock::classInfo = nClassInfo::Make<nLogicFlock>("nlogicflock", "nlogicvisual2", cmds);

nLogicFlock::nLogicFlock() = default;

nLogicFlock::~nLogicFlock() {
    nArray<nLogicBoid*> boids(0, boids_.Size() > 0 ? boids_.Size() : 1);
    for (int i = 0; i < boids_.Size(); i++) {
        nLogicBoid* b = boids_.At(i);
        b->ForgetFlock();
        boids.Append(b);
    }
    for (nLogicBoid* b : boids) b->Release();
    dirty_ = true;
}

void nLogicFlock::Join(nLogicBoid* boid) {
    boids_.Append(boid);
    dirty_ = true;
}

void nLogicFlock::Leave(nLogicBoid* boid) {
    int pos;
    if (BoidList::Node* n = boids_.Find(boid, pos)) {
        boids_.Remove(n);
        n->value = nullptr;
        n->used = false;
    }
    dirty_ = true;
}

void nLogicFlock::SetBox(const vector3& min, const vector3& max) {
    boxMin_ = min;
    boxMax_ = max;
    vector3 d = max - min;
    extent_ = d.x > d.y ? (d.x > d.z ? d.x : d.z) : (d.y > d.z ? d.y : d.z);
}

void nLogicFlock::rebuildTable() {
    const int n = boids_.Size();
    // Sized once for the whole table: a flock that grows every frame rebuilds in time
    // proportional to the table, not to its square.
    table_.Clear();
    table_.Reserve(n * n);
    for (int i = 0; i < n * n; i++) table_.Append(-1);
    members_.Clear();
    members_.Reserve(n);
    for (int i = 0; i < n; i++) {
        nLogicBoid* b = boids_.At(i);
        b->SetTableIndex(i);
        members_.Append(b);
    }
    tableSize_ = n;
    dirty_ = false;
}

bool nLogicFlock::Sees(const nLogicBoid* a, const nLogicBoid* b) const {
    const int ia = a->GetTableIndex(), ib = b->GetTableIndex();
    if (ia < 0 || ib < 0 || ia >= tableSize_ || ib >= tableSize_ || ia == ib) return false;
    return table_[ia * tableSize_ + ib] == 1;
}

bool nLogicFlock::Trigger(nLogicGraph* graph) {
    if (dirty_) rebuildTable();
    // Fresh from the rebuild, list position and table index agree.
    const int n = tableSize_;
    for (int i = 0; i < n; i++) {
        nLogicBoid* a = members_[i];
        int* row = &table_[i * n];
        for (int j = 0; j < n; j++) {
            if (i != j) row[j] = a->CanSee(members_[j]) ? 1 : -1;
        }
    }
    return nLogicVisual2::Trigger(graph);
}

void nLogicFlock::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    nLogicVisual2::Visualize(sceneGraph, world);
    if (!debug_) return;
    nGfxServer* gfx = gfxRef_.Get();
    const vector3 lo = boxMin_, hi = boxMax_;
    vector3 c[8];
    for (int i = 0; i < 8; i++) c[i] = vector3((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
    static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                     {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, world * gfx->GetMatrix(nGfxServer::INVVIEWER));
    gfx->Begin(3);  // line list
    gfx->Rgba(1.0f, 1.0f, 0.0f, 1.0f);
    for (const auto& e : edges) {
        gfx->Coord(c[e[0]].x, c[e[0]].y, c[e[0]].z);
        gfx->Coord(c[e[1]].x, c[e[1]].y, c[e[1]].z);
    }
    gfx->End();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}

bool nLogicFlock::SaveCmds(nPersistServer* ps) {
    return nLogicVisual2::SaveCmds(ps) &&
           ps->Put(this, nId("FFSB"), boxMin_.x, boxMin_.y, boxMin_.z, boxMax_.x, boxMax_.y, boxMax_.z) &&
           ps->Put(this, nId("FFSD"), debug_);
}
