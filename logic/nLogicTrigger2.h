#pragma once
// The trigger node (script class "nlogictrigger2"): a collision node whose subclasses
// react to what enters its shapes; it adds no commands and saves what its base saves.
#include "logic/nLogicCollision2.h"

class nLogicTrigger2 : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;
};
