#pragma once
// The network class (script class "nnetwork"): scripts can make objects of it, and they
// are plain objects that answer only nroot's commands and save as nroot's do.
#include "kernel/nRoot.h"

class nNetwork : public nRoot {
public:
    static const nClassInfo classInfo;
};
