#pragma once
// The game observer the start-up makes at "/sys/servers/observer" (script class
// "nbwobserver"): the frame loop driven by the game state; see nbwGameObserver.
#include "game/nbwGameObserver.h"

class nbwObserver : public nbwGameObserver {
public:
    static const nClassInfo classInfo;

    nbwObserver() : nbwGameObserver(false) {}
    const char* GetType() const override { return "bwobserver"; }
};
