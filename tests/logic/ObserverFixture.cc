#include "tests/logic/ObserverFixture.h"

#include <cstdio>

#include "audio/nAudioPackage.h"
#include "input/nInputPackage.h"
#include "kernel/nTimeServer.h"
#include "logic/nChatServer.h"

const nClassInfo nObsGfx::classInfo = nClassInfo::Make<nObsGfx>("nobsgfx", "nrecordinggfx");
const nClassInfo nObsInput::classInfo = nClassInfo::Make<nObsInput>("nobsinput", "ninputserver");
const nClassInfo nObsAudio::classInfo = nClassInfo::Make<nObsAudio>("nobsaudio", "naudioserver2");
const nClassInfo nObsParticle::classInfo = nClassInfo::Make<nObsParticle>("nobsparticle", "nparticleserver");
const nClassInfo nObs2DServer::classInfo = nClassInfo::Make<nObs2DServer>("nobs2dserver", "nlogic2dserver");
const nClassInfo nObsGraph::classInfo = nClassInfo::Make<nObsGraph>("nobsgraph", "nlogicgraph");
const nClassInfo nObsRoot::classInfo = nClassInfo::Make<nObsRoot>("nobsroot", "ntestlogicnode");

static void Log(const std::string& s) { logicEvents.push_back(s); }

static float ChannelValue(const char* name) {
    auto* ch = static_cast<nChannelServer*>(nKernelServer::ks->Lookup("/sys/servers/channel"));
    return ch->GetChannel1f(ch->GenChannel(name));
}

static std::string Format(const char* format, double a, double b = 0.0) {
    char buf[96];
    std::snprintf(buf, sizeof(buf), format, a, b);
    return buf;
}

bool nObsGfx::Trigger() {
    Log("gfx trigger");
    return triggerResult;
}
bool nObsGfx::BeginScene() {
    Log(beginResult ? "gfx begin" : "gfx begin failed");
    return beginResult && nRecordingGfx::BeginScene();
}
void nObsGfx::EndScene() {
    Log("gfx end");
    nRecordingGfx::EndScene();
}
bool nObsGfx::SetDisplayMode(const char* m) {
    Log(std::string("mode ") + m);
    if (!refuse.empty() && std::string(m).find(refuse) != std::string::npos) return false;
    mode = m;
    return true;
}
bool nObsGfx::OpenDisplay() { return true; }
bool nObsGfx::GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) {
    x0 = y0 = 0;
    x1 = 800;
    y1 = 600;
    return true;
}
void nObsGfx::PushMatrix(int type) { Log("push " + std::to_string(type)); }
void nObsGfx::PopMatrix(int type) { Log("pop " + std::to_string(type)); }
void nObsGfx::Begin(int primitive) { Log("begin " + std::to_string(primitive)); }
void nObsGfx::Coord(float x, float y, float z) { points.push_back({x, y, z, rgba[0], rgba[1], rgba[2], rgba[3]}); }
void nObsGfx::Rgba(float r, float g, float b, float a) {
    rgba[0] = r;
    rgba[1] = g;
    rgba[2] = b;
    rgba[3] = a;
}
void nObsGfx::End() { Log("end"); }

void nObsInput::Trigger(double time) {
    Log("input trigger");
    nInputServer::Trigger(time);
}
void nObsInput::FlushEvents() {
    Log("input flush");
    nInputServer::FlushEvents();
}
void nObsInput::Mouse(int type, int x, int y, int button) {
    nInputEvent* e = NewEvent();
    e->type = type;
    e->deviceId = N_INPUT_DEV_MOUSE;
    e->x = x;
    e->y = y;
    e->number = button;
    PostEvent(e);
}
int nObsInput::QueuedEvents() const {
    int n = 0;
    for (nInputEvent* e = FirstEvent(); e; e = NextEvent(e)) n++;
    return n;
}

