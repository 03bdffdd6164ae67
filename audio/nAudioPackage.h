#pragma once

class nKernelServer;

// Registers the audio folder's classes, superclasses first.
void nAudioPackage(nKernelServer* ks);
