#include "app/AppMain.h"

#include <string>

#include "app/RegisterPackage.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideSetup.h"
#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nWin32LogHandler.h"
#include "logic/nBaseObserver.h"
#include "logic/nLogicObserverCamera.h"
#include "physics/nPhysikServer.h"
#include "platform/system/System.h"
#include "platform/window/DisplayProbe.h"
#include "platform/window/Window.h"
#include "platform/window/XDisplayWatch.h"
#include "script/nLuaServer2.h"

namespace {

// The window icon: our own image beside the start scripts, on the window whose id the
// graphics server keeps at "/sys/env/hwnd". A missing or broken image is logged and skipped.
void SetWindowIcon(nKernelServer* ks) {
    nRoot* hwnd = ks->Lookup("/sys/env/hwnd");
    if (!hwnd || !hwnd->IsA("nenv")) {
        ks->Print("AppMain: no window handle at /sys/env/hwnd, no icon\n");
        return;
    }
    // Read by its name on disk: the installation's folders may have capitals.
    std::string icon = ks->GetFileServer()->DiskPath("bin:brinewick.bmp");
    if (!window::SetWindowIcon(uint32_t(static_cast<nEnv*>(hwnd)->GetI()), icon.c_str())) {
        ks->Print("AppMain: no window icon from '%s'\n", icon.c_str());
    }
}

// The game whose saves run when the display's connection is lost.
AppMain* displayOwner = nullptr;

const char* const kDirectXError = "Sie ben\xC3\xB6tigen DirectX Version: 8.1 oder besser!\n";

}  // namespace

// The character and collide servers stand right after the anim and collide2 servers that
// their nodes are used with; the second script row finds the object the first made.
const AppMain::ServerRow AppMain::ServerRows[] = {
    {"nluaserver2", "/sys/servers/script"},
    {"nd3d8server", "/sys/servers/gfx"},
    {"nlogic2dserver", "/sys/servers/gfx2d"},
    {"ndi8server", "/sys/servers/input"},
    {"nscenegraph2", "/sys/servers/sgraph2"},
    {"nluaserver", "/sys/servers/script"},
    {"nsbufshadowserver", "/sys/servers/shadow"},
    {"nvariableserver", "/sys/servers/variable"},
    {"nchannelserver", "/sys/servers/channel"},
    {"nmathserver", "/sys/servers/math"},
    {"nparticleserver", "/sys/servers/particle"},
    {"ndsoundserver2", "/sys/servers/audio"},
    {"nanimserver", "/sys/servers/anim"},
    {"ncharacterserver", "/sys/servers/character"},
    {"nspecialfxserver", "/sys/servers/specialfx"},
    {"nxcollideserver", "/sys/servers/collide2"},
    {"ncollideserver", "/sys/servers/collide"},
    {"nodephysikserver", "/sys/servers/physik"},
    {"nlogiceventserver", "/sys/servers/event"},
    {"nenvelopeserver", "/sys/servers/envelope"},
    {"ncameraserver", "/sys/servers/camera"},
    {"nlogicgraph", "/sys/servers/lgraph"},
    {"nchatserver", "/sys/servers/chat"},
    {"nbwobserver", "/sys/servers/observer"},
};
const int AppMain::NumServerRows = int(sizeof(ServerRows) / sizeof(ServerRows[0]));

// The tools go first: the macros are saved as they go, through the script and persistence
// servers.
const char* const AppMain::ReleaseOrder[] = {
    "/sys/servers/plugin",
    "/usr/logic/observercam",  "/usr/logic",           "/usr",
    "/sys/servers/observer",   "/sys/servers/chat",    "/sys/servers/lgraph",
    "/sys/servers/camera",     "/sys/servers/envelope", "/sys/servers/event",
    "/sys/servers/physik",     "/sys/servers/collide", "/sys/servers/collide2",
    "/sys/servers/shadow",     "/sys/servers/variable", "/sys/servers/channel",
    "/sys/servers/math",       "/sys/servers/particle", "/sys/servers/specialfx",
    "/sys/servers/character",  "/sys/servers/anim",    "/sys/servers/audio",
    "/sys/servers/sgraph2",    "/sys/servers/input",   "/sys/servers/gfx2d",
    "/sys/servers/gfx",        "/sys/servers/script",
};
const int AppMain::NumReleaseOrder = int(sizeof(ReleaseOrder) / sizeof(ReleaseOrder[0]));

