#pragma once

class nKernelServer;

// Registers the classes of the app folder.
void nAppPackage(nKernelServer* ks);
