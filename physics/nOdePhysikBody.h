#pragma once
// A physics body on ODE: the ODE body, the masses summed into it and its contact
// surface. New bodies start disabled; the first world step that lists one enables it.
// Values ODE would assert on (a zero or negative mass, a non-finite vector, a collapsed
// rotation) are refused and logged once per body and kind.
#include <ode/ode.h>

#include "physics/nContactParams.h"
#include "physics/nPhysikBody.h"

class nOdePhysikServer;
namespace ode {
class World;
}

class nOdePhysikBody : public nPhysikBody {
public:
    nOdePhysikBody(nOdePhysikServer* server, ode::World* world);
    // Leaves the server's body table and destroys the ODE body (nothing once the
    // server is gone).
    ~nOdePhysikBody() override;

    void ResetMass() override;
    // Adds the ODE mass of an nOdePhysikMass.
    void AddMass(nPhysikMass* m) override;
    // Hands the summed mass to ODE with its centre moved to the body's origin (the
    // inertia keeps the offset). A mass that is not positive, or an inertia ODE cannot
    // use, is refused: the body keeps its mass.
    void SetMass() override;
    float GetMass() override { return float(mass.mass); }
    void SetForce(const vector3& v) override;
    void SetTorque(const vector3& v) override;
    void SetLinearVel(const vector3& v) override;
    vector3 GetLinearVel() override;
    void SetAngularVel(const vector3& v) override;
    vector3 GetAngularVel() override;
    void AddForce(const vector3& v) override;
    vector3 GetForce() override;
    void AddTorque(const vector3& v) override;
    vector3 GetTorque() override;
    void AddRelForce(const vector3& v) override;
    void AddRelTorque(const vector3& v) override;
    void AddForceAtPos(const vector3& force, const vector3& pos) override;
    void AddForceAtRelPos(const vector3& force, const vector3& pos) override;
    void AddRelForceAtPos(const vector3& force, const vector3& pos) override;
    void AddRelForceAtRelPos(const vector3& force, const vector3& pos) override;
    void SetGravity(bool on) override;
    bool GetGravity() override;
    // Rotation and translation of a row-vector matrix; scale is taken out by ODE.
    void SetMatrix(const matrix44& m) override;
    matrix44 GetMatrix() override;
    void SetContactParam(int index, float value) override;
    float GetContactParam(int index) override;

    // Null once the server is gone.
    dBodyID GetBodyId() const { return body; }
    const nContactParams& GetContact() const { return contact; }

private:
    enum Refusal { REFUSED_MASS = 1, REFUSED_VECTOR = 2, REFUSED_MATRIX = 4, REFUSED_PARAM = 8 };
    bool usable(const vector3& v, const char* op);
    bool usable(const vector3& a, const vector3& b, const char* op) { return usable(a, op) && usable(b, op); }
    void logOnce(int kind, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

    nOdePhysikServer* server;
    ode::World* world;
    dMass mass;
    dBodyID body = nullptr;
    nContactParams contact;
    int refusalsLogged = 0;
};
