#pragma once
// A group of Flash nodes switched on and off together (script class
// "nlogicflashcontainer"): activating it activates its direct children of class
// "nlogicflash"; it has no commands of its own.
#include "logic/nLogicNode.h"

class nClass;

class nLogicFlashContainer : public nLogicNode {
public:
    static const nClassInfo classInfo;

    // Passes the switch to each direct child of class exactly "nlogicflash", then takes it.
    void SetActive(bool on) override;

private:
    nClass* flashClass_ = nullptr;
};