AppMain::AppMain(void (*package)(nKernelServer*)) : package_(package ? package : RegisterPackage) {}

AppMain::~AppMain() {
    if (kernel_) Shutdown();
}

void AppMain::Phase(const char* text) { kernel_->Print("AppMain: %s\n", text); }

nBaseObserver* AppMain::GetObserver() const {
    return kernel_ ? static_cast<nBaseObserver*>(kernel_->Lookup("/sys/servers/observer")) : nullptr;
}

void AppMain::Build() {
    kernel_ = new nKernelServer(package_);
    log_ = new nWin32LogHandler(AppName);
    kernel_->SetLogHandler(log_);
    Phase("kernel and log handler");

    kernel_->ReplaceFileServer("nnpkfileserver");
    auto* files = static_cast<nNpkFileServer*>(kernel_->Lookup("/sys/servers/file2"));
    if (!files || !files->IsA("nnpkfileserver")) nKernelServer::FatalError("Aborting.");
    int archives = files->ParseDirectory("home:repository");
    archives += files->ParseDirectory("home:");
    kernel_->Print("AppMain: file server nnpkfileserver at /sys/servers/file2, %d archives\n", archives);

    for (const ServerRow& row : ServerRows) {
        kernel_->New(row.className, row.path);
        kernel_->Print("AppMain: server %s at %s\n", row.className, row.path);
    }

    // SIGINT, SIGTERM and a closed window end the game cleanly, also while a script loops.
    nLuaServer2::CatchStopSignals(dynamic_cast<nLuaServer2*>(kernel_->Lookup("/sys/servers/script")),
                                  window::Window::CloseWaiting);
    Phase("stop signals");
    displayOwner = this;
    window::XDisplayWatch::SetOnLost(&AppMain::DisplayLost);

    auto* input = static_cast<nInputServer*>(kernel_->Lookup("/sys/servers/input"));
    input->BeginMap();
    static const char* const mappings[][2] = {
        {"keyb0:ctrl.down", "watch_on"},        {"keyb0:ctrl.up", "watch_off"},
        {"keyb0:space.down", "reset"},          {"keyb0:tab.down", "console"},
        {"relmouse0:btn0.pressed", "orbit"},    {"relmouse0:btn1.pressed", "dolly"},
        {"relmouse0:btn2.pressed", "pan"},
    };
    for (const auto& m : mappings) input->Map(m[0], m[1]);
    input->EndMap();
    Phase("input mappings");

    nCollideDefaultSetup(static_cast<nCollideServer2*>(kernel_->Lookup("/sys/servers/collide2")));
    Phase("collision contexts, classes and types");

    kernel_->New("nlogicnode", "/usr/logic");
    kernel_->New("nlogicobservercamera", "/usr/logic/observercam");
    Phase("logic root and observer camera");

    auto* gfx = static_cast<nGfxServer*>(kernel_->Lookup("/sys/servers/gfx"));
    gfx->SetClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    static_cast<nPhysikServer*>(kernel_->Lookup("/sys/servers/physik"))->SetGravity(vector3(0.0f, -4.0f, 0.0f));
    gfx->SetWindowTitle(AppName);
    Phase("clear colour, gravity, window title");
    SetWindowIcon(kernel_);
    Phase("window icon");
}

