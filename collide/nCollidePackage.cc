#include "collide/nCollidePackage.h"

#include "collide/nCollideNode.h"
#include "collide/nCollideServer.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "collide/nXBoxShape.h"
#include "collide/nXCollideServer.h"
#include "collide/nXCylinderShape.h"
#include "collide/nXShape.h"
#include "collide/nXSphereShape.h"
#include "collide/nXTriangleShape.h"
#include "collide/nXTriangleShape2.h"
#include "kernel/nKernelServer.h"

void nCollidePackage(nKernelServer* ks) {
    ks->AddClass(nCollideServer::classInfo);
    // The collide node is a visual node: its superclass first.
    ks->AddClass(nVisNode::classInfo);
    ks->AddClass(nCollideNode::classInfo);
    ks->AddClass(nCollideServer2::classInfo);
    ks->AddClass(nCollideShape2::classInfo);
    ks->AddClass(nXCollideServer::classInfo);
    ks->AddClass(nXShape::classInfo);
    ks->AddClass(nXBoxShape::classInfo);
    ks->AddClass(nXSphereShape::classInfo);
    ks->AddClass(nXCylinderShape::classInfo);
    ks->AddClass(nXTriangleShape2::classInfo);
    ks->AddClass(nXTriangleShape::classInfo);
}
