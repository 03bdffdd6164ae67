#pragma once
// The underwater heads-up display (script class "nbwuwmenu") that the game observers drive
// at "/usr/logic/uwmenu": figures "taucher1" to "taucher3" for the first three human
// divers of the level and devices "geraet1" to "geraet4" for the first four others;
// a click on a figure picks its diver unless the active one plays alone. The rest is
// nbwUwMenuBase.
#include "game/nbwUwMenuBase.h"

class nbwUwMenu : public nbwUwMenuBase {
public:
    static const nClassInfo classInfo;
    static constexpr int Humans = 3;
    static constexpr int Others = 4;

    nbwUwMenu();

protected:
    nbwActor* PickDiver(nbwLevel* level) override;
};
