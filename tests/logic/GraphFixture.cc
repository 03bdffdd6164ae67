#include "tests/logic/GraphFixture.h"

#include <cstdio>

#include "anim/nAnimPackage.h"
#include "anim/nSpecialFxServer.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideServer2.h"
#include "logic/nLogicPackage.h"
#include "physics/nPhysikMass.h"
#include "physics/nPhysikPackage.h"
#include "physics/nPhysikServer.h"

std::vector<std::string> logicEvents;

static const nCmdDef<nTestLogicNode> nodeCmds[] = {
    Bind<&nTestLogicNode::SetFlags>("v_setflags_s", "TSFL"),
    Bind<&nTestLogicNode::SetPos>("v_setpos_fff", "TSPS"),
};
const nClassInfo nTestLogicNode::classInfo =
    nClassInfo::Make<nTestLogicNode>("ntestlogicnode", "nlogicnode", nodeCmds);

static const nCmdDef<nTestModule> moduleCmds[] = {
    Bind<&nTestModule::SetModuleType>("v_settype_i", "TSTY"),
};
const nClassInfo nTestModule::classInfo = nClassInfo::Make<nTestModule>("ntestmodule", "nmodtransformer", moduleCmds);
const nClassInfo nTestCameraServer::classInfo = nClassInfo::Make<nTestCameraServer>("ntestcameraserver", "nroot");

void nTestLogicNode::SetFlags(const char* flags) {
    std::string f = flags ? flags : "";
    visible = f.find('v') != std::string::npos;
    collision = f.find('c') != std::string::npos;
    physik = f.find('p') != std::string::npos;
    twoD = f.find('2') != std::string::npos;
}

void nTestLogicNode::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    matrix44 world = local * parentMatrix;
    if (!quiet) {
        nRoot* collide = nKernelServer::ks->Lookup("/sys/servers/collide2");
        bool open = collide && static_cast<nCollideServer2*>(collide)->InFrame();
        logicEvents.push_back("traverse " + Label() + (open ? " open" : " closed"));
    }
    if (!graph->PushRecord(this, world)) return;
    nLogicNode::Traverse(graph, world);
    graph->PopRecord();
}

void nTestLogicNode::AnalyseCollision() {
    if (!quiet) logicEvents.push_back("analyse " + Label());
}

bool nTestLogicNode::StepPhysik(const matrix44&) {
    if (!quiet) logicEvents.push_back("step " + Label());
    return moves;
}

void nTestLogicNode::Visualize(nSceneGraph2*, const matrix44& world) {
    if (quiet) return;
    char buf[64];
    std::snprintf(buf, sizeof(buf), " %g %g %g", world.m[3][0], world.m[3][1], world.m[3][2]);
    logicEvents.push_back("visualize " + Label() + buf);
}

void nTestLogicNode::RenderModules() {
    if (!quiet) logicEvents.push_back("modules " + Label());
}

void nTestLogicNode::Render() {
    if (!quiet) logicEvents.push_back("render " + Label());
}

nTestModule::~nTestModule() {
    delete mass;
}

void nTestModule::Log(const char* what) const {
    if (!quiet) logicEvents.push_back(std::string(what) + " " + (GetName() ? GetName() : "?"));
}

void nTestModule::Animate(nLogicNode*, float time) {
    calls++;
    if (quiet) return;
    char buf[32];
    std::snprintf(buf, sizeof(buf), " %g", time);
    logicEvents.push_back("animate " + std::string(GetName() ? GetName() : "?") + buf);
}

void nTestModule::Collide(nLogicNode*, nModCollisionState*, const matrix44&, float) {
    calls++;
    Log("collide");
}

void nTestModule::MakeMass(nPhysikServer* server, float radius) {
    mass = server->CreateMass(nPhysikMass::SPHERE);
    mass->SetRadius(radius);
}

void nTestCameraServer::ApplyView(nGfxServer* gfx, matrix44& view) {
    logicEvents.push_back("applyview");
    gfx->SetMatrix(nGfxServer::VIEWER, camera);
    view = camera;
    view.Invert();
}

void GraphFixture::SetUp() {
    SceneFixture::SetUp();
    nAnimPackage(kernel);
    nCollidePackage(kernel);
    nPhysikPackage(kernel);
    nLogicPackage(kernel);
    kernel->AddClass(nTestLogicNode::classInfo);
    kernel->AddClass(nTestModule::classInfo);
    kernel->AddClass(nTestCameraServer::classInfo);
    logicEvents.clear();
    kernel->New("nlogiceventserver", "/sys/servers/event");
    collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
    collide->NewContext("picking");
    collide->NewContext("physik");
    physik = static_cast<nPhysikServer*>(kernel->New("nodephysikserver", "/sys/servers/physik"));
    fx = static_cast<nSpecialFxServer*>(kernel->New("nspecialfxserver", "/sys/servers/specialfx"));
    camera = static_cast<nTestCameraServer*>(kernel->New("ntestcameraserver", "/sys/servers/camera"));
    graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
    root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
}

void GraphFixture::TearDown() {
    // The logic tree first: its bodies go before the physics server.
    if (nRoot* usr = kernel->Lookup("/usr")) usr->Release();
    SceneFixture::TearDown();
}

void GraphFixture::LogicFrame(float frameTime) {
    graph->ReleaseQueued();
    root->Trigger(graph);
    graph->TraversePass(root);
    if (frameTime > 0.0f) {
        graph->AnalyseCollisions();
        graph->Step(frameTime);
    }
    graph->VisualPass();
}

nTestLogicNode* GraphFixture::NewNode(const char* path, const char* flags) {
    auto* n = static_cast<nTestLogicNode*>(kernel->New("ntestlogicnode", path));
    n->SetFlags(flags);
    return n;
}

nTestModule* GraphFixture::NewModule(const char* path, int type) {
    auto* m = static_cast<nTestModule*>(kernel->New("ntestmodule", path));
    m->type = type;
    return m;
}

std::vector<std::string> GraphFixture::Events(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& e : logicEvents) {
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    }
    return out;
}

int GraphFixture::Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) n++;
    return n;
}
