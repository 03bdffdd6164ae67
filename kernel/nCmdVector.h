#pragma once
// Three-float command arguments and results as one vector, for commands that take or give
// a position, rotation or scale.
#include "kernel/nCmd.h"
#include "kernel/vector3.h"

inline void PutVector3(nCmd* c, const vector3& v) {
    c->Out()->SetF(v.x);
    c->Out()->SetF(v.y);
    c->Out()->SetF(v.z);
}

inline vector3 GetVector3(nCmd* c) {
    const float x = c->In()->GetF();
    const float y = c->In()->GetF();
    return vector3(x, y, c->In()->GetF());
}
