#include "platform/ode/Checks.h"

#include <cmath>

namespace ode {

bool Finite(double x, double y, double z) {
    return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

bool MassUsable(const dMass& m) {
    if (!std::isfinite(m.mass) || !(m.mass > 0)) return false;
    for (int i = 0; i < 3; i++) {
        if (!Finite(m.I[i * 4], m.I[i * 4 + 1], m.I[i * 4 + 2])) return false;
    }
    // The test dBodySetMass asserts (dMass I is stored with ODE's row padding of 4).
    return dIsPositiveDefinite(m.I, 3) != 0;
}

bool RotationUsable(const dMatrix3 r) {
    for (int i = 0; i < 3; i++) {
        if (!Finite(r[i * 4], r[i * 4 + 1], r[i * 4 + 2])) return false;
    }
    double det = r[0] * (r[5] * r[10] - r[6] * r[9]) - r[1] * (r[4] * r[10] - r[6] * r[8]) +
                 r[2] * (r[4] * r[9] - r[5] * r[8]);
    return std::fabs(det) > 1e-12;
}

bool AxisUsable(double x, double y, double z) {
    return Finite(x, y, z) && x * x + y * y + z * z > 1e-20;
}

bool AxesIndependent(const double a[3], const double b[3]) {
    double cx = a[1] * b[2] - a[2] * b[1];
    double cy = a[2] * b[0] - a[0] * b[2];
    double cz = a[0] * b[1] - a[1] * b[0];
    double la = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    double lb = b[0] * b[0] + b[1] * b[1] + b[2] * b[2];
    // sin of the angle between them above 1e-4
    return cx * cx + cy * cy + cz * cz > 1e-8 * la * lb;
}

}  // namespace ode
