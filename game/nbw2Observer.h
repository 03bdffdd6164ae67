#pragma once
// The game observer's twin (script class "nbw2observer"): a debug mode that keeps the
// cursor and the diver's keys, the diver's keys only once the level has faded in, and
// its own frame sleeps and audio rule; see nbwGameObserver.
#include "game/nbwGameObserver.h"

class nbw2Observer : public nbwGameObserver {
public:
    static const nClassInfo classInfo;

    nbw2Observer() : nbwGameObserver(true) {}
    const char* GetType() const override { return "bw2observer"; }
    void SetDbgMode(bool on) { debugMode_ = on; }
    bool GetDbgMode() const { return debugMode_; }
};
