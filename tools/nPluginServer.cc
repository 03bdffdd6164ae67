#include "tools/nPluginServer.h"

#include "platform/ui/Host.h"
#include "tools/nPlugin.h"

const nClassInfo nPluginServer::classInfo = nClassInfo::Make<nPluginServer>("npluginserver", "nroot");

nPluginServer::nPluginServer() : host_(std::make_shared<ui::Host>()) {
    HookInput();
}

nPluginServer::~nPluginServer() {
    nGfxServer* gfx = hooked_.GetUnsafe();
    if (gfx && gfx->GetUiHost() == host_.get()) gfx->SetUiHost(nullptr);
}

void nPluginServer::HookInput() {
    nGfxServer* gfx = refGfx_.Resolve();
    // Also taken back from a second plugin server (made by a script) that took it and went,
    // which would leave the tools without input for the rest of the session.
    if (!gfx || gfx->GetUiHost() == host_.get()) return;
    gfx->SetUiHost(host_.get());
    hooked_ = gfx;
}

bool nPluginServer::Trigger() {
    const nRef<nRoot> self(this);
    walk_.clear();
    for (nRoot* child = GetHead(); child; child = child->GetSucc()) {
        if (auto* plugin = dynamic_cast<nPlugin*>(child)) walk_.emplace_back(plugin);
    }
    // Plugins may delete plugins, or the server, while the walk runs.
    for (size_t i = 0; i < walk_.size(); i++) {
        nPlugin* plugin = walk_[i].GetUnsafe();
        if (!plugin || !plugin->GetActive()) continue;
        plugin->Trigger();
        if (!self.IsValid()) return true;
    }
    walk_.clear();
    return true;
}

void nPluginServer::RunTools(float frameTime) {
    const nRef<nRoot> self(this);
    const std::shared_ptr<ui::Host> host = host_;
    HookInput();
    Trigger();
    if (!self.IsValid()) return;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (nGfxServer* gfx = refGfx_.Resolve()) gfx->GetDisplayDesc(x0, y0, x1, y1);
    // The frame may run scripts that delete the server: nothing of it is used afterwards.
    host->Frame(x1 - x0, y1 - y0, frameTime);
}
