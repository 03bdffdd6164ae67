#pragma once

class nKernelServer;

// Registers the kernel folder's own classes, superclasses first. Each kernel class
// adds one line here; other folders have package functions of their own.
void nKernelPackage(nKernelServer* ks);
