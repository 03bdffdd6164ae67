#pragma once
// One declared collision class: its name and its dense index in the type matrix.
#include <cstdint>

#include "kernel/nNode.h"
#include "kernel/nString.h"

class nCollClass : public nNode {
public:
    explicit nCollClass(const char* name, int32_t index) : name(name), index(index) { SetPtr(this); }

    nString name;
    int32_t index;
};
