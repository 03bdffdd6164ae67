#pragma once

class nKernelServer;

// Registers the video folder's classes, superclasses first.
void nVideoPackage(nKernelServer* ks);
