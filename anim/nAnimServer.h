#pragma once
// The animation server (script class "nanimserver", "/sys/servers/anim"): keeps every
// loaded curve array under "/sys/share/animcurves", named after its curve file, so that
// all nodes that name one file share one array.
#include <string>

#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nAnimCurveArray;

class nAnimServer : public nRoot {
public:
    static const nClassInfo classInfo;

    // Makes "/sys/share/animcurves" (an existing object there is reused).
    nAnimServer();
    // Releases the share directory and with it every array no node holds.
    ~nAnimServer() override;

    // The shared array of `fileName` with one more reference, which the caller owns; null
    // when there is none. A missing share directory stops the program ("Aborting."); an
    // object of another class under the name is logged and not handed out.
    nAnimCurveArray* FindAnimCurveArray(const char* fileName);
    // A new, empty array named after `fileName` holding the caller's one reference; the
    // caller loads it. Null (logged) for a name that makes no object name or is taken by
    // an object of another class.
    nAnimCurveArray* NewAnimCurveArray(const char* fileName);

    // The last 511 characters of `fileName`, with '.', '/', '\' and ':' made '_':
    // "anims:fish/swim.nax" gives "anims_fish_swim_nax".
    static std::string MakeArrayName(const char* fileName);

private:
    nRoot* ShareDir();

    nRef<nRoot> shareDir_;
};
