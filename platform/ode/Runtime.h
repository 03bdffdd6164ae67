#pragma once
// ODE's library state, started once per process before the first world is made and
// ended when the process exits.
namespace ode {

// Safe to call any number of times, from the main thread.
void Start();

}  // namespace ode
