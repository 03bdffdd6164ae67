#pragma once

class nKernelServer;

// Registers the collide folder's classes, superclasses first.
void nCollidePackage(nKernelServer* ks);
