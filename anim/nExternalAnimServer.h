#pragma once
// What the curve-array node asks of an animation server outside this engine, looked up
// at "/sys/servers/anim2" for file names of the form "file#animation". Nothing of ours
// is made there; an object that implements this (besides deriving from nRoot) serves.
#include "anim/nAnimCurve.h"

// One opened animation.
class nExternalAnim {
public:
    virtual ~nExternalAnim() = default;
    // The id of a curve of the animation, handed back to GetValue.
    virtual int FindCurve(const char* name) = 0;
    // Fills `out` (zeroed by the caller) with the curve's value at `time`.
    virtual void GetValue(float time, int curve, nAnimKey& out) = 0;
};

class nExternalAnimServer {
public:
    virtual ~nExternalAnimServer() = default;
    // Null when the animation cannot be opened.
    virtual nExternalAnim* Open(const char* fileName, const char* animName) = 0;
    // Gives back what Open returned.
    virtual void Close(nExternalAnim* anim) = 0;
};
