#pragma once
// The observer fixture with the tools' classes, "bin:" in the test's own folder, and
// helpers that feed the layer as the window pump would.
#include <string>

#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"
#include "platform/window/WindowMessage.h"
#include "tests/logic/ObserverFixture.h"
#include "tools/nPlugin.h"
#include "tools/nPluginServer.h"

// A plugin whose Trigger logs its name and then runs `onTrigger`.
class nTestPlugin : public nPlugin {
public:
    static const nClassInfo classInfo;
    bool Trigger() override;
    std::function<void()> onTrigger;
};

class ToolsFixture : public ObserverFixture {
protected:
    void SetUp() override;

    nPluginServer* MakePluginServer();
    ui::Host* Host() { return plugins ? plugins->GetUiHost() : nullptr; }
    // Hands the layer a message as the pump would; true when the layer took it.
    bool Send(window::MessageKind kind, int x = 0, int y = 0, int button = 0, int key = 0);
    // A left click at (x, y) between two layer frames, then the frame that sees the release.
    void Click(int x, int y);
    void LayerFrame() { Host()->Frame(800, 600, 0.03f); }

    nPluginServer* plugins = nullptr;
    std::string bin;
};
