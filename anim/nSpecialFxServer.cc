#include "anim/nSpecialFxServer.h"

#include "kernel/nKernelServer.h"
#include "scene/nSceneGraph2.h"
#include "scene/nVisNode.h"

const nClassInfo nSpecialFxServer::classInfo = nClassInfo::Make<nSpecialFxServer>("nspecialfxserver", "nroot");

nSpecialFxServer::nSpecialFxServer() : root_("/sys/servers/specialfx/root") {}

nSpecialFxServer::~nSpecialFxServer() = default;

void nSpecialFxServer::Reset() {
    active_ = false;
    red_ = green_ = blue_ = alpha_ = 0.0f;
}

bool nSpecialFxServer::Attach(nSceneGraph2* sceneGraph) {
    nRoot* root = root_.Resolve();
    if (!root || !sceneGraph) return false;
    if (!root->IsA(nVisNode::classInfo.name)) {
        n_error("nSpecialFxServer: '/sys/servers/specialfx/root' is no visual node\n");
        return false;
    }
    // Effects keep their per-context state (particles) under context 0.
    sceneGraph->SetRenderContext(0);
    return static_cast<nVisNode*>(root)->Attach(sceneGraph);
}

static float Clamp01(float v) {
    return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v);
}

void nSpecialFxServer::AddColor(float r, float g, float b, float a) {
    red_ = Clamp01(red_ + r);
    green_ = Clamp01(green_ + g);
    blue_ = Clamp01(blue_ + b);
    alpha_ = Clamp01(alpha_ + a);
    active_ = true;
}

bool nSpecialFxServer::GetColor(float& r, float& g, float& b, float& a) const {
    r = red_;
    g = green_;
    b = blue_;
    a = alpha_;
    return active_;
}
