// The ODE layer's translations and checks, against ODE 0.16's own numbering.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstring>

#include "platform/ode/Checks.h"
#include "platform/ode/Surface.h"

namespace {

TEST(OdeLayer, EngineNumbersBecomeOdesNumbers) {
    EXPECT_EQ(ode::ModeToOde(ode::Slip1), dContactSlip1);
    EXPECT_EQ(ode::ModeToOde(ode::Slip2), dContactSlip2);
    EXPECT_EQ(ode::ModeToOde(ode::Approx1_1 | ode::Approx1_2), dContactApprox1_1 | dContactApprox1_2);
    EXPECT_EQ(ode::ModeToOde(ode::Mu2 | ode::FDir1 | ode::Bounce | ode::SoftERP | ode::SoftCFM | ode::Motion1 |
                             ode::Motion2),
              dContactMu2 | dContactFDir1 | dContactBounce | dContactSoftERP | dContactSoftCFM | dContactMotion1 |
                  dContactMotion2);
    const int odeOrder[11] = {dParamLoStop, dParamHiStop, dParamVel, dParamFMax, dParamFudgeFactor, dParamBounce,
                              dParamCFM, dParamStopERP, dParamStopCFM, dParamSuspensionERP, dParamSuspensionCFM};
    for (int i = 0; i < 11; i++) EXPECT_EQ(ode::JointParamToOde(i), odeOrder[i]) << i;
    EXPECT_EQ(ode::JointParamToOde(11), -1);
    EXPECT_EQ(ode::JointParamToOde(-1), -1);

    ode::Surface s;
    s.mode = ode::Slip2;
    s.mu = INFINITY;
    s.slip2 = 0.5f;
    dSurfaceParameters p;
    std::memset(&p, 0xff, sizeof(p));
    ode::FillSurface(p, s);
    EXPECT_EQ(p.mode, dContactSlip2);
    EXPECT_EQ(p.mu, dInfinity);
    EXPECT_EQ(p.slip2, 0.5);
    EXPECT_EQ(p.rho, 0.0);
    EXPECT_EQ(p.motionN, 0.0);
}

TEST(OdeLayer, ChecksRejectWhatOdeWouldAssertOn) {
    dMass m;
    dMassSetSphere(&m, 5, 0);
    EXPECT_FALSE(ode::MassUsable(m));
    dMassSetSphere(&m, -5, 1);
    EXPECT_FALSE(ode::MassUsable(m));
    dMassSetBox(&m, 5, 1, 1, 0);
    EXPECT_FALSE(ode::MassUsable(m));
    dMassSetBox(&m, 5, 1, 1, 1e-4);
    EXPECT_TRUE(ode::MassUsable(m));
    dMassSetBox(&m, 5, NAN, 1, 1);
    EXPECT_FALSE(ode::MassUsable(m));

    dMatrix3 r = {0};
    EXPECT_FALSE(ode::RotationUsable(r));
    dMatrix3 id = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    EXPECT_TRUE(ode::RotationUsable(id));
    id[5] = NAN;
    EXPECT_FALSE(ode::RotationUsable(id));

    EXPECT_FALSE(ode::AxisUsable(0, 0, 0));
    EXPECT_FALSE(ode::AxisUsable(INFINITY, 0, 0));
    EXPECT_TRUE(ode::AxisUsable(0, 1e-3, 0));
    const double a[3] = {0, 1, 0}, b[3] = {0, -2, 0}, c[3] = {0, 1, 1e-3};
    EXPECT_FALSE(ode::AxesIndependent(a, b));
    EXPECT_TRUE(ode::AxesIndependent(a, c));
}

}  // namespace
