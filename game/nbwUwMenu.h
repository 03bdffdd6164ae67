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

protected:
    const Figures& GetFigures() const override;
    std::span<const HelpArea> GetFigureAreas() const override;
    bool& HelpShown() const override;
    uint32_t RegisterLevelId() const override;
    bool OpenNeedsHandDiver() const override { return true; }
    nbwActor* PickDiver(nbwLevel* level) override;
};
