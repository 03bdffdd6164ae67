#pragma once
// The object that drives the running game (script class "nbaseobserver", made by the
// start-up at "/sys/servers/observer"): Run loops over RunFrame until the window closes,
// a script quits or Quit is called. A frame measures the clamped frame time, fires
// events, reads input, releases queued nodes, updates the logic, steps physics, draws
// the scene, the 2D nodes and the overlays, presents, flushes input and sleeps. The
// observer also opens the display, lists save games, shows loading screens and draws a
// debug grid and queued debug lines.
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/nArray.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"
#include "kernel/vector3.h"
#include "script/nMainLoop.h"

class nAudioServer2;
class nChannelServer;
class nChatServer;
class nGfxServer;
class nInputServer;
class nLogic2DServer;
class nLogicEventServer;
class nLogicGraph;
class nLogicNode;
class nObserver;
class nParticleServer;
class nScriptServer;

class nBaseObserver : public nRoot, public nMainLoop {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxSaveGames = 256;
    static constexpr int MaxSaveNameLength = 39;

    nBaseObserver();
    ~nBaseObserver() override;

    virtual void ToggleChatInput();
    virtual bool RunFrame();
    virtual void DrawGrid(nGfxServer* gfx, const matrix44& view);
    virtual void DrawLineGroups(nGfxServer* gfx);
    virtual const char* GetType() const { return "baseobserver"; }
    virtual void SetSleep(float seconds) { sleep_ = seconds; }
    virtual float GetSleep() const { return sleep_; }
    virtual void SetGrid(bool on) { grid_ = on; }
    virtual bool GetGrid() const { return grid_; }
    // The main loop; returns when the loop ends. It times each frame with the profiler
    // "frame" (published as "/sys/var/prof_frame"), and while it runs the log handler's
    // error texts show in the chat overlay for its fade-out time, without a box.
    virtual bool Run();
    // Restarts the clock and takes the channel indices, without looping.
    virtual void ResetTime();
    virtual bool Step() { return RunFrame(); }
    // The frame's phases after its timing.
    virtual void Trigger();
    // Called each frame once the logic's timers and scripts have run, before the frame draws.
    virtual void LogicRan() {}
    void Quit() override { keepRunning_ = false; }
    // Refuses (logged; the root stays) a path that names no logic node now.
    virtual void SetLogicRoot(const char* path);
    // Fatal "Aborting." when the root does not resolve.
    virtual nLogicNode* GetLogicRoot();
    const char* GetLogicRootPath() const;
    virtual void AddLineGroup(const matrix44& transform, float r, float g, float b, float a);
    // Appended to the newest queued group; logged and dropped when none is queued.
    virtual void AddLinePoint(const vector3& p);
    // The first mode of the fallback list that the server takes and opens wins.
    virtual bool OpenDisplay(bool fullScreen, nGfxServer* gfx);
    // `origin` is that of the file's name: a map file that data named runs at the data level.
    virtual bool RunScript(const char* fileName, nScriptServer::Origin origin = nScriptServer::Origin::Person);
    // Save games in "save:", newest first, joined by ","; "" without the folder.
    virtual const char* GetSaveGames();
    // Whether a load of the save game `name` finds its file in "save:" (a readable regular
    // file by the name the load opens), however many newer ones lie beside it.
    bool HasSaveGame(const char* name);
    // "save:<name>.n" for an acceptable save name (a leading "save:" dropped), "" for
    // one that could not be listed and loaded again by its name.
    static std::string SaveFile(const char* name);
    virtual void SetSkipSleep(bool on) { skipSleep_ = on; }
    virtual void IncLoading(int counter);
    virtual bool GetGameState(uint32_t mask) const { return (gameState_ & mask) != 0; }
    virtual void SetGameState(uint32_t mask, bool on);

    // The engine's viewer started inside a frame of this loop: it runs in the loop's frames
    // in place of the game's until it stops. False, changing nothing, while another runs.
    bool SetViewer(nObserver* viewer);

