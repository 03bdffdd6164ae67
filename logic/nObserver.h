#pragma once
// The engine's own viewer loop (script class "nobserver"): "v_start_v" renders the scene
// tree "/usr/scene" frame by frame through the scene graph, steps the console and the
// remote server, and orbits the scene with the mapped input states "turnleft",
// "turnright", "turnup", "turndown", "zoomin", "zoomout", "resetrot" and "resetzoom",
// until "v_stop_v", a closed window or the script server ends it. Started while the
// game's observer runs a frame (a tool's or a console's line), it runs in the game's frames
// instead of a loop of its own, with keys of its own (Esc leaves it), until it stops and
// the game goes on where it was.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "script/nMainLoop.h"

class nAudioServer2;
class nBaseObserver;
class nChannelServer;
class nConServer;
class nGfxServer;
class nInputServer;
class nParticleServer;
class nSceneGraph2;
class nScriptServer;
class n3DNode;

class nObserver : public nRoot, public nMainLoop {
public:
    static const nClassInfo classInfo;

    nObserver();
    ~nObserver() override;

    // Runs the loop; returns when it stopped. Inside a frame of the game's observer it
    // takes over the game's frames (see InGameKeys) and returns at once. Refused, with a
    // log line, while the viewer already runs and when "/usr/scene" is no "n3dnode".
    // Missing servers are fatal.
    bool Start();
    // Ends the loop at the start of the next frame; in the game's frames the game's keys,
    // clock and frames come back at once. Nothing while the viewer does not run.
    void Stop();
    void Quit() override { Stop(); }
    bool IsRunning() const { return running_; }

    void SetGrid(bool on) { grid_ = on; }
    bool GetGrid() const { return grid_; }

    float GetYaw() const { return yaw_; }
    float GetPitch() const { return pitch_; }
    float GetZoom() const { return zoom_; }
    float GetFrameTime() const { return frameTime_; }

    bool IsInGame() const { return inGame_; }

    // One frame: false when the loop is to end.
    bool Frame();
    // A frame's first half after the window's and the script server's steps: the clock,
    // the remote lines, the input, Esc, the tools. False when the viewer stopped or was
    // released meanwhile (then nothing of it may be used).
    bool Advance();
    // The frame's second half: the orbit and the picture, with the tools over it.
    void Render();

    // The keys the viewer maps in the game's frames, in place of the game's, which come
    // back when it stops: {event, input state}. The tools' key F12 keeps the game's meaning.
    struct KeyMap {
        const char* event;
        const char* state;
    };
    static const KeyMap InGameKeys[];

private:
    // The game's observer when it is running a frame now, else null.
    nBaseObserver* RunningGame() const;
    bool StartInGame(nBaseObserver* game);
    // Gives the game back its keys and clock and the scene its render context.
    void Leave();
    // Lets Esc through the tools' layer that exists now, in the game's frames.
    void KeepEscFromTools();
    void MoveCamera(n3DNode* scene);
    void DrawGrid(nGfxServer* gfx, const matrix44& view);

    nPathRef<nGfxServer> refGfx_{"/sys/servers/gfx"};
    nPathRef<nInputServer> refInput_{"/sys/servers/input"};
    nPathRef<nAudioServer2> refAudio_{"/sys/servers/audio"};
    nPathRef<nConServer> refConsole_{"/sys/servers/console"};
    nPathRef<nScriptServer> refScript_{"/sys/servers/script"};
    nPathRef<nSceneGraph2> refSceneGraph_{"/sys/servers/sgraph2"};
    nPathRef<nChannelServer> refChannel_{"/sys/servers/channel"};
    nPathRef<nParticleServer> refParticle_{"/sys/servers/particle"};
    nPathRef<nRoot> refScene_{"/usr/scene"};
    nPathRef<nRoot> refPlugin_{"/sys/servers/plugin"};
    nRef<nRoot> scene_;

    bool grid_ = false;
    bool stopped_ = false;
    bool running_ = false;
    bool inGame_ = false;
    bool gameClockStopped_ = false;
    double gameClock_ = 0.0;
    // The clock's time at the start: the viewer's time counts from 0.
    double base_ = 0.0;
    double previousTime_ = 0.0;
    double time_ = 0.0;
    float frameTime_ = 0.0f;
    int timeChannel_ = -1;
    int gtimeChannel_ = -1;
    float zoom_ = 10.0f;
    float pitch_ = 0.0f;
    float yaw_ = 0.0f;
};
