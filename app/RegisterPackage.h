#pragma once
#include <span>

class nKernelServer;
struct nClassInfo;

// Registers every class of the game with the kernel in one fixed order, superclasses
// first: the package the game's kernel is made with (new nKernelServer(RegisterPackage)).
// Tests that need only a few folders use those folders' own package functions instead.
void RegisterPackage(nKernelServer* ks);

// The ordered table RegisterPackage registers first.
std::span<const nClassInfo* const> PackageTable();
