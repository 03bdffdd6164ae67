#pragma once
// The graph fixture plus what the frame loop drives: recording graphics, input, audio,
// particle and 2D logic servers writing into `logicEvents`, the real chat server, a
// logic root that logs its Trigger and can quit the loop, a clock the test moves that
// records sleeps, and the observer at "/sys/servers/observer".
#include <functional>
#include <string>
#include <vector>

#include "anim/nParticleServer.h"
#include "audio/nAudioServer2.h"
#include "input/nInputServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nLogic2DServer.h"
#include "platform/system/Clock.h"
#include "tests/logic/GraphFixture.h"

class nChatServer;

class nObsGfx : public nRecordingGfx {
public:
    static const nClassInfo classInfo;
    bool Trigger() override;
    bool BeginScene() override;
    void EndScene() override;
    bool SetDisplayMode(const char* mode) override;
    bool OpenDisplay() override;
    bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) override;
    void PushMatrix(int type) override;
    void PopMatrix(int type) override;
    void Begin(int primitive) override;
    void Coord(float x, float y, float z) override;
    void Rgba(float r, float g, float b, float a) override;
    void End() override;

    bool triggerResult = true;
    bool beginResult = true;
    // SetDisplayMode refuses modes containing this text ("" refuses none).
    std::string refuse;
    // Points of the immediate mode, in order, with the colour last set.
    struct Point {
        float x, y, z, r, g, b, a;
    };
    std::vector<Point> points;
    float rgba[4] = {1, 1, 1, 1};
    std::string mode;
};

class nObsInput : public nInputServer {
public:
    static const nClassInfo classInfo;
    void Trigger(double time) override;
    void FlushEvents() override;
    // Queues a mouse event (type 4 move at x, y; 6/7 press/release of `button`).
    void Mouse(int type, int x, int y, int button = 0);
    int QueuedEvents() const;
};

class nObsAudio : public nAudioServer2 {
public:
    static const nClassInfo classInfo;
    void BeginScene(double time) override;
    void EndScene() override;
};

class nObsParticle : public nParticleServer {
public:
    static const nClassInfo classInfo;
    void Trigger() override;
};

class nObs2DServer : public nLogic2DServer {
public:
    static const nClassInfo classInfo;
    void Trigger() override;
};

// The real graph, logging each pass; the traversal with the "frametime" the logic sees,
// the visual pass with the "gametime" and "frametime" it draws with.
class nObsGraph : public nLogicGraph {
public:
    static const nClassInfo classInfo;
    void ReleaseQueued() override;
    void TraversePass(nLogicNode* logicRoot) override;
    void AnalyseCollisions() override;
    void Step(float frameTime) override;
    void VisualPass() override;
};

// The logic root: logs its Trigger with the channels "gametime" and "frametime" as it
// reads them, then runs `onTrigger` when set.
class nObsRoot : public nTestLogicNode {
public:
    static const nClassInfo classInfo;
    bool Trigger(nLogicGraph* graph) override;
    std::function<void()> onTrigger;
};

class TestClock : public sys::Clock {
public:
    int64_t Ticks() override { return ticks; }
    int64_t Frequency() override { return 1000000; }
    void Sleep(int ms) override;
    void Set(double seconds) { ticks = int64_t(seconds * 1e6 + 0.5); }
    int64_t ticks = 0;
    std::vector<int> sleeps;
};

class ObserverFixture : public GraphFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // The frame's log without the test nodes' traversal detail.
    std::vector<std::string> FrameLog() const;
    // The clock at 0 and the observer's time restarted, with an empty log.
    void StartClock();
    // One frame at clock time `t`.
    bool FrameAt(double t) {
        clock.Set(t);
        return obs->RunFrame();
    }

    // Set by a derived fixture's constructor to run on another graphics server.
    const char* gfxClass = "nobsgfx";

    TestClock clock;
    nBaseObserver* obs = nullptr;
    // The server at "/sys/servers/gfx"; `ogfx` and `gfx` are null when it is no nObsGfx.
    nGfxServer* gfxServer = nullptr;
    nObsGfx* ogfx = nullptr;
    nObsInput* input = nullptr;
    nObs2DServer* gfx2d = nullptr;
    nObsRoot* oroot = nullptr;
    nChatServer* chat = nullptr;
};
