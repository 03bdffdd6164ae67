#pragma once
// Logic frames on the OpenGL device: the scene draw fixture plus the anim, collide,
// physics and logic classes, the variable server, a camera server whose camera stands at
// the origin and the logic graph; LogicFrame draws the tree at "/usr/logic" through the
// graph's traversal and visual pass.
#include "anim/nAnimPackage.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideServer2.h"
#include "logic/nCameraView.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "physics/nPhysikPackage.h"
#include "tests/scene/DrawFixture.h"

// A camera server whose current camera stands at the origin.
class nOriginCamera : public nRoot, public nCameraView {
public:
    static const nClassInfo classInfo;
    bool HasCurrentCamera() override { return true; }
    void ApplyView(nGfxServer* gfx, matrix44& view) override {
        gfx->SetMatrix(nGfxServer::VIEWER, matrix44());
        view.Ident();
    }
};
inline const nClassInfo nOriginCamera::classInfo = nClassInfo::Make<nOriginCamera>("norigincamera", "nroot");

class LogicDrawFixture : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        nAnimPackage(kernel);
        nCollidePackage(kernel);
        nPhysikPackage(kernel);
        nLogicPackage(kernel);
        kernel->AddClass(nOriginCamera::classInfo);
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("norigincamera", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
    }
    void TearDown() override {
        // The logic tree first: its bodies go before the physics server.
        if (physikServers) {
            if (nRoot* usr = kernel->Lookup("/usr")) usr->Release();
        }
        DrawFixture::TearDown();
    }
    // What a physics node needs: the collide contexts "picking" and "physik" and a
    // physics server.
    void MakePhysikServers() {
        auto* collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
        collide->NewContext("picking");
        collide->NewContext("physik");
        kernel->New("nodephysikserver", "/sys/servers/physik");
        physikServers = true;
    }
    void LogicFrame() {
        ASSERT_TRUE(BeginFrame());
        graph->TraversePass(static_cast<nLogicNode*>(kernel->Lookup("/usr/logic")));
        graph->VisualPass();
        gfx->EndScene();
    }

    nLogicGraph* graph = nullptr;
    bool physikServers = false;
};
