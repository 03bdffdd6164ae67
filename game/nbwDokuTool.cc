#include "game/nbwDokuTool.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "game/nbwHandlerPersist.h"
#include "kernel/nPersistServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nModVisualizerState.h"
#include "logic/nPersistLogic.h"

static const nCmdDef<nbwDokuTool> cmds[] = {
    Bind<&nbwDokuTool::GetDokumentation>("f_getdokumentation_v", "DOGD"),
    Bind<&nbwDokuTool::SetDokumentation>("v_setdokumentation_f", "DOSD"),
    Bind<&nbwDokuTool::MakeDokumentation>("v_makedokumentation_f", "DOMD"),
};
const nClassInfo nbwDokuTool::classInfo = nClassInfo::Make<nbwDokuTool>("nbwdokutool", "nbwitem", cmds);

namespace {

// What a shot scores, and what a camera scores for each piece of scenery in view.
constexpr float kShotValue = 0.5f;
constexpr float kSceneryValue = 0.1f;

bool IsOneOf(const char* type, std::initializer_list<const char*> kinds) {
    for (const char* k : kinds) {
        if (std::strcmp(type, k) == 0) return true;
    }
    return false;
}

}  // namespace

nbwDokuTool::nbwDokuTool() {
    cameraState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "camera"));
    cameraState_->SetContext("physik");
    cameraState_->SetEnabled(false);
}

nbwDokuTool::~nbwDokuTool() = default;

bool nbwDokuTool::SaveCmds(nPersistServer* ps) {
    return nbwItem::SaveCmds(ps) && ps->Put(this, nId("DOSD"), docValue_);
}

void nbwDokuTool::StoreToPersist(nPersistLogic* store) {
    nbwItem::StoreToPersist(store);
    if (!store) return;
    nVariable v;
    v.SetF(docValue_);
    nbwPutVar(store, "docuvalue", v);
}

void nbwDokuTool::RestoreFromPersist(nPersistLogic* store) {
    nbwItem::RestoreFromPersist(store);
    const nVariable* v = store ? store->GetVar("docuvalue") : nullptr;
    if (!v) return;
    if (v->GetType() == nVariable::Float) docValue_ = v->GetF();
    else if (v->GetType() == nVariable::Int) docValue_ = float(v->GetI());
    else n_error("%s: store variable 'docuvalue' holds no number: skipped\n", GetFullName().c_str());
}

bool nbwDokuTool::IsSonar() {
    return IsOneOf(GetString(Type), {"tauchersonar", "tauchbootsonar", "adssonar", "rovsonar"});
}

bool nbwDokuTool::IsCamera() {
    return IsOneOf(GetString(Type), {"fotoapparat", "videocamera"});
}

bool nbwDokuTool::FollowsNode(const nModuleState* state) const {
    return state != cameraState_ && nbwItem::FollowsNode(state);
}

void nbwDokuTool::Score(float value) {
    docValue_ = std::min(docValue_ + value, MaxDokumentation);
}

void nbwDokuTool::MakeDokumentation(float /*unused*/) {
    cameraState_->SetEnabled(true);
    cameraTime_ = 0.0f;
    cameraState_->SetTime(cameraTime_);
    Score(kShotValue);
    Wear();
}

void nbwDokuTool::UpdateCamera(const matrix44& world) {
    if (!cameraState_->GetEnabled()) return;
    cameraTime_ += GetFrameTime();
    cameraState_->SetTime(cameraTime_);
    if (HasCollision()) cameraState_->Collide(world);
}

void nbwDokuTool::AnalyseCollision() {
    nbwItem::AnalyseCollision();
    if (!cameraState_->GetEnabled() || cameraState_->GetNumModules() == 0) return;
    nCollideContext2* ctx = cameraState_->GetContext();
    if (!ctx) return;
    nCollidePair** pairs = nullptr;
    const int n = ctx->GetCollisions(cameraState_, pairs);
    const bool sonar = IsSonar();
    const bool camera = IsCamera();
    int seen = 0;
    for (int i = 0; i < n; i++) {
        nLogicNode* other = pairs[i]->objB ? pairs[i]->objB->owner : nullptr;
        if (other == this) other = pairs[i]->objA ? pairs[i]->objA->owner : nullptr;
        // The tool's own shapes are no sight.
        if (other == this) continue;
        seen++;
        if (other && other->IsA(nbwItem::classInfo.name)) {
            auto* item = static_cast<nbwItem*>(other);
            if (sonar) {
                // A lit item keeps its timer.
                if (!item->GetUltrasonicState()->GetEnabled()) item->StartUltrasonic();
            } else {
                // Each item's value is collected once.
                Score(item->GetFloat(DocValue));
                item->SetFloat(DocValue, 0.0f);
            }
        } else if (camera) {
            Score(kSceneryValue);
        }
    }
    // Until something is in view the shot waits for a pass that sees it.
    if (seen > 0) cameraState_->SetEnabled(false);
}
