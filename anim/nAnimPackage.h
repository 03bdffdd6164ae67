#pragma once

class nKernelServer;

// Registers the anim folder's classes, superclasses first.
void nAnimPackage(nKernelServer* ks);
