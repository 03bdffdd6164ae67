#pragma once
// The item that frees a character held in a cavity (script class "nbwrescue"): an item
// whose class is the mark; using it on a cavity uses it up.
#include "game/nbwItem.h"

class nbwRescue : public nbwItem {
public:
    static const nClassInfo classInfo;
};
