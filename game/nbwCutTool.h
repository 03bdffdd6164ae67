#pragma once
// The diver's cutting tool (script class "nbwcuttool"): an item that doors ask for by its
// class; it adds nothing to the item.
#include "game/nbwItem.h"

class nbwCutTool : public nbwItem {
public:
    static const nClassInfo classInfo;
};
