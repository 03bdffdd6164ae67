// 200 physics logic nodes, unit boxes standing on a floor node, through one frame of the
// logic graph's traversal, collision, contact analysis, world step and StepPhysik,
// against the same bodies and shapes driven by hand through the collide and physics
// servers: objects registered, contacts found, the deepest made joints, the world
// stepped and the matrices read back.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/BenchLogicKernel.h"
#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicPhysik2.h"
#include "logic/nModExactCollision.h"
#include "logic/nModPhysik.h"
#include "logic/nModuleState.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikMass.h"
#include "physics/nPhysikServer.h"
#include "scene/nChannelServer.h"

namespace {

constexpr int kBoxes = 200;
constexpr float kFrame = 1.0f / 30.0f;

// A box's place in a 20 x 10 grid, standing on the floor's top at y = 0.
vector3 GridPlace(int i, float xOffset) {
    return vector3(xOffset + float(i % 20) * 2.0f - 19.0f, 0.5f, float(i / 20) * 2.0f - 9.0f);
}

class PhysikBench {
public:
    PhysikBench() {
        kernel = bench::NewLogicKernel();
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        kernel->New("nluaserver2", "/sys/servers/script");
        kernel->New("ngfxserver", "/sys/servers/gfx");
        channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nlogiceventserver", "/sys/servers/event");
        collide = static_cast<nCollideServer2*>(kernel->New("nxcollideserver", "/sys/servers/collide2"));
        collide->NewContext("picking");
        ctx = collide->NewContext("physik");
        collide->BeginCollClasses();
        collide->AddCollClass("solid");
        collide->EndCollClasses();
        collide->BeginCollTypes();
        collide->AddCollType("solid", "solid", COLLTYPE_EXACT);
        collide->EndCollTypes();
        physik = static_cast<nPhysikServer*>(kernel->New("nodephysikserver", "/sys/servers/physik"));
        kernel->New("nbenchcamera", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        channels->SetChannel1f(channels->GenChannel("frametime"), kFrame);
        auto* floor = static_cast<nLogicCollision2*>(kernel->New("nlogiccollision2", "/usr/logic/floor"));
        floor->SetPosition(vector3(0.0f, -0.5f, 0.0f));
        auto* floorShape = static_cast<nModExactCollision*>(kernel->New("nmodexactcollision", "/usr/logic/floor/shape"));
        floorShape->SetCollClass("solid");
        floorShape->SetBox(60.0f, 1.0f, 60.0f);
        floor->AddCollision("physik", "shape");
        floor->SetCollContext("physik", "physik");
        for (int i = 0; i < kBoxes; i++) {
            std::string path = "/usr/logic/box" + std::to_string(i);
            auto* box = static_cast<nLogicPhysik2*>(kernel->New("nlogicphysik2", path.c_str()));
            box->SetPosition(GridPlace(i, 0.0f));
            auto* shape = static_cast<nModExactCollision*>(kernel->New("nmodexactcollision", (path + "/shape").c_str()));
            shape->SetCollClass("solid");
            shape->SetBox(1.0f, 1.0f, 1.0f);
            shape->SetDynamic(true);
            box->AddCollision("physik", "shape");
            static_cast<nModPhysik*>(kernel->New("nmodphysik", (path + "/mass").c_str()))->SetBox(1.0f, 1.0f, 1.0f);
            box->AddPhysik("physik", "mass");
            boxes.push_back(box);
        }
        MakeRaw();
    }
    ~PhysikBench() {
        for (Raw& r : raw) {
            delete r.body;
            delete r.mass;
            delete r.state;
            r.obj.shape = nullptr;
        }
        floorObj.shape = nullptr;
        if (boxShape) boxShape->Release();
        if (floorShape) floorShape->Release();
        delete kernel;
    }

    // One frame of the logic graph's passes.
    void GraphFrame() {
        for (nLogicPhysik2* b : boxes) b->SetPhysik(true);
        // The nodes' clocks advance here, and with them their collision modules' times.
        root->Trigger(graph);
        graph->TraversePass(root);
        graph->AnalyseCollisions();
        graph->Step(kFrame);
    }

    // The same world by hand, beside the graph's (far away on x).
    struct Raw {
        nPhysikBody* body = nullptr;
        nPhysikMass* mass = nullptr;
        nModuleState* state = nullptr;
        nCollideObject2 obj;
        matrix44 matrix;
    };
    void MakeRaw() {
        boxShape = collide->NewShape(nCollideShape2::BOX, "box_1_1_1");
        floorShape = collide->NewShape(nCollideShape2::BOX, "raw_floor");
        floorShape->SetBoxSides(vector3(60, 1, 60));
        int solid = collide->QueryCollClass("solid");
        floorObj.shape = floorShape;
        floorObj.classIndex = solid;
        floorObj.curMatrix.SetTranslation(vector3(1000.0f, -0.5f, 0.0f));
        floorObj.prevMatrix = floorObj.curMatrix;
        floorState = new nModuleState("floor", nullptr);
        floorObj.state = floorState;
        // The context never pairs objects of one owner: the graph's nodes stand in.
        floorObj.owner = root;
        raw = std::vector<Raw>(kBoxes);
        for (int i = 0; i < kBoxes; i++) {
            Raw& r = raw[size_t(i)];
            r.body = physik->CreateBody();
            r.mass = physik->CreateMass(nPhysikMass::BOX);
            r.mass->SetBox(vector3(1, 1, 1));
            r.state = new nModuleState("physik", nullptr);
            r.obj.shape = boxShape;
            r.obj.classIndex = solid;
            r.obj.state = r.state;
            r.obj.owner = boxes[size_t(i)];
            r.matrix.SetTranslation(GridPlace(i, 1000.0f));
            r.obj.curMatrix = r.matrix;
            r.body->SetMatrix(r.matrix);
        }
    }
    void RawFrame() {
        collide->BeginFrame();
        physik->SetInFrame(true);
        physik->ClearBodies();
        for (Raw& r : raw) {
            r.obj.prevMatrix = r.obj.curMatrix;
            r.obj.curMatrix = r.matrix;
            r.obj.motion = r.obj.curMatrix.Translation() - r.obj.prevMatrix.Translation();
            r.obj.dynamic = r.obj.motion.x != 0.0f || r.obj.motion.y != 0.0f || r.obj.motion.z != 0.0f;
            r.obj.ClearCounts();
            ctx->AddObject(&r.obj);
            r.body->ResetMass();
            r.body->SetMatrix(r.matrix);
            r.body->AddMass(r.mass);
            r.body->SetMass();
            physik->AddBody(r.body);
        }
        floorObj.ClearCounts();
        ctx->AddObject(&floorObj);
        collide->EndFrame();
        physik->SetInFrame(false);
        collide->Collide();
        nCollideReport* kept[nLogicPhysik2::MaxContacts];
        for (Raw& r : raw) {
            nCollideReport** list = nullptr;
            int n = ctx->GetContacts(r.state, list);
            n = nLogicPhysik2::KeepDeepest(list, n, kept);
            for (int k = 0; k < n; k++) {
                if (kept[k]->objA == &r.obj) physik->AddCollisionJoint(r.body, *kept[k]);
            }
        }
        physik->WorldStep(kFrame);
        for (Raw& r : raw) r.matrix = r.body->GetMatrix();
    }

    nKernelServer* kernel;
    nChannelServer* channels;
    nCollideServer2* collide;
    nCollideContext2* ctx;
    nPhysikServer* physik;
    nLogicGraph* graph;
    nLogicNode* root;
    std::vector<nLogicPhysik2*> boxes;
    std::vector<Raw> raw;
    nCollideShape2* boxShape = nullptr;
    nCollideShape2* floorShape = nullptr;
    nCollideObject2 floorObj;
    nModuleState* floorState = nullptr;
};

void BM_PhysikNodesFrame(benchmark::State& state) {
    PhysikBench b;
    for (int i = 0; i < 30; i++) b.GraphFrame();
    for (auto _ : state) {
        b.GraphFrame();
        benchmark::DoNotOptimize(b.graph->GetPhysikCount());
    }
    int touching = 0;
    for (nLogicPhysik2* box : b.boxes) touching += box->HadContacts() ? 1 : 0;
    state.counters["touching"] = touching;
    state.counters["height"] = b.boxes[0]->GetPosition().y;
}
BENCHMARK(BM_PhysikNodesFrame)->Unit(benchmark::kMicrosecond);

void BM_RawServersFrame(benchmark::State& state) {
    PhysikBench b;
    for (int i = 0; i < 30; i++) b.RawFrame();
    for (auto _ : state) {
        b.RawFrame();
        benchmark::DoNotOptimize(b.raw[0].matrix);
    }
    state.counters["height"] = b.raw[0].matrix.m[3][1];
}
BENCHMARK(BM_RawServersFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
