#pragma once
// The collide server the program runs at "/sys/servers/collide2" (script class
// "nxcollideserver"): the collide server that also makes the exact shapes by type.
#include <vector>

#include "collide/nCollideServer2.h"
#include "platform/meshquery/MeshQuery.h"

class nXCollideServer : public nCollideServer2 {
public:
    static const nClassInfo classInfo;

    // Type 1 the base's quick shape; 2 "nxboxshape", 3 "nxsphereshape", 4
    // "nxcylindershape", 5 "nxtriangleshape2"; any other type stops the program. A shape
    // of that name is handed out again whatever its type.
    nCollideShape2* NewShape(int shapeType, const char* name) override;

    // Shared by every "nxtriangleshape", one test at a time: the ray settings (back faces
    // culled, first contact off, maximum distance 100000; a line check sets its own
    // length and mode) and the result lists the queries fill, kept between tests so a
    // test allocates nothing once they have grown.
    meshquery::RaySettings raySettings;
    std::vector<meshquery::StabbedFace> faces;
    std::vector<uint32_t> touched;
    std::vector<meshquery::TrianglePair> touchedPairs;
};
