#pragma once
// ODE's library state, started once per process before the first world is made and
// ended when the process exits.
namespace ode {

// Safe to call any number of times, from the main thread.
void Start();
// Where ODE's informational messages go (the solver's warnings); null drops them.
// Errors and failed asserts keep ODE's own handling, which ends the process.
void SetMessageSink(void (*sink)(const char* text));

}  // namespace ode
