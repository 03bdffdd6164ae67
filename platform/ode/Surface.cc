#include "platform/ode/Surface.h"

#include <cmath>

namespace ode {

int ModeToOde(int mode) {
    // Bits below Slip1 and the approximation bits kept their values.
    int out = mode & (Mu2 | FDir1 | Bounce | SoftERP | SoftCFM | Motion1 | Motion2 | Approx1_1 | Approx1_2);
    if (mode & Slip1) out |= dContactSlip1;
    if (mode & Slip2) out |= dContactSlip2;
    return out;
}

static dReal ToOde(float v) {
    return std::isinf(v) ? (v > 0 ? dInfinity : -dInfinity) : dReal(v);
}

void FillSurface(dSurfaceParameters& out, const Surface& s) {
    out.mode = ModeToOde(s.mode);
    out.mu = ToOde(s.mu);
    out.mu2 = ToOde(s.mu2);
    out.rho = 0;
    out.rho2 = 0;
    out.rhoN = 0;
    out.bounce = ToOde(s.bounce);
    out.bounce_vel = ToOde(s.bouncevel);
    out.soft_erp = ToOde(s.softerp);
    out.soft_cfm = ToOde(s.softcfm);
    out.motion1 = ToOde(s.motion1);
    out.motion2 = ToOde(s.motion2);
    out.motionN = 0;
    out.slip1 = ToOde(s.slip1);
    out.slip2 = ToOde(s.slip2);
}

int JointParamToOde(int param) {
    if (param < 0 || param > 10) return -1;
    // LoVel and HiVel were inserted after Vel.
    return param <= 2 ? dParamLoStop + param : dParamLoStop + param + 2;
}

}  // namespace ode
