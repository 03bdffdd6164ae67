#pragma once

class nKernelServer;

// Registers the scene folder's classes, superclasses first.
void nScenePackage(nKernelServer* ks);