void AppMain::OpenDisplay() {
    auto* gfx = static_cast<nGfxServer*>(kernel_->Lookup("/sys/servers/gfx"));
    // The text is the format itself: its line breaks are the engine's own, and a quoted
    // text's would be escaped.
    if (!GetObserver()->OpenDisplay(true, gfx)) {
        nKernelServer::FatalError(
            "Fehler: Konnte kein DirectX Display erstellen.\n Stellen sie sicher das sowohl DirectX 8.1 oder besser "
            "installiert ist,\nund \xC3\xBC"
            "berpr\xC3\xBC"
            "fen sie ob ihre Grafikkarte den Systemvorraussetzungen entspricht!");
    }
    Phase("display open");

    auto* camera = static_cast<nLogicObserverCamera*>(kernel_->Lookup("/usr/logic/observercam"));
    camera->SetPosition(vector3(0.0f, 2.0f, 8.0f));
    camera->SetPickEnable(true);
    camera->SetCurrent();
    Phase("observer camera current");

    if (gfx->BeginScene()) gfx->EndScene();
    Phase("first frame presented");
}

void AppMain::RunStartScripts() {
    auto* script = static_cast<nScriptServer*>(kernel_->Lookup("/sys/servers/script"));
    const char* result = nullptr;
    Phase("script bin:init_bw.n");
    if (!script->RunScript("bin:init_bw.n", result)) kernel_->Print("AppMain: bin:init_bw.n failed\n");

    nBaseObserver* observer = GetObserver();
    observer->AddLoadingScreen("/usr/loadingscreen");
    Phase("loading screen /usr/loadingscreen");
    Phase("script bin:init_repository.n");
    if (!observer->RunScript("bin:init_repository.n")) kernel_->Print("AppMain: bin:init_repository.n failed\n");
    observer->SetGameState(0x4000, true);
    Phase("game state 0x4000");

    Phase("script bin:init_menue.n");
    if (!script->RunScript("bin:init_menue.n", result)) kernel_->Print("AppMain: bin:init_menue.n failed\n");
    observer->SetSleep(1.0f / 34.0f);
    Phase("frame sleep 1/34 s");
}

void AppMain::Loop() {
    Phase("main loop");
    GetObserver()->Run();
    Phase("main loop ended");
}

int AppMain::Shutdown() {
    if (!kernel_) return ExitOk;
    Phase("shutdown");
    // The player has quit: nothing may wait for a click any more. A stop signal whose quit
    // the window reached first is answered here, so that shutdown's saves run.
    kernel_->GetLogHandler()->SetEnding();
    if (auto* script = dynamic_cast<nLuaServer2*>(kernel_->Lookup("/sys/servers/script"))) script->AnswerStop();
    if (auto* gfx = static_cast<nGfxServer*>(kernel_->Lookup("/sys/servers/gfx"))) gfx->CloseDisplay();
    window::Window::HideAll();
    // Scripts may have deleted any of these: only what is still there is released.
    for (const char* path : ReleaseOrder) {
        if (nRoot* obj = kernel_->Lookup(path)) {
            kernel_->Print("AppMain: release %s\n", path);
            obj->Release();
        }
    }
    if (displayOwner == this) {
        displayOwner = nullptr;
        window::XDisplayWatch::SetOnLost(nullptr);
    }
    Phase("kernel");
    delete kernel_;
    kernel_ = nullptr;
    delete log_;
    log_ = nullptr;
    return ExitOk;
}

int AppMain::DisplayLost() {
    AppMain* app = displayOwner;
    if (!app || !app->kernel_) return ExitDisplayLost;
    // Every later step would wait on the dead connection (closing the display, the input
    // and graphics servers), and no box can show.
    app->Phase("display lost");
    app->Phase("shutdown");
    app->kernel_->GetLogHandler()->SetEnding();
    if (nRoot* tools = app->kernel_->Lookup(ReleaseOrder[0])) {
        app->kernel_->Print("AppMain: release %s\n", ReleaseOrder[0]);
        tools->Release();
    }
    app->Phase("the rest ends with the process");
    return ExitDisplayLost;
}

int AppMain::WinMain() {
    if (!window::ProbeDisplayCapabilities()) {
        sys::ShowMessageBox("Error", kDirectXError, true);
        return ExitNoDisplayCapability;
    }
    AppMain app;
    return app.Run();
}
