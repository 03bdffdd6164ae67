#pragma once
// What the logic graph asks of the camera server ("/sys/servers/camera") each frame:
// whether a camera is current, and the view from it. The camera server implements this
// besides deriving from nRoot.
#include "kernel/matrix44.h"

class nGfxServer;

class nCameraView {
public:
    virtual ~nCameraView() = default;
    virtual bool HasCurrentCamera() = 0;
    // Sets the graphics server's viewer matrix (type 0) to the current camera's world
    // matrix and returns its inverse, the view matrix, in `view`.
    virtual void ApplyView(nGfxServer* gfx, matrix44& view) = 0;
};
