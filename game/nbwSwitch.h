#pragma once
// A switch (script class "nbwswitch"): opens when the diver's hand is used on it,
// unless a script handles its "onuse"; scripts open and close it as well.
#include "game/nbwOpenable.h"

class nbwSwitch : public nbwOpenable {
public:
    static const nClassInfo classInfo;

    nbwSwitch();
    ~nbwSwitch() override;
    // With "onuse" bound the script runs and the switch stays as it is (true); else an
    // item of type "hand" opens it (false); anything else answers true.
    bool Use(nRoot* user) override;
};
