#pragma once
// The contact surface of a physics body: ODE's mode bits in the engine's numbering and
// the ten surface values (platform/ode/Surface.h translates them for ODE).
#include "platform/ode/Surface.h"

using nContactParams = ode::Surface;
