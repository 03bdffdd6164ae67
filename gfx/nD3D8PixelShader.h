#pragma once
// The pixel shader on the render device (script class "nd3d8pixelshader"): splits the
// description's stages into passes of as many stages as the device samples at once,
// records one state block per pass, blends the stages of later passes over the frame
// buffer, and binds textures, material, texture factor and texture transforms per pass.
#include <cstdint>

#include "gfx/nPixelShader.h"
#include "kernel/matrix44.h"

class nD3D8Server;

class nD3D8PixelShader : public nPixelShader {
public:
    static const nClassInfo classInfo;

    static constexpr int MaxPasses = 4;

    nD3D8PixelShader();
    ~nD3D8PixelShader() override;

    bool RecordStateBlocks() override;
    int BeginPasses(nTexArray* textures) override;
    void SetPass(int pass) override;
    void EndPasses() override;

    int GetNumPasses() const { return numPasses; }
    uint32_t GetStateBlock(int pass) const { return pass >= 0 && pass < MaxPasses ? stateBlocks[pass] : 0; }

    // The 2D texture form of a stage matrix: the translation of row 3 moves to row 2,
    // column 2 becomes (0, 0, 1, 0) and row 3 (0, 0, 0, 1).
    static matrix44 TextureMatrix2D(const matrix44& m);
    // The constant colour as the device's 0xAARRGGBB texture factor, channels truncated.
    static uint32_t PackColor(const float color[4]);

private:
    nD3D8Server* server();
    void recordPass(int pass);
    void bindTextures(int pass);

    int numPasses;
    int passFirst[MaxPasses];
    int passStages[MaxPasses];
    uint32_t stateBlocks[MaxPasses];
    bool sphereMap[MaxPasses];
};
