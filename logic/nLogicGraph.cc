#include "logic/nLogicGraph.h"

#include <algorithm>
#include <cmath>

#include "anim/nSpecialFxServer.h"
#include "collide/nCollideServer2.h"
#include "gfx/nGfxServer.h"
#include "gfx/nRenderState.h"
#include "kernel/nFrameGuard.h"
#include "kernel/nKernelServer.h"
#include "logic/nCameraView.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicNode.h"
#include "physics/nPhysikServer.h"
#include "scene/nSceneGraph2.h"

static const nCmdDef<nLogicGraph> cmds[] = {
    Bind<&nLogicGraph::SetDebug>("v_setdbgmode_b", "LGSD"),
};
const nClassInfo nLogicGraph::classInfo = nClassInfo::Make<nLogicGraph>("nlogicgraph", "nroot", cmds);

namespace {
void SetState(nGfxServer* gfx, int state, int32_t i) {
    nRenderState rs;
    rs.state = state;
    rs.value.i = i;
    gfx->SetRenderState(rs);
}
void SetStateF(nGfxServer* gfx, int state, float f) {
    nRenderState rs;
    rs.state = state;
    rs.value.f = f;
    gfx->SetRenderState(rs);
}
}  // namespace

nLogicGraph::nLogicGraph() {
    nKernelServer* ks = nKernelServer::ks;
    if (!ks) return;
    // The input server lives as long as a graph holds it; one already there gets one
    // more count, so that each graph gives back exactly its own.
    nRoot* existing = ks->Lookup("/sys/servers/logicinput");
    nRoot* server = existing ? existing : ks->New("nlogicinputserver", "/sys/servers/logicinput");
    if (existing) existing->AddRef();
    logicInputServer_ = server;
    GetEventRecord();
}

nLogicGraph::~nLogicGraph() {
    if (nRoot* server = logicInputServer_.GetUnsafe()) server->Release();
    for (nRef<nLogicNode>* r : releaseList_) delete r;
    releaseList_.Clear();
}

nLogicEventRecord* nLogicGraph::GetEventRecord() {
    nLogicEventServer* events = refEvent_.Resolve();
    return events ? events->FindOrCreateEvent("logicgraph") : nullptr;
}

// -- deferred release ---------------------------------------------------------------

void nLogicGraph::QueueRelease(nLogicNode* node) {
    if (!node) return;
    if (releaseCount_ == releaseList_.Size()) releaseList_.Append(new nRef<nLogicNode>);
    releaseList_[releaseCount_++]->Set(node);
}

void nLogicGraph::ReleaseQueued() {
    // Scripts run by the pass may delete the graph: it is freed once the pass returns.
    nFrameGuard running(this);
    // A release may queue further nodes (a store's hook running scripts): they are
    // released in this pass too.
    for (int i = 0; i < releaseCount_; i++) {
        nLogicNode* node = releaseList_[i]->GetUnsafe();
        if (!node) continue;
        releaseList_[i]->Invalidate();
        nRef<nLogicNode> alive(node);
        node->Release();
        // A node something else still holds can be queued again later.
        if (nLogicNode* still = alive.GetUnsafe()) still->ClearReleaseQueued();
    }
    for (int i = 0; i < releaseCount_; i++) releaseList_[i]->Invalidate();
    releaseCount_ = 0;
}

// -- traversal ----------------------------------------------------------------------

void nLogicGraph::NoteOverflow(Overflow kind) {
    if (overflowLogged_ & kind) return;
    overflowLogged_ |= kind;
    const char* what = "";
    switch (kind) {
        case RecordsFull: what = "more than 2048 records; the rest are left out"; break;
        case TooDeep: what = "logic nodes nested deeper than 64; the deeper subtrees are left out"; break;
        case PhysikListFull: what = "more than 256 physics nodes; the rest are not stepped"; break;
        case List2DFull: what = "more than 256 2D nodes; the rest are not rendered"; break;
        case BodyTableFull: what = "the physics body table is full; further bodies are not stepped"; break;
    }
    n_error("nLogicGraph: %s this frame\n", what);
}

bool nLogicGraph::RefuseRecord() {
    NoteOverflow(recordCount_ >= MaxRecords ? RecordsFull : TooDeep);
    return false;
}

void nLogicGraph::BeginTraversal() {
    recordCount_ = 0;
    depth_ = 0;
    overflowLogged_ = 0;
    if (nCollideServer2* collide = refCollide_.Resolve()) collide->BeginFrame();
    if (nPhysikServer* physik = refPhysik_.Resolve()) {
        physik->SetInFrame(true);
        physik->ClearBodies();
    }
}

