#pragma once
// The home of the in-game tools at "/sys/servers/plugin" (script class "npluginserver"):
// it owns the widget layer their windows live in, hands that layer the game window's
// input through the graphics server, and once a frame triggers its active plugins and
// builds the tool windows.
#include <memory>
#include <vector>

#include "gfx/nGfxServer.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "logic/nToolPass.h"

class nPlugin;
namespace ui {
class Host;
}

class nPluginServer : public nRoot, public nToolPass {
public:
    static const nClassInfo classInfo;

    nPluginServer();
    ~nPluginServer() override;

    // Triggers each active plugin in child order; stops when a plugin's work deleted the
    // server. True.
    virtual bool Trigger();
    // Trigger, then the tool windows' frame with the display's size.
    void RunTools(float frameTime) override;

    ui::Host* GetUiHost() const { return host_.get(); }

private:
    // Puts the layer between the graphics server's pump and the game's input.
    void HookInput();

    // Shared so that a frame running a script that deletes the server finishes on it.
    std::shared_ptr<ui::Host> host_;
    nPathRef<nGfxServer> refGfx_{"/sys/servers/gfx"};
    nRef<nGfxServer> hooked_;
    std::vector<nRef<nPlugin>> walk_;
};
