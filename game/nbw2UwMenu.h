#pragma once
// The second heads-up display (script class "nbw2uwmenu"): figures "maennel1" to
// "maennel4" for the first four human divers of the level and none for the others;
// a click inside a figure's own rectangle picks the diver at that place in the level's
// list; the bar opens without asking for a diver. Nothing in the game drives it by path:
// scripts make and drive it. The rest is nbwUwMenuBase.
#include "game/nbwUwMenuBase.h"

class nbw2UwMenu : public nbwUwMenuBase {
public:
    static const nClassInfo classInfo;
    static constexpr int FigureCount = 4;

    nbw2UwMenu();

protected:
    nbwActor* PickDiver(nbwLevel* level) override;
};
