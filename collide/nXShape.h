#pragma once
// Base of the exact collide shapes (script class "nxshape"): knows the collide server at
// "/sys/servers/collide2" when there is one.
#include "collide/nCollideShape2.h"
#include "kernel/nRef.h"

class nXShape : public nCollideShape2 {
public:
    static const nClassInfo classInfo;
    nXShape();

protected:
    // Swaps point 1 with point 2 and normal 1 with normal 2 in reports [from, count):
    // a test run with the roles of the two shapes exchanged.
    static void SwapReportSides(nCollideReportBuffer* buffer, int from);

    nRef<nRoot> server_;
};
