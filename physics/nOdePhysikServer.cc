#include "physics/nOdePhysikServer.h"

#include <cmath>
#include <cstring>

#include "collide/nCollideReport.h"
#include "kernel/nKernelServer.h"
#include "physics/nOdePhysikBallJoint.h"
#include "physics/nOdePhysikBody.h"
#include "physics/nOdePhysikBoxMass.h"
#include "physics/nOdePhysikCylinderMass.h"
#include "physics/nOdePhysikHinge2Joint.h"
#include "physics/nOdePhysikHingeJoint.h"
#include "physics/nOdePhysikSliderJoint.h"
#include "physics/nOdePhysikSphereMass.h"
#include "platform/ode/Checks.h"
#include "platform/ode/Runtime.h"

const nClassInfo nOdePhysikServer::classInfo = nClassInfo::Make<nOdePhysikServer>("nodephysikserver", "nphysikserver");

namespace {

bool Finite(const vector3& v) {
    return ode::Finite(v.x, v.y, v.z);
}

// ODE's solver warnings go to the log, the first few only: a pile of resting bodies
// can repeat one every step.
void LogOdeMessage(const char* text) {
    static int logged = 0;
    if (logged > 16) return;
    if (++logged > 16) {
        n_printf("%s (further ODE messages are not logged)\n", text);
    } else {
        n_printf("%s\n", text);
    }
}

dBodyID EnabledId(nPhysikBody* body) {
    dBodyID id = body ? static_cast<nOdePhysikBody*>(body)->GetBodyId() : nullptr;
    return id && dBodyIsEnabled(id) ? id : nullptr;
}

}  // namespace

nOdePhysikServer::nOdePhysikServer() {
    ode::SetMessageSink(LogOdeMessage);
    dWorldSetCFM(world.Id(), 0.0001);
    dWorldSetERP(world.Id(), 0.2);
    dWorldSetGravity(world.Id(), 0, -9.81, 0);
}

nOdePhysikServer::~nOdePhysikServer() = default;

void nOdePhysikServer::SetGravity(const vector3& g) {
    if (!Finite(g)) {
        n_error("%s: SetGravity: (%g, %g, %g) is not finite; ignored\n", GetFullName().c_str(), g.x, g.y, g.z);
        return;
    }
    dWorldSetGravity(world.Id(), g.x, g.y, g.z);
}

vector3 nOdePhysikServer::GetGravity() {
    dVector3 g;
    dWorldGetGravity(world.Id(), g);
    return vector3(float(g[0]), float(g[1]), float(g[2]));
}

void nOdePhysikServer::SetWorldERP(float erp) {
    if (!std::isfinite(erp)) {
        n_error("%s: SetWorldERP: %g is not finite; ignored\n", GetFullName().c_str(), erp);
        return;
    }
    dWorldSetERP(world.Id(), erp);
}

float nOdePhysikServer::GetWorldERP() {
    return float(dWorldGetERP(world.Id()));
}

void nOdePhysikServer::SetWorldCFM(float cfm) {
    if (!std::isfinite(cfm)) {
        n_error("%s: SetWorldCFM: %g is not finite; ignored\n", GetFullName().c_str(), cfm);
        return;
    }
    dWorldSetCFM(world.Id(), cfm);
}

float nOdePhysikServer::GetWorldCFM() {
    return float(dWorldGetCFM(world.Id()));
}

vector3 nOdePhysikServer::ImpulseToForce(float stepSize, const vector3& impulse) {
    // No time to spread the impulse over: no force.
    if (!(stepSize > 0.0f) || !std::isfinite(stepSize)) return vector3();
    dVector3 f;
    dWorldImpulseToForce(world.Id(), stepSize, impulse.x, impulse.y, impulse.z, f);
    return vector3(float(f[0]), float(f[1]), float(f[2]));
}

nContactParams nOdePhysikServer::MergeSurfaces(const nContactParams& a, const nContactParams& b) {
    nContactParams s;
    s.mode = a.mode | b.mode;
    if (std::isinf(a.mu)) {
        s.mu = a.mu;
    } else if (std::isinf(b.mu)) {
        s.mu = b.mu;
    } else {
        s.mu = (a.mu + b.mu) * 0.5f;
    }
    auto mean = [&s](int flag, float nContactParams::*field, const nContactParams& x, const nContactParams& y) {
        if (s.mode & flag) s.*field = (x.*field + y.*field) * 0.5f;
    };
    mean(ode::Mu2, &nContactParams::mu2, a, b);
    mean(ode::Bounce, &nContactParams::bounce, a, b);
    mean(ode::Bounce, &nContactParams::bouncevel, a, b);
    mean(ode::SoftERP, &nContactParams::softerp, a, b);
    mean(ode::SoftCFM, &nContactParams::softcfm, a, b);
    mean(ode::Motion1, &nContactParams::motion1, a, b);
    mean(ode::Motion2, &nContactParams::motion2, a, b);
    mean(ode::Slip1, &nContactParams::slip1, a, b);
    mean(ode::Slip2, &nContactParams::slip2, a, b);
    return s;
}

