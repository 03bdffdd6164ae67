// The graphics server's textures: making them and the stages that hold them.
#include <cstdint>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"

nTexture* nD3D8Server::NewTexture(const char* name) {
    return static_cast<nTexture*>(newResource(texList, "nd3d8texture", name));
}

void nD3D8Server::SetTexture(int stage, nTexture* tex) {
    if (stage < 0 || stage >= MaxTextureStages) {
        n_error("nD3D8Server::SetTexture(): no stage %d\n", stage);
        return;
    }
    nD3D8Texture* d3dTex = tex && tex->IsA("nd3d8texture") ? static_cast<nD3D8Texture*>(tex) : nullptr;
    if (d3dTex) d3dTex->ApplyLOD();
    stageTextures[stage] = d3dTex;
    if (device) device->SetTexture(stage, d3dTex ? d3dTex->GetDeviceTexture() : nullptr);
}

nTexture* nD3D8Server::GetStageTexture(int stage) const {
    return stage >= 0 && stage < MaxTextureStages ? stageTextures[stage] : nullptr;
}

void nD3D8Server::ClearTexture(nTexture* tex) {
    for (int stage = 0; stage < MaxTextureStages; ++stage) {
        if (stageTextures[stage] != tex) continue;
        stageTextures[stage] = nullptr;
        if (device) device->SetTexture(stage, nullptr);
    }
}
