#pragma once
// The entry a collision module embeds and registers in a collide context every frame:
// its shape, class, matrices and motion, and the per-frame counters the context raises.
#include <cstdint>

#include "collide/nCollideShape2.h"
#include "kernel/matrix44.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"

class nCollideServer2;
class nModuleState;
class nLogicNode;

class nCollideObject2 {
public:
    nCollideObject2() = default;
    // Leaves every context's tables and results, so no record points at a dead object.
    ~nCollideObject2();
    nCollideObject2(const nCollideObject2&) = delete;
    nCollideObject2& operator=(const nCollideObject2&) = delete;

    // The per-frame counters back to 0; the module calls it before registering.
    void ClearCounts() {
        pairCount = 0;
        hitCount = 0;
        contactCount = 0;
    }

    int32_t id = 0;
    nModuleState* state = nullptr;
    nRef<nCollideShape2> shape;
    nLogicNode* owner = nullptr;
    int32_t classIndex = -1;
    matrix44 prevMatrix;
    matrix44 curMatrix;
    int32_t pairCount = 0;
    int32_t hitCount = 0;
    int32_t contactCount = 0;
    vector3 motion;
    bool dynamic = false;
    float debugColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};

private:
    friend class nCollideContext2;
    // The server of the contexts the object was registered in; set at registration.
    nRef<nCollideServer2> server_;
};
