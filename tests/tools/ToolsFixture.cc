#include "tests/tools/ToolsFixture.h"

#include <filesystem>

#include "kernel/nFileServer2.h"
#include "tools/nToolsPackage.h"

const nClassInfo nTestPlugin::classInfo = nClassInfo::Make<nTestPlugin>("ntestplugin", "nplugin");

bool nTestPlugin::Trigger() {
    logicEvents.push_back(std::string("trigger ") + (GetName() ? GetName() : "?"));
    if (onTrigger) onTrigger();
    return true;
}

void ToolsFixture::SetUp() {
    ObserverFixture::SetUp();
    nToolsPackage(kernel);
    kernel->AddClass(nTestPlugin::classInfo);
    bin = Path("bin/");
    std::filesystem::create_directories(bin);
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("bin", bin.c_str()));
}

nPluginServer* ToolsFixture::MakePluginServer() {
    plugins = static_cast<nPluginServer*>(kernel->New("npluginserver", "/sys/servers/plugin"));
    return plugins;
}

bool ToolsFixture::Send(window::MessageKind kind, int x, int y, int button, int key) {
    window::Message m;
    m.kind = kind;
    m.x = x;
    m.y = y;
    m.button = button;
    m.virtualKey = key;
    m.character = key;
    return Host()->HandleMessage(m);
}

void ToolsFixture::Click(int x, int y) {
    Send(window::MessageKind::MouseMove, x, y);
    Send(window::MessageKind::ButtonDown, x, y, 0);
    Send(window::MessageKind::ButtonUp, x, y, 0);
    LayerFrame();
    LayerFrame();
}
