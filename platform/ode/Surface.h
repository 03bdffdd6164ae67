#pragma once
// Contact surfaces and joint parameters in the engine's numbering, and their
// translation into ODE 0.16, which renumbered both since the engine's scripts, saved
// files and contact parameters were defined.
#include <ode/ode.h>

namespace ode {

// Contact-mode bits as the engine stores them.
enum SurfaceFlag : int {
    Mu2 = 0x001,
    FDir1 = 0x002,
    Bounce = 0x004,
    SoftERP = 0x008,
    SoftCFM = 0x010,
    Motion1 = 0x020,
    Motion2 = 0x040,
    Slip1 = 0x080,
    Slip2 = 0x100,
    Approx1_1 = 0x1000,
    Approx1_2 = 0x2000,
};

// One contact surface: the mode in engine bits, then the ten values. A value whose
// flag is clear is ignored by ODE.
struct Surface {
    int mode = 0;
    float mu = 0.0f;
    float mu2 = 0.0f;
    float bounce = 0.0f;
    float bouncevel = 0.0f;
    float softerp = 0.0f;
    float softcfm = 0.0f;
    float motion1 = 0.0f;
    float motion2 = 0.0f;
    float slip1 = 0.0f;
    float slip2 = 0.0f;
};

// The ODE mode bits of an engine mode (Slip1 and Slip2 moved up one bit).
int ModeToOde(int mode);
// Fills every field of `out`; ODE's newer fields (rho, rho2, rhoN, motionN) are zero,
// an infinite value becomes dInfinity.
void FillSurface(dSurfaceParameters& out, const Surface& s);
// ODE's index of an engine joint parameter 0..10 (lo stop, hi stop, velocity, maximum
// force, fudge, bounce, CFM, stop ERP, stop CFM, suspension ERP, suspension CFM);
// -1 for any other index.
int JointParamToOde(int param);

}  // namespace ode
