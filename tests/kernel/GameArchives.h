#pragma once
// The game's data as the game reads it: the build's npk archives ("home:<folder>.npk")
// mounted by an npk file server in place of the kernel's plain one, as start-up does,
// so that "home:<folder>/..." resolves inside them.
#include "kernel/nKernelServer.h"
#include "kernel/nNpkFileServer.h"

namespace bwtest {

// The number of archives mounted.
inline int MountGameArchives(nKernelServer* kernel) {
    kernel->ReplaceFileServer("nnpkfileserver");
    auto* files = static_cast<nNpkFileServer*>(kernel->Lookup("/sys/servers/file2"));
    return files ? files->ParseDirectory("home:") : 0;
}

}  // namespace bwtest