    // Registers a loading screen by path; one that names nothing, or no logic node, is
    // logged and ignored.
    void AddLoadingScreen(const char* path);
    // The running counter "v_incloading_v" passes.
    int NextLoadingCounter() { return incLoadingCounter_++; }
    int GetNumLoadingScreens() const { return loadingScreens_.Size(); }
    int GetLoadingIndex() const { return loadingIndex_; }
    bool GetSkipSleep() const { return skipSleep_; }
    bool GetKeepRunning() const { return keepRunning_; }
    double GetGameTime() const { return gameTime_; }
    float GetFrameTime() const { return frameTime_; }
    uint32_t GetGameStateWord() const { return gameState_; }
    int GetNumQueuedLineGroups() const;
    int GetNumPooledLineGroups() const;
    int GetNumPooledLinePoints() const;

    // True when the text after the last '.' is exactly `ext` (and not empty).
    static bool HasExtension(const char* text, const char* ext);

protected:
    // The person's keys that still count while the viewer runs in the loop's frames, run
    // after its input step; the base has none.
    virtual void ViewerKeys() {}

    struct LinePoint {
        LinePoint* next;
        float x, y, z;
    };
    struct LineGroup {
        LineGroup* next;
        LinePoint* first;
        LinePoint* last;
        matrix44 transform;
        float color[4];
    };

    nArray<nPathRef<nLogicNode>*> loadingScreens_{8, 8};
    int loadingIndex_ = 0;
    int incLoadingCounter_ = 0;
    float sleep_ = 0.0f;
    bool grid_ = false;
    bool keepRunning_ = true;
    bool skipSleep_ = false;
    bool rootMissingLogged_ = false;
    LineGroup* queueHead_ = nullptr;
    LineGroup* queueTail_ = nullptr;
    LineGroup* freeGroups_ = nullptr;
    LinePoint* freePoints_ = nullptr;
    int gametimeChannel_ = -1;
    int frametimeChannel_ = -1;
    double previousTime_ = 0.0;
    double gameTime_ = 0.0;
    float frameTime_ = 0.0f;
    uint32_t gameState_ = 0;
    nString saveGames_;

    nPathRef<nGfxServer> refGfx_{"/sys/servers/gfx"};
    nPathRef<nAudioServer2> refAudio_{"/sys/servers/audio"};
    nPathRef<nInputServer> refInput_{"/sys/servers/input"};
    nPathRef<nRoot> refConsole_{"/sys/servers/console"};
    nPathRef<nScriptServer> refScript_{"/sys/servers/script"};
    nPathRef<nRoot> refSceneGraph_{"/sys/servers/sgraph2"};
    nPathRef<nChannelServer> refChannel_{"/sys/servers/channel"};
    nPathRef<nParticleServer> refParticle_{"/sys/servers/particle"};
    nPathRef<nRoot> refSpecialFx_{"/sys/servers/specialfx"};
    nPathRef<nLogic2DServer> refGfx2d_{"/sys/servers/gfx2d"};
    nPathRef<nLogicGraph> refGraph_{"/sys/servers/lgraph"};
    nPathRef<nLogicEventServer> refEvent_{"/sys/servers/event"};
    nPathRef<nLogicNode> refLogicRoot_{"/usr/logic"};
    nPathRef<nChatServer> refChat_{"/sys/servers/chat"};
    nPathRef<nRoot> refPlugin_{"/sys/servers/plugin"};

private:
    // The log handler's play display: adds `text` to the chat overlay as a report (at most
    // two rows; a repeat while it shows counts on its line), or nothing without a chat.
    static void ShowInChat(void* self, const char* text);
    void TakeChannels();
    // The logic root, or null (logged once until it resolves again).
    nLogicNode* FindLogicRoot();
    void ReleaseLineRecords();
    // The frame's sleep, held to the longest a frame may sleep.
    void SleepFrame();
    // A frame of the running viewer in place of the game's; false when none runs.
    bool RunViewerFrame();

    nRef<nObserver> viewer_;
};
