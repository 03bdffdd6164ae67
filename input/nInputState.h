#pragma once
// A named input state: set in a frame by the mappings that point at it, read by
// game code through the input server and by scripts through "/sys/var/is_<name>".
#include "kernel/nEnv.h"
#include "kernel/nHashNode.h"
#include "kernel/nRef.h"

class nInputState : public nHashNode {
public:
    explicit nInputState(const char* name) : nHashNode(name) {}

    // Number of mappings that point at the state; it dies at 0.
    int refCount = 0;
    bool flag = false;
    float value = 0.0f;
    // The "/sys/var" mirror, found again when it dies.
    nRef<nEnv> mirror;
};
