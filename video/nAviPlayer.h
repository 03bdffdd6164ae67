#pragma once
// A video shown by its animation time (script class "naviplayer"): each computed frame
// copies the video frame that matches the node's time channel into the locked back
// buffer at a screen position, looping or holding the last frame. It plays no sound.
#include <memory>

#include "anim/nAnimNode.h"
#include "kernel/nString.h"

namespace video {
class Decoder;
}

class nAviPlayer : public nAnimNode {
public:
    static const nClassInfo classInfo;

    nAviPlayer();
    ~nAviPlayer() override;

    // "setfilename" and "setposition" after the animation node's commands.
    bool SaveCmds(nPersistServer* ps) override;
    bool Attach(nSceneGraph2* sceneGraph) override;
    // A file that cannot be opened or shown is logged once and the node stays closed
    // until its file name changes.
    void Compute(nSceneGraph2* sceneGraph) override;
    void Preload() override;

    // A different name closes the open video.
    void SetFileName(const char* name);
    const char* GetFileName() const { return fileName.Get(); }
    void SetPosition(int x, int y);
    void GetPosition(int& x, int& y) const;

    bool IsOpen() const { return video != nullptr; }
    // Seconds of one play; 0 while closed.
    double GetDuration() const { return duration; }
    // The frame shown for time `t`: looping, or held at the last frame.
    int FrameAt(double t) const;

private:
    bool open();
    void close();
    void fail(const char* what, const std::string& why);

    nString fileName;
    // Kept as given: a float would round large positions and overflow when read back.
    int posX = 0;
    int posY = 0;
    std::unique_ptr<video::Decoder> video;
    // Frames per second as the fraction rate / scale, and the frame count.
    int rate = 0;
    int scale = 1;
    int length = 0;
    double duration = 0.0;
    bool failed = false;
};