dJointID nOdePhysikServer::NewContactJoint(const dContact& contact, dBodyID a, dBodyID b) {
    return world.AddContact(contact, a, b);
}

bool nOdePhysikServer::addContact(const nContactParams& surface, const nCollideReport& r, dBodyID a, dBodyID b) {
    if (!Finite(r.point2) || !Finite(r.normal2) || !std::isfinite(r.depth) || !Finite(r.frictionDir)) {
        if (!reportRefusalLogged) {
            reportRefusalLogged = true;
            n_error("%s: AddCollisionJoint: a contact report with non-finite values is passed over "
                    "(logged once)\n", GetFullName().c_str());
        }
        return true;
    }
    // A contact joint pushes along a unit normal (ODE stops fatally on one of no length).
    // A mean of touched triangles' normals (the sphere-mesh test) is shorter than that, and
    // the faces of both sides of a thin wall cancel out to nothing, along which no push
    // exists: such a contact is passed over, as a touch without a direction.
    const float normalLen = r.normal2.Len();
    if (!(normalLen > 1e-7f)) return true;
    const vector3 normal = r.normal2 * (1.0f / normalLen);
    dContact c;
    std::memset(&c, 0, sizeof(c));
    ode::FillSurface(c.surface, surface);
    c.geom.pos[0] = r.point2.x;
    c.geom.pos[1] = r.point2.y;
    c.geom.pos[2] = r.point2.z;
    c.geom.normal[0] = normal.x;
    c.geom.normal[1] = normal.y;
    c.geom.normal[2] = normal.z;
    c.geom.depth = r.depth;
    c.fdir1[0] = r.frictionDir.x;
    c.fdir1[1] = r.frictionDir.y;
    c.fdir1[2] = r.frictionDir.z;
    NewContactJoint(c, a, b);
    return true;
}

bool nOdePhysikServer::AddCollisionJoint(nPhysikBody* body, const nCollideReport& report) {
    if (!body) return true;
    return addContact(static_cast<nOdePhysikBody*>(body)->GetContact(), report, EnabledId(body), nullptr);
}

bool nOdePhysikServer::AddCollisionJoint(nPhysikBody* a, nPhysikBody* b, const nCollideReport& report) {
    if (!a || !b) return true;
    nContactParams s = MergeSurfaces(static_cast<nOdePhysikBody*>(a)->GetContact(),
                                     static_cast<nOdePhysikBody*>(b)->GetContact());
    return addContact(s, report, EnabledId(a), EnabledId(b));
}

void nOdePhysikServer::WorldStep(float stepSize) {
    if (stepSize > MaxStep) stepSize = MaxStep;
    if (numBodies > 0) {
        int n = 0;
        for (int i = 0; i < numBodies; i++) {
            dBodyID id = static_cast<nOdePhysikBody*>(bodies[i])->GetBodyId();
            if (id) stepIds[n++] = id;
        }
        if (!world.Step(stepIds, n, stepSize) && !stepRefusalLogged) {
            stepRefusalLogged = true;
            n_error("%s: WorldStep: step %g is not a positive time; nothing moved (logged once)\n",
                    GetFullName().c_str(), stepSize);
        }
    }
    world.EmptyContacts();
}

nPhysikBody* nOdePhysikServer::CreateBody() {
    return new nOdePhysikBody(this, &world);
}

nPhysikJoint* nOdePhysikServer::CreateJoint(int type) {
    switch (type) {
        case 1: return new nOdePhysikBallJoint(&world);
        case 2: return new nOdePhysikSliderJoint(&world);
        case 3: return new nOdePhysikHingeJoint(&world);
        case 4: return new nOdePhysikHinge2Joint(&world);
        default: nKernelServer::FatalError("nOdePhysikServer::CreateJoint, unknown physik joint!\n");
    }
}

nPhysikMass* nOdePhysikServer::CreateMass(int type) {
    switch (type) {
        case 1: return new nOdePhysikSphereMass();
        case 2: return new nOdePhysikBoxMass();
        case 3: return new nOdePhysikCylinderMass();
        default: nKernelServer::FatalError("nOdePhysikServer::CreateMass, unknown physik mass!\n");
    }
}
