#pragma once

class nKernelServer;

// Registers the input folder's classes, superclasses first.
void nInputPackage(nKernelServer* ks);
