#pragma once
// Argument checks made before calling ODE: Debian's ODE has its asserts compiled in,
// and a failed assert aborts the process. Each check says whether ODE would accept the
// value; callers refuse (and log) what fails.
#include <ode/ode.h>

namespace ode {

bool Finite(double x, double y, double z);
// A mass ODE's dBodySetMass takes once its centre is moved to the origin: positive and
// finite, with a finite positive-definite inertia.
bool MassUsable(const dMass& m);
// A rotation ODE can turn into a quaternion: finite, and no axis collapsed.
bool RotationUsable(const dMatrix3 r);
// A joint axis: finite and of non-zero length.
bool AxisUsable(double x, double y, double z);
// Two axes that span a plane (hinge-2 axes must not be parallel).
bool AxesIndependent(const double a[3], const double b[3]);

}  // namespace ode
