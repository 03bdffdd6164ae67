#pragma once
// Holds the one current logic camera (script class "ncameraserver", object
// "/sys/servers/camera"): the logic graph takes each frame's view from it.
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "logic/nCameraView.h"

class nLogicCamera;

class nCameraServer : public nRoot, public nCameraView {
public:
    static const nClassInfo classInfo;

    nCameraServer();
    ~nCameraServer() override;

    // Replaces the current camera; a deleted camera leaves no camera current.
    void SetCurrentCamera(nLogicCamera* camera) { current_ = camera; }
    nLogicCamera* GetCurrentCamera() const { return current_.GetUnsafe(); }
    bool HasCurrentCamera() override { return current_.IsValid(); }
    // The current camera's world matrix as this frame's traversal computes it becomes
    // the viewer matrix; `view` gets its inverse. No current camera: fatal "Aborting.".
    void ApplyView(nGfxServer* gfx, matrix44& view) override;
    bool RetakeView(nGfxServer* gfx, matrix44& view) override;
    // The current camera's full path, "" when there is none.
    std::string GetCurrentCameraPath() const;

private:
    // The camera's world matrix as the traversal computes it becomes the viewer matrix.
    static void TakeView(nLogicCamera* cam, nGfxServer* gfx, matrix44& view);

    nRef<nLogicCamera> current_;
};
