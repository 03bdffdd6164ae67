#pragma once

class nKernelServer;

// Registers the classes of the script folder with the kernel.
void nScriptPackage(nKernelServer* ks);
