#include "platform/ode/Runtime.h"

#include <ode/ode.h>

#include <cstdlib>

namespace ode {

namespace {
void End() {
    dCloseODE();
}
}  // namespace

void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    dInitODE2(0);
    dAllocateODEDataForThread(dAllocateMaskAll);
    std::atexit(End);
}

}  // namespace ode