void nObsAudio::BeginScene(double time) {
    Log(Format("audio begin %.2f", time));
    nAudioServer2::BeginScene(time);
}
void nObsAudio::EndScene() {
    Log("audio end");
    nAudioServer2::EndScene();
}

void nObsParticle::Trigger() { Log("particle"); }

void nObs2DServer::Trigger() {
    Log("gfx2d");
    nLogic2DServer::Trigger();
}

void nObsGraph::ReleaseQueued() {
    Log("lgraph release");
    nLogicGraph::ReleaseQueued();
}
void nObsGraph::TraversePass(nLogicNode* logicRoot) {
    Log(Format("lgraph traverse %.2f", ChannelValue("frametime")));
    nLogicGraph::TraversePass(logicRoot);
}
void nObsGraph::AnalyseCollisions() {
    Log("lgraph collisions");
    nLogicGraph::AnalyseCollisions();
}
void nObsGraph::Step(float frameTime) {
    Log(Format("lgraph step %.2f", frameTime));
    nLogicGraph::Step(frameTime);
}
void nObsGraph::VisualPass() {
    Log(Format("lgraph visual %.2f %.2f", ChannelValue("gametime"), ChannelValue("frametime")));
    nLogicGraph::VisualPass();
}

bool nObsRoot::Trigger(nLogicGraph* graph) {
    Log(Format("root trigger %.2f %.2f", ChannelValue("gametime"), ChannelValue("frametime")));
    bool on = nTestLogicNode::Trigger(graph);
    if (onTrigger) onTrigger();
    return on;
}

void TestClock::Sleep(int ms) {
    sleeps.push_back(ms);
    Log("sleep " + std::to_string(ms));
}

void ObserverFixture::SetUp() {
    GraphFixture::SetUp();
    nAudioPackage(kernel);
    nInputPackage(kernel);
    for (const nClassInfo* ci : {&nObsGfx::classInfo, &nObsInput::classInfo, &nObsAudio::classInfo,
                                 &nObsParticle::classInfo, &nObs2DServer::classInfo, &nObsGraph::classInfo,
                                 &nObsRoot::classInfo}) {
        kernel->AddClass(*ci);
    }
    kernel->GetTimeServer()->SetClock(&clock);
    gfx->Release();
    gfxServer = static_cast<nGfxServer*>(kernel->New(gfxClass, "/sys/servers/gfx"));
    ogfx = gfxServer->IsA("nobsgfx") ? static_cast<nObsGfx*>(gfxServer) : nullptr;
    gfx = ogfx;
    graph->Release();
    graph = static_cast<nLogicGraph*>(kernel->New("nobsgraph", "/sys/servers/lgraph"));
    input = static_cast<nObsInput*>(kernel->New("nobsinput", "/sys/servers/input"));
    kernel->New("nobsaudio", "/sys/servers/audio");
    kernel->New("nobsparticle", "/sys/servers/particle");
    gfx2d = static_cast<nObs2DServer*>(kernel->New("nobs2dserver", "/sys/servers/gfx2d"));
    chat = static_cast<nChatServer*>(kernel->New("nchatserver", "/sys/servers/chat"));
    root->Release();
    oroot = static_cast<nObsRoot*>(kernel->New("nobsroot", "/usr/logic"));
    root = oroot;
    obs = static_cast<nBaseObserver*>(kernel->New("nbaseobserver", "/sys/servers/observer"));
}

void ObserverFixture::TearDown() {
    kernel->GetTimeServer()->SetClock(nullptr);
    GraphFixture::TearDown();
}

void ObserverFixture::StartClock() {
    clock.Set(0.0);
    obs->ResetTime();
    logicEvents.clear();
}

std::vector<std::string> ObserverFixture::FrameLog() const {
    std::vector<std::string> out;
    for (const std::string& e : logicEvents) {
        if (e == "applyview" || e.compare(0, 9, "traverse ") == 0) continue;
        out.push_back(e);
    }
    return out;
}