void nLogicGraph::EndTraversal() {
    if (nCollideServer2* collide = refCollide_.Resolve()) collide->EndFrame();
    if (nPhysikServer* physik = refPhysik_.Resolve()) physik->SetInFrame(false);
}

void nLogicGraph::BuildLists() {
    visibleCount_ = collisionCount_ = physikCount_ = count2D_ = 0;
    for (int i = 0; i < recordCount_; i++) {
        nLogicNode* node = records_[i].node;
        if (node->IsVisible()) visibleList_[visibleCount_++] = uint16_t(i);
        if (node->HasCollision()) collisionList_[collisionCount_++] = uint16_t(i);
        if (node->HasPhysik()) {
            if (physikCount_ < MaxPhysik) physikList_[physikCount_++] = uint16_t(i);
            else NoteOverflow(PhysikListFull);
        }
        if (node->Is2D()) {
            if (count2D_ < Max2D) list2D_[count2D_++] = uint16_t(i);
            else NoteOverflow(List2DFull);
        }
    }
}

void nLogicGraph::TraversePass(nLogicNode* logicRoot) {
    nFrameGuard running(this);
    nRoot* cameraServer = refCamera_.Get();
    auto* camera = dynamic_cast<nCameraView*>(cameraServer);
    if (!camera) nKernelServer::FatalError("Aborting.");
    rootMatrix_.Ident();
    BeginTraversal();
    if (camera->HasCurrentCamera()) {
        camera->ApplyView(refGfx_.Get(), rootMatrix_);
        if (logicRoot) logicRoot->Traverse(this, matrix44());
        // The first frame of a level just built or loaded draws from where the camera
        // stands clear of the shapes this traversal brought in, not from before them.
        camera->RetakeView(refGfx_.Get(), rootMatrix_);
    }
    EndTraversal();
    BuildLists();
}

// -- the passes over the lists ------------------------------------------------------

void nLogicGraph::AnalyseCollisions() {
    nFrameGuard running(this);
    refCollide_.Get()->Collide();
    for (int i = 0; i < collisionCount_; i++) records_[collisionList_[i]].node->AnalyseCollision();
}

int nLogicGraph::SubSteps(float frameTime) {
    // A little over a whole number of steps does not make one more step.
    return std::max(1, int(std::ceil(frameTime / MaxSubStep - 0.001f)));
}

void nLogicGraph::Step(float frameTime) {
    nFrameGuard running(this);
    nPhysikServer* physik = refPhysik_.Get();
    bool finely = physikCount_ > 0;
    for (int i = 0; i < physikCount_ && finely; i++) finely = records_[physikList_[i]].node->StepsFinely();
    const int steps = finely ? SubSteps(frameTime) : 1;
    const float step = frameTime / float(steps);
    for (int s = 0; s < steps; s++) {
        for (int i = 0; i < physikCount_; i++) records_[physikList_[i]].node->SubStep(step, s);
        physik->WorldStep(step);
    }
    for (int i = 0; i < physikCount_; i++) {
        nLogicGraphRecord& r = records_[physikList_[i]];
        if (r.node->StepPhysik(r.world)) r.moved = true;
    }
}

void nLogicGraph::VisualPass() {
    nFrameGuard running(this);
    nSceneGraph2* sg = refSceneGraph_.Get();
    if (!sg->BeginScene(rootMatrix_)) return;
    nSpecialFxServer* fx = refSpecialFx_.Resolve();
    if (fx) fx->Reset();
    for (int i = 0; i < visibleCount_; i++) {
        nLogicGraphRecord& r = records_[visibleList_[i]];
        r.node->Visualize(sg, r.world);
    }
    if ((fx = refSpecialFx_.Resolve())) fx->Attach(sg);
    sg->EndScene(true);
    for (int i = 0; i < count2D_; i++) records_[list2D_[i]].node->Render();
    if (debug_) DebugVisualize();
}

void nLogicGraph::DebugVisualize() {
    nGfxServer* gfx = refGfx_.Get();
    SetState(gfx, 2, 0);
    SetState(gfx, 15, 0);
    SetState(gfx, 9, 21);
    SetStateF(gfx, 10, 1.0f);
    matrix44 invViewer = gfx->GetMatrix(nGfxServer::INVVIEWER);
    for (int i = 0; i < visibleCount_; i++) {
        nLogicGraphRecord& r = records_[visibleList_[i]];
        gfx->SetMatrix(nGfxServer::MODELVIEW, r.world * invViewer);
        r.node->RenderModules();
    }
    refCollide_.Get()->Visualize(gfx);
    refPhysik_.Get()->Visualize(gfx);
    SetState(gfx, 10, 0);
}
