#pragma once

class nKernelServer;

// Registers the gfx folder's classes, superclasses first.
void nGfxPackage(nKernelServer* ks);

