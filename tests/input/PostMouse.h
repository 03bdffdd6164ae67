#pragma once
// Posts a mouse event at (x, y) to the input server, as the window pump would.
#include "input/nInputServer.h"

inline void PostMouse(nInputServer* input, int type, int x, int y) {
    nInputEvent* e = input->NewEvent();
    e->deviceId = N_INPUT_DEV_MOUSE;
    e->type = type;
    e->x = x;
    e->y = y;
    input->PostEvent(e);
}
