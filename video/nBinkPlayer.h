#pragma once
// A cut-scene inside the frame loop (script class "nbinkplayer"): while the scene graph
// computes the node, each frame decodes the video's next frame straight into the locked
// back buffer at a screen position and holds the frame loop to the video's rate; the
// sound track plays on the audio server's output. A one-shot node ends after one play.
#include <memory>

#include "anim/nAnimNode.h"
#include "kernel/nPathRef.h"
#include "kernel/nString.h"

namespace video {
class Decoder;
class Pacer;
class Sound;
}  // namespace video

class nBinkPlayer : public nAnimNode {
public:
    static const nClassInfo classInfo;

    nBinkPlayer();
    ~nBinkPlayer() override;

    // "setfilename" and "setposition" after the animation node's commands.
    bool SaveCmds(nPersistServer* ps) override;
    // Registers the node for Compute until a one-shot node has played its video once;
    // then closes the video.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Shows the next frame and waits until the one after it is due. A video that cannot
    // be opened or decoded is logged once and counts as played.
    void Compute(nSceneGraph2* sceneGraph) override;
    void Preload() override;

    // A different name closes the open video and starts the count of plays again.
    void SetFileName(const char* name);
    const char* GetFileName() const { return fileName.Get(); }
    void SetPosition(int x, int y);
    void GetPosition(int& x, int& y) const;

    bool IsOpen() const { return video != nullptr; }
    bool HasSound() const { return sound != nullptr; }
    int GetCompletedPlays() const { return completed; }
    int GetLastFrame() const { return lastFrame; }

private:
    bool open();
    void close();
    // Logs once per file name; the video then counts as played.
    void fail(const char* what, const std::string& why);
    void draw();
    // The sound's clock, or -1 when none plays (a sound whose output went is dropped).
    double soundClock();

    nPathRef<nRoot> refAudio;
    nString fileName;
    // Kept as given: a float would round large positions and overflow when read back.
    int posX = 0;
    int posY = 0;
    std::unique_ptr<video::Decoder> video;
    std::unique_ptr<video::Sound> sound;
    std::unique_ptr<video::Pacer> pacer;
    int lastFrame = -1;
    int completed = 0;
    bool failed = false;
};
