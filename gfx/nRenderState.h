#pragma once

#include <cstdint>

// What SetRenderState takes: an engine state code and a value whose meaning the
// code decides (integer, float or pointer, so the slot is pointer-sized).
struct nRenderState {
    int32_t state = 0;
    union {
        int32_t i;
        float f;
        void* p;
    } value = {};
};

