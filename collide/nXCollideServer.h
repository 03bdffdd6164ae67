#pragma once
// The collide server the program runs at "/sys/servers/collide2" (script class
// "nxcollideserver"): the collide server that also makes the exact shapes by type.
#include "collide/nCollideServer2.h"

class nXCollideServer : public nCollideServer2 {
public:
    static const nClassInfo classInfo;

    // Type 1 the base's quick shape; 2 "nxboxshape", 3 "nxsphereshape", 4
    // "nxcylindershape", 5 "nxtriangleshape2"; any other type stops the program. A shape
    // of that name is handed out again whatever its type.
    nCollideShape2* NewShape(int shapeType, const char* name) override;
};
