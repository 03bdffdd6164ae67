// The graphics server's pixel shaders.
#include <algorithm>

#include "gfx/nD3D8PixelShader.h"
#include "gfx/nD3D8Server.h"

nPixelShader* nD3D8Server::NewPixelShader(const char* name) {
    return static_cast<nPixelShader*>(newResource(pshaderList, "nd3d8pixelshader", name));
}

int nD3D8Server::GetMaxSimultaneousTextures() const {
    const int device = std::clamp(caps.maxSimultaneousTextures, 1, int(MaxTextureStages));
    return maxTexturesOverride > 0 ? std::min(maxTexturesOverride, device) : device;
}
