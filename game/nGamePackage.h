#pragma once

class nKernelServer;

// Registers the game folder's classes, superclasses first.
void nGamePackage(nKernelServer* ks);
