#pragma once
// The in-game tools' share of a frame: what stands at "/sys/servers/plugin" runs it once
// a frame after the input step, before the logic graph releases and traverses, so that an
// object a tool deletes is gone before the frame's records are built.
class nToolPass {
public:
    virtual ~nToolPass() = default;
    // May delete the object that runs it (a script the tools run may).
    virtual void RunTools(float frameTime) = 0;
};
