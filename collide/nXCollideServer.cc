#include "collide/nXCollideServer.h"

#include "collide/nCollideShape2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nFileServer2.h"

const nClassInfo nXCollideServer::classInfo = nClassInfo::Make<nXCollideServer>("nxcollideserver", "ncollideserver2");

nCollideShape2* nXCollideServer::NewShape(int shapeType, const char* name) {
    if (shapeType == nCollideShape2::QUICK) return nCollideServer2::NewShape(shapeType, name);
    static const char* const classes[] = {"nxboxshape", "nxsphereshape", "nxcylindershape", "nxtriangleshape2"};
    char objName[512];
    MakeShapeName(nFileServer2::Share(name).c_str(), objName, sizeof(objName));
    nRoot* root = GetShapesRoot();
    if (!root) nKernelServer::FatalError("Aborting.");
    if (nRoot* found = root->Find(objName)) {
        found->AddRef();
        return static_cast<nCollideShape2*>(found);
    }
    if (shapeType < nCollideShape2::BOX || shapeType > nCollideShape2::MESH) {
        nKernelServer::FatalError("nXCollideServer::NewShape , unknown collideshape type!\n");
    }
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(root);
    nRoot* shape = ks->New(classes[shapeType - nCollideShape2::BOX], objName);
    ks->PopCwd();
    return static_cast<nCollideShape2*>(shape);
}
