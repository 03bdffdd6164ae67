#pragma once

class nKernelServer;

// Registers the in-game tools' classes, superclasses first.
void nToolsPackage(nKernelServer* ks);
