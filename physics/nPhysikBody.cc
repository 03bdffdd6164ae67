#include "physics/nPhysikBody.h"

#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nKernelServer.h"
#include "physics/nPhysikMass.h"

#define N_PURE(name) nKernelServer::FatalError("nPhysikBody::" name ", pure virtual function call!\n")

nPhysikBody::nPhysikBody() : masses(0, 1) {}

nPhysikBody::~nPhysikBody() = default;

void nPhysikBody::ResetMass() {
    massSum = 0.0f;
    masses.Clear();
}

void nPhysikBody::AddMass(nPhysikMass* m) {
    massSum += m->GetArea();
    masses.Append(m);
}

void nPhysikBody::SetMass() {}

float nPhysikBody::GetMass() {
    return 0.0f;
}

bool nPhysikBody::Connected(nPhysikBody*) { N_PURE("Connected"); }
void nPhysikBody::SetForce(const vector3&) { N_PURE("SetForce"); }
void nPhysikBody::SetTorque(const vector3&) { N_PURE("SetTorque"); }
void nPhysikBody::SetLinearVel(const vector3&) { N_PURE("SetLinearVel"); }
vector3 nPhysikBody::GetLinearVel() { N_PURE("GetLinearVel"); }
void nPhysikBody::SetAngularVel(const vector3&) { N_PURE("SetAngularVel"); }
vector3 nPhysikBody::GetAngularVel() { N_PURE("GetAngularVel"); }
void nPhysikBody::AddForce(const vector3&) { N_PURE("AddForce"); }
vector3 nPhysikBody::GetForce() { N_PURE("GetForce"); }
void nPhysikBody::AddTorque(const vector3&) { N_PURE("AddTorque"); }
vector3 nPhysikBody::GetTorque() { N_PURE("GetTorque"); }
void nPhysikBody::AddRelForce(const vector3&) { N_PURE("AddRelForce"); }
void nPhysikBody::AddRelTorque(const vector3&) { N_PURE("AddRelTorque"); }
void nPhysikBody::AddForceAtPos(const vector3&, const vector3&) { N_PURE("AddForceAtPos"); }
void nPhysikBody::AddForceAtRelPos(const vector3&, const vector3&) { N_PURE("AddForceAtRelPos"); }
void nPhysikBody::AddRelForceAtPos(const vector3&, const vector3&) { N_PURE("AddRelForceAtPos"); }
void nPhysikBody::AddRelForceAtRelPos(const vector3&, const vector3&) { N_PURE("AddRelForceAtRelPos"); }
void nPhysikBody::SetGravity(bool) { N_PURE("SetGravity"); }
bool nPhysikBody::GetGravity() { N_PURE("GetGravity"); }
void nPhysikBody::SetMatrix(const matrix44&) { N_PURE("SetMatrix"); }
matrix44 nPhysikBody::GetMatrix() { N_PURE("GetMatrix"); }
void nPhysikBody::SetContactParam(int, float) { N_PURE("SetContactParam"); }
float nPhysikBody::GetContactParam(int) { N_PURE("GetContactParam"); }

void nPhysikBody::Visualize(nGfxServer* gfx) {
    matrix44 m = GetMatrix();
    vector3 p = m.Translation();
    gfx->Begin(3);
    gfx->Rgba(1.0f, 0.5f, 0.5f, 1.0f);
    gfx->Coord(p.x - 0.5f, p.y, p.z);
    gfx->Coord(p.x + 0.5f, p.y, p.z);
    gfx->Coord(p.x, p.y - 0.5f, p.z);
    gfx->Coord(p.x, p.y + 0.5f, p.z);
    gfx->Coord(p.x, p.y, p.z - 0.5f);
    gfx->Coord(p.x, p.y, p.z + 0.5f);
    gfx->End();
    for (nPhysikMass* mass : masses) mass->Visualize(gfx, m);
}

int nPhysikBody::_str2param(const char* name) {
    static const char* const names[NUM_CONTACT_PARAMS] = {
        "mu", "mu2", "bounce", "bouncevel", "contactdir", "softerp", "softcfm",
        "motion1", "motion2", "slip1", "slip2", "approx1", "approx11", "approx12"};
    for (int i = 0; name && i < NUM_CONTACT_PARAMS; i++) {
        if (std::strcmp(name, names[i]) == 0) return i;
    }
    n_error("nPhysikBody::_str2param, unknown param name !\n");
    return -1;
}
