#include "physics/nOdePhysikBody.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "kernel/nKernelServer.h"
#include "physics/nOdePhysikMass.h"
#include "physics/nOdePhysikServer.h"
#include "platform/ode/Checks.h"
#include "platform/ode/World.h"

namespace {
constexpr float kInfinity = std::numeric_limits<float>::infinity();

vector3 ToVector(const dReal* v) {
    return vector3(float(v[0]), float(v[1]), float(v[2]));
}
}  // namespace

nOdePhysikBody::nOdePhysikBody(nOdePhysikServer* s, ode::World* w) : server(s), world(w) {
    dMassSetZero(&mass);
    world->NewBody(&body);
    contact.mode = 0;
    contact.mu = kInfinity;
    contact.mu2 = kInfinity;
}

nOdePhysikBody::~nOdePhysikBody() {
    if (!body) return;
    server->ForgetBody(this);
    world->DeleteBody(&body);
}

void nOdePhysikBody::logOnce(int kind, const char* fmt, ...) {
    if (refusalsLogged & kind) return;
    refusalsLogged |= kind;
    char buf[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof(buf), fmt, args);
    va_end(args);
    n_error("nOdePhysikBody: %s (further refusals of this kind on this body are not logged)\n", buf);
}

bool nOdePhysikBody::usable(const vector3& v, const char* op) {
    if (!body) return false;
    if (ode::Finite(v.x, v.y, v.z)) return true;
    logOnce(REFUSED_VECTOR, "%s: (%g, %g, %g) is not finite; ignored", op, v.x, v.y, v.z);
    return false;
}

void nOdePhysikBody::ResetMass() {
    nPhysikBody::ResetMass();
    dMassSetZero(&mass);
}

void nOdePhysikBody::AddMass(nPhysikMass* m) {
    nPhysikBody::AddMass(m);
    dMassAdd(&mass, &static_cast<nOdePhysikMass*>(m)->Get());
}

void nOdePhysikBody::SetMass() {
    if (!body) return;
    // ODE 0.16 wants the centre of mass at the body's origin; the release the game was
    // made for ignored it, so the centre is dropped and the inertia kept.
    dMass m = mass;
    m.c[0] = m.c[1] = m.c[2] = 0;
    if (!ode::MassUsable(m)) {
        logOnce(REFUSED_MASS, "SetMass: mass %g with its inertia is not usable; the body keeps its mass",
                double(m.mass));
        return;
    }
    dBodySetMass(body, &m);
}

void nOdePhysikBody::SetForce(const vector3& v) {
    if (usable(v, "SetForce")) dBodySetForce(body, v.x, v.y, v.z);
}

void nOdePhysikBody::SetTorque(const vector3& v) {
    if (usable(v, "SetTorque")) dBodySetTorque(body, v.x, v.y, v.z);
}

void nOdePhysikBody::SetLinearVel(const vector3& v) {
    if (usable(v, "SetLinearVel")) dBodySetLinearVel(body, v.x, v.y, v.z);
}

vector3 nOdePhysikBody::GetLinearVel() {
    return body ? ToVector(dBodyGetLinearVel(body)) : vector3();
}

void nOdePhysikBody::SetAngularVel(const vector3& v) {
    if (usable(v, "SetAngularVel")) dBodySetAngularVel(body, v.x, v.y, v.z);
}

vector3 nOdePhysikBody::GetAngularVel() {
    return body ? ToVector(dBodyGetAngularVel(body)) : vector3();
}

void nOdePhysikBody::AddForce(const vector3& v) {
    if (usable(v, "AddForce")) dBodyAddForce(body, v.x, v.y, v.z);
}

vector3 nOdePhysikBody::GetForce() {
    return body ? ToVector(dBodyGetForce(body)) : vector3();
}

void nOdePhysikBody::AddTorque(const vector3& v) {
    if (usable(v, "AddTorque")) dBodyAddTorque(body, v.x, v.y, v.z);
}

vector3 nOdePhysikBody::GetTorque() {
    return body ? ToVector(dBodyGetTorque(body)) : vector3();
}

void nOdePhysikBody::AddRelForce(const vector3& v) {
    if (usable(v, "AddRelForce")) dBodyAddRelForce(body, v.x, v.y, v.z);
}

void nOdePhysikBody::AddRelTorque(const vector3& v) {
    if (usable(v, "AddRelTorque")) dBodyAddRelTorque(body, v.x, v.y, v.z);
}

void nOdePhysikBody::AddForceAtPos(const vector3& f, const vector3& p) {
    if (usable(f, p, "AddForceAtPos")) dBodyAddForceAtPos(body, f.x, f.y, f.z, p.x, p.y, p.z);
}

void nOdePhysikBody::AddForceAtRelPos(const vector3& f, const vector3& p) {
    if (usable(f, p, "AddForceAtRelPos")) dBodyAddForceAtRelPos(body, f.x, f.y, f.z, p.x, p.y, p.z);
}

void nOdePhysikBody::AddRelForceAtPos(const vector3& f, const vector3& p) {
    if (usable(f, p, "AddRelForceAtPos")) dBodyAddRelForceAtPos(body, f.x, f.y, f.z, p.x, p.y, p.z);
}

