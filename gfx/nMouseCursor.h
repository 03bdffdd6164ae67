#pragma once

#include "kernel/nRef.h"
#include "kernel/nString.h"

class nTexture;

// One entry of the graphics server's cursor table; the entry owns its texture.
struct nMouseCursor {
    nString file;
    nRef<nTexture> texture;
    int hotX = 0;
    int hotY = 0;
};

