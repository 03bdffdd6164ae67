#include "tests/game/GameTestKernel.h"

#include "game/nGamePackage.h"
#include "game/nbwAction.h"
#include "logic/nLogicEventServer.h"
#include "collide/nCollideServer2.h"
#include "input/nInputPackage.h"
#include "scene/nChannelServer.h"

const nClassInfo nTestActor::classInfo = nClassInfo::Make<nTestActor>("ntestactor", "nbwactor");

const nClassInfo nTestSwimmer::classInfo = nClassInfo::Make<nTestSwimmer>("ntestswimmer", "nbwdiver");

nTestSwimmer::nTestSwimmer() {
    // The diver's own start values would sit at the subclass's indices.
    for (int i = 0; i < NumStats; i++) StoreStat(i, 0.0f);
    for (int i = 0; i < NumFlags; i++) StoreFlag(i, false);
}

void nTestActor::Initialize() {
    nbwActor::Initialize();
    BeginAnims(3);
    SetAnimChannel(0, "idle", 0.0f, false);
    SetAnimChannel(1, "swim", 0.0f, false);
    SetAnimChannel(2, "walk", 0.0f, false);
}

void nTestActor::PlayMove(int move, const char* text, float power) {
    moves.push_back({move, text ? text : "", power});
}

const char* const* nTestActor::GetMoveNames() const {
    static const char* const names[] = {"forward", "look right", nullptr};
    return names;
}

const char* const* nTestActor::GetStatNames() const {
    static const char* const names[] = {"energie", "speed", nullptr};
    return names;
}

const char* const* nTestActor::GetPathNames() const {
    static const char* const names[] = {"hand", "target", nullptr};
    return names;
}

const char* const* nTestActor::GetFlagNames() const {
    static const char* const names[] = {"headlight", nullptr};
    return names;
}

nbwAction* nTestActor::CurrentAction() {
    nRoot* head = GetCurrentAction();
    return head && head->IsA(nbwAction::classInfo.name) ? static_cast<nbwAction*>(head) : nullptr;
}

bool nTestActor::Trigger(nLogicGraph* graph) {
    bool result = nbwActor::Trigger(graph);
    nbwAction* action = CurrentAction();
    if (!action) return result;
    // A timed script may delete the actor with its queue.
    nRef<nRoot> self(this);
    matrix44 m;
    float r = 0.0f;
    const float before = GetWeightSum();
    const bool lives = action->Update(m, this, GetFrameTime(), r);
    if (!self.IsValid()) return false;
    SetMatrix(m);
    steps++;
    remaining = r;
    addedWeight = GetWeightSum() - before;
    weights.clear();
    for (int i = 0; i < GetNumAnims(); i++) weights.push_back(GetAnim(i).weight);
    if (lives && r > 0.0f) {
        action->Release();
        released++;
    }
    return result;
}

void GameTestKernel::SetUp() {
    GraphFixture::SetUp();
    // Items keep their damage zones in this context.
    collide->NewContext("damage");
    nGamePackage(kernel);
    kernel->AddClass(nTestActor::classInfo);
    kernel->AddClass(nTestSwimmer::classInfo);
    persist = kernel->New("nroot", "/usr/persist");
}

void GameTestKernel::GameFrame(float dt) {
    gameTime += dt;
    channels->SetChannel1f(channels->GenChannel("gametime"), float(gameTime));
    channels->SetChannel1f(channels->GenChannel("frametime"), dt);
    static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"))->Trigger();
    LogicFrame(dt);
}

void GameTestKernel::UseRealCameraServer() {
    camera->Release();
    camera = nullptr;
    kernel->New("ncameraserver", "/sys/servers/camera");
    nInputPackage(kernel);
    kernel->New("ninputserver", "/sys/servers/input");
}

nTestActor* GameTestKernel::NewActor(const char* path) {
    return static_cast<nTestActor*>(kernel->New("ntestactor", path));
}

nbwAction* GameTestKernel::NewAction(nTestActor* actor, const char* name) {
    kernel->PushCwd(actor->GetActions());
    auto* action = static_cast<nbwAction*>(kernel->New("nbwaction", name));
    kernel->PopCwd();
    return action;
}
