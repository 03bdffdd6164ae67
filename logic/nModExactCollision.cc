#include "logic/nModExactCollision.h"

#include <cstdio>

#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "kernel/nFileServer2.h"
#include "kernel/nPersistServer.h"

static const nCmdDef<nModExactCollision> cmds[] = {
    {"v_setbox_fff", "ECSB",
     [](nModExactCollision* self, nCmd* c) {
         float x = c->In()->GetF();
         float y = c->In()->GetF();
         self->SetBox(x, y, c->In()->GetF());
     }},
    {"v_setsphere_f", "ECSS", [](nModExactCollision* self, nCmd* c) { self->SetSphere(c->In()->GetF()); }},
    {"v_setmesh_s", "ECSM", [](nModExactCollision* self, nCmd* c) { self->SetMesh(c->In()->GetS()); }},
    {"v_setcylinder_ff", "ECSC",
     [](nModExactCollision* self, nCmd* c) {
         float r = c->In()->GetF();
         self->SetCylinder(r, c->In()->GetF());
     }},
};
const nClassInfo nModExactCollision::classInfo =
    nClassInfo::Make<nModExactCollision>("nmodexactcollision", "nmodsimplecollision", cmds);

nModExactCollision::nModExactCollision() = default;

nModExactCollision::~nModExactCollision() = default;

void nModExactCollision::BeginShape(int kind) {
    ReleaseShape();
    mesh_.Clear();
    kind_ = kind;
    MarkShapeSet();
}

void nModExactCollision::SetSphere(float r) {
    BeginShape(Sphere);
    params_[0] = r;
}

void nModExactCollision::SetBox(float x, float y, float z) {
    BeginShape(Box);
    params_[0] = x;
    params_[1] = y;
    params_[2] = z;
}

void nModExactCollision::SetMesh(const char* fileName) {
    if (!nFileServer2::MayKeepPath(fileName)) return;
    BeginShape(Mesh);
    mesh_.Set(fileName ? fileName : "");
}

void nModExactCollision::SetCylinder(float radius, float length) {
    BeginShape(Cylinder);
    params_[0] = radius;
    params_[1] = length;
}

nCollideShape2* nModExactCollision::CreateShape() {
    char name[96];
    nCollideServer2* server = GetServer();
    nCollideShape2* shape = nullptr;
    switch (kind_) {
    case Sphere:
        std::snprintf(name, sizeof(name), "sphere_%g", params_[0]);
        shape = server->NewShape(nCollideShape2::SPHERE, name);
        if (!shape->IsReady()) shape->SetRadius(params_[0]);
        return shape;
    case Box:
        std::snprintf(name, sizeof(name), "box_%g_%g_%g", params_[0], params_[1], params_[2]);
        shape = server->NewShape(nCollideShape2::BOX, name);
        if (!shape->IsReady()) shape->SetBoxSides(vector3(params_[0], params_[1], params_[2]));
        return shape;
    case Cylinder:
        std::snprintf(name, sizeof(name), "cylinder_%g_%g", params_[0], params_[1]);
        shape = server->NewShape(nCollideShape2::CYLINDER, name);
        if (!shape->IsReady()) shape->SetCylinderParams(params_);
        return shape;
    case Mesh:
        shape = server->NewShape(nCollideShape2::MESH, mesh_.Get());
        // A shape that another module failed to fill is tried again; the loader logs.
        if (!shape->IsReady() && !shape->Load(mesh_.Get())) {
            n_error("%s: collision mesh '%s' not loaded; the module collides with nothing\n",
                    GetFullName().c_str(), mesh_.Get());
            shape->Release();
            return nullptr;
        }
        return shape;
    default:
        // "v_setradius_f" alone gives an exact module a shape to build but no kind: a
        // level script's slip, so the module collides with nothing rather than stopping.
        n_error("%s: no shape kind set (v_setsphere_f, v_setbox_fff, v_setmesh_s or v_setcylinder_ff); "
                "the module collides with nothing\n",
                GetFullName().c_str());
        return nullptr;
    }
}

bool nModExactCollision::NeedsUpdate() {
    if (!GetDynamic()) return false;
    return collObject_.curMatrix.Translation() != collObject_.prevMatrix.Translation();
}

bool nModExactCollision::SaveCmds(nPersistServer* ps) {
    if (!nModSimpleCollision::SaveCmds(ps)) return false;
    if (!HasShape()) return true;
    switch (kind_) {
    case Sphere: return ps->Put(this, nId("ECSS"), params_[0]);
    case Box: return ps->Put(this, nId("ECSB"), params_[0], params_[1], params_[2]);
    case Mesh: return ps->Put(this, nId("ECSM"), mesh_.Get());
    case Cylinder: return ps->Put(this, nId("ECSC"), params_[0], params_[1]);
    default: return true;
    }
}
