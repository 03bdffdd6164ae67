#pragma once

class nKernelServer;

// Registers the logic folder's classes, superclasses first.
void nLogicPackage(nKernelServer* ks);
