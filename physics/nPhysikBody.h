#pragma once
// A rigid body a physics node moves. Made by the physics server's CreateBody and owned
// by whoever asked for it. Its contact parameters are addressed by the names of
// _str2param; the physics server turns them into contact surfaces.
#include "kernel/matrix44.h"
#include "kernel/nArray.h"
#include "kernel/vector3.h"

class nGfxServer;
class nPhysikMass;

class nPhysikBody {
public:
    // Contact parameter indices, by the names _str2param knows.
    enum ContactParam {
        MU, MU2, BOUNCE, BOUNCEVEL, CONTACTDIR, SOFTERP, SOFTCFM, MOTION1, MOTION2, SLIP1, SLIP2,
        APPROX1, APPROX11, APPROX12, NUM_CONTACT_PARAMS
    };

    nPhysikBody();
    virtual ~nPhysikBody();
    nPhysikBody(const nPhysikBody&) = delete;
    nPhysikBody& operator=(const nPhysikBody&) = delete;

    // Empties the mass list and the area sum.
    virtual void ResetMass();
    // Adds the mass's area and keeps the mass in the list Visualize draws (not owned:
    // its owner keeps it alive until the next ResetMass).
    virtual void AddMass(nPhysikMass* m);
    virtual void SetMass();
    virtual float GetMass();
    virtual float GetMassSum() { return massSum; }
    virtual bool Connected(nPhysikBody* other);
    // A cross at the body's position, then every mass's outline.
    virtual void Visualize(nGfxServer* gfx);
    virtual void SetForce(const vector3& v);
    virtual void SetTorque(const vector3& v);
    virtual void SetLinearVel(const vector3& v);
    virtual vector3 GetLinearVel();
    virtual void SetAngularVel(const vector3& v);
    virtual vector3 GetAngularVel();
    virtual void AddForce(const vector3& v);
    virtual vector3 GetForce();
    virtual void AddTorque(const vector3& v);
    virtual vector3 GetTorque();
    virtual void AddRelForce(const vector3& v);
    virtual void AddRelTorque(const vector3& v);
    virtual void AddForceAtPos(const vector3& force, const vector3& pos);
    virtual void AddForceAtRelPos(const vector3& force, const vector3& pos);
    virtual void AddRelForceAtPos(const vector3& force, const vector3& pos);
    virtual void AddRelForceAtRelPos(const vector3& force, const vector3& pos);
    virtual void SetGravity(bool on);
    virtual bool GetGravity();
    virtual void SetMatrix(const matrix44& m);
    virtual matrix44 GetMatrix();
    // index 0..13; a negative value means infinity. An index outside the table stops
    // the program (callers map names through _str2param first).
    virtual void SetContactParam(int index, float value);
    // An infinite value reads -1.
    virtual float GetContactParam(int index);

    // The index of a contact parameter name (exact, case-sensitive); -1, logged, for
    // any other name.
    static int _str2param(const char* name);

    int GetNumMasses() const { return masses.Size(); }

protected:
    nArray<nPhysikMass*> masses;
    float massSum = 0.0f;
};
