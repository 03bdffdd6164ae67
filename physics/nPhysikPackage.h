#pragma once

class nKernelServer;

// Registers the physics folder's classes, superclasses first.
void nPhysikPackage(nKernelServer* ks);