void nOdePhysikBody::AddRelForceAtRelPos(const vector3& f, const vector3& p) {
    if (usable(f, p, "AddRelForceAtRelPos")) dBodyAddRelForceAtRelPos(body, f.x, f.y, f.z, p.x, p.y, p.z);
}

void nOdePhysikBody::SetGravity(bool on) {
    if (body) dBodySetGravityMode(body, on ? 1 : 0);
}

bool nOdePhysikBody::GetGravity() {
    return body && dBodyGetGravityMode(body) != 0;
}

void nOdePhysikBody::SetMatrix(const matrix44& m) {
    if (!body) return;
    // ODE's rotation rows are the columns of the engine's row-vector matrix.
    dMatrix3 r;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) r[i * 4 + j] = m.m[j][i];
        r[i * 4 + 3] = 0;
    }
    if (!ode::Finite(m.m[3][0], m.m[3][1], m.m[3][2]) || !ode::RotationUsable(r)) {
        logOnce(REFUSED_MATRIX, "SetMatrix: a matrix with a non-finite position or a collapsed rotation; ignored");
        return;
    }
    dBodySetPosition(body, m.m[3][0], m.m[3][1], m.m[3][2]);
    dBodySetRotation(body, r);
}

matrix44 nOdePhysikBody::GetMatrix() {
    matrix44 m;
    if (!body) return m;
    const dReal* p = dBodyGetPosition(body);
    const dReal* r = dBodyGetRotation(body);
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) m.m[i][j] = float(r[j * 4 + i]);
    }
    m.m[3][0] = float(p[0]);
    m.m[3][1] = float(p[1]);
    m.m[3][2] = float(p[2]);
    return m;
}

void nOdePhysikBody::SetContactParam(int index, float value) {
    if (index < 0 || index > 13) {
        nKernelServer::FatalError("nOdePhysikBody::SetContactParam, unknown contactparam!\n");
    }
    if (std::isnan(value)) {
        logOnce(REFUSED_PARAM, "SetContactParam: parameter %d is not a number; ignored", index);
        return;
    }
    if (value < 0.0f) value = kInfinity;
    auto flag = [this](int bits, bool on) { contact.mode = on ? (contact.mode | bits) : (contact.mode & ~bits); };
    switch (index) {
        case MU: contact.mu = value; break;
        case MU2:
            contact.mu2 = value;
            flag(ode::Mu2, !std::isinf(value));
            break;
        case BOUNCE:
        case BOUNCEVEL:
            (index == BOUNCE ? contact.bounce : contact.bouncevel) = value;
            flag(ode::Bounce, contact.bounce > 0.0f || contact.bouncevel > 0.0f);
            break;
        case CONTACTDIR: flag(ode::FDir1, value > 0.0f); break;
        case SOFTERP:
            contact.softerp = value;
            flag(ode::SoftERP, value > 0.0f);
            break;
        case SOFTCFM:
            contact.softcfm = value;
            flag(ode::SoftCFM, value > 0.0f);
            break;
        case MOTION1:
            contact.motion1 = value;
            flag(ode::Motion1, value > 0.0f);
            break;
        case MOTION2:
            contact.motion2 = value;
            flag(ode::Motion2, value > 0.0f);
            break;
        case SLIP1:
            contact.slip1 = value;
            flag(ode::Slip1, value > 0.0f);
            break;
        case SLIP2:
            contact.slip2 = value;
            flag(ode::Slip2, value > 0.0f);
            break;
        case APPROX1: flag(ode::Approx1_1 | ode::Approx1_2, value > 0.0f); break;
        case APPROX11: flag(ode::Approx1_1, value > 0.0f); break;
        case APPROX12: flag(ode::Approx1_2, value > 0.0f); break;
    }
}

float nOdePhysikBody::GetContactParam(int index) {
    if (index < 0 || index > 13) {
        nKernelServer::FatalError("nOdePhysikBody::GetContactParam, unknown contactparam!\n");
    }
    float v = 0.0f;
    switch (index) {
        case MU: v = contact.mu; break;
        case MU2: v = contact.mu2; break;
        case BOUNCE: v = contact.bounce; break;
        case BOUNCEVEL: v = contact.bouncevel; break;
        case CONTACTDIR: v = (contact.mode & ode::FDir1) ? 1.0f : 0.0f; break;
        case SOFTERP: v = contact.softerp; break;
        case SOFTCFM: v = contact.softcfm; break;
        case MOTION1: v = contact.motion1; break;
        case MOTION2: v = contact.motion2; break;
        case SLIP1: v = contact.slip1; break;
        case SLIP2: v = contact.slip2; break;
        case APPROX1: v = (contact.mode & (ode::Approx1_1 | ode::Approx1_2)) ? 1.0f : 0.0f; break;
        case APPROX11: v = (contact.mode & ode::Approx1_1) ? 1.0f : 0.0f; break;
        case APPROX12: v = (contact.mode & ode::Approx1_2) ? 1.0f : 0.0f; break;
    }
    return std::isinf(v) ? -1.0f : v;
}
