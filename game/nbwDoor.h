#pragma once
// A door (script class "nbwdoor"): cut open with the cutting tool, whose damage beyond
// the door's armor takes its hitpoints, or opened and closed by script. Carries an
// illumination value for the level's scripts.
#include "game/nbwOpenable.h"

class nbwDoor : public nbwOpenable {
public:
    static const nClassInfo classInfo;

    nbwDoor();
    ~nbwDoor() override;
    // The switch's lines, then "v_setillumination_f".
    bool SaveCmds(nPersistServer* ps) override;
    // The item's use first (false ends it there); then only a cutting tool ("nbwcuttool"
    // or a subclass) works: its damage beyond the armor comes off the hitpoints, the
    // door opens at 0 or less, and its owner becomes "none" (false). Anything else: true.
    bool Use(nRoot* user) override;

    void SetIllumination(float value) { illumination_ = value; }
    float GetIllumination() const { return illumination_; }

protected:
    // Takes the tool's damage beyond the armor off the hitpoints (through SetFloat).
    void TakeDamage(nbwItem* tool);

private:
    float illumination_ = 0.0f;
};
