#pragma once

class nCollideServer2;

// The game's collision world as start-up declares it before any script runs: the
// contexts "physik", "trigger", "damage" and "picking", 17 collision classes and the
// 24 class pairs that collide (every other pair is "ignore").
void nCollideDefaultSetup(nCollideServer2* server);
