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
    // After the traversal has registered the frame's shapes: where the current camera took
    // its place without them (a level just built or loaded), it places itself again and the
    // view is taken again as ApplyView does. False when the view stays as it was.
    virtual bool RetakeView(nGfxServer* /*gfx*/, matrix44& /*view*/) { return false; }
};
