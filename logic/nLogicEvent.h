#pragma once
// The script-visible object of one logic event (script class "nlogicevent"), at
// "/sys/events/<group>/<event>": a typed variable store whose variables, in order, are
// the arguments of the firing whose handler runs now. Every handler of that event name
// shares it.
#include "logic/nPersist.h"

class nLogicEvent : public nPersist {
public:
    static const nClassInfo classInfo;
};
