#pragma once
// The engine's own viewer loop (script class "nobserver"): "v_start_v" renders the scene
// tree "/usr/scene" frame by frame through the scene graph, steps the console and the
// remote server, and orbits the scene with the mapped input states "turnleft",
// "turnright", "turnup", "turndown", "zoomin", "zoomout", "resetrot" and "resetzoom",
// until "v_stop_v", a closed window or the script server ends it. Independent of the
// logic layer; the game runs on its own observer.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "script/nMainLoop.h"

class nAudioServer2;
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

    // Runs the loop; returns when it stopped. Refused, with a log line, while the loop
    // already runs and when "/usr/scene" is no "n3dnode". Missing servers are fatal.
    bool Start();
    // Ends the loop at the start of the next frame; nothing while no loop runs.
    void Stop();
    void Quit() override { Stop(); }
    bool IsRunning() const { return running_; }

    void SetGrid(bool on) { grid_ = on; }
    bool GetGrid() const { return grid_; }

    float GetYaw() const { return yaw_; }
    float GetPitch() const { return pitch_; }
    float GetZoom() const { return zoom_; }
    float GetFrameTime() const { return frameTime_; }

    // One frame: false when the loop is to end.
    bool Frame();

private:
    void Render();
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

    bool grid_ = false;
    bool stopped_ = false;
    bool running_ = false;
    double previousTime_ = 0.0;
    double time_ = 0.0;
    float frameTime_ = 0.0f;
    int timeChannel_ = -1;
    int gtimeChannel_ = -1;
    float zoom_ = 10.0f;
    float pitch_ = 0.0f;
    float yaw_ = 0.0f;
};
