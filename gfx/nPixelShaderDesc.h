#pragma once
// The render-state description a pixel shader turns into device state: up to four
// texture stages with a colour and an alpha operation each, per-stage addressing,
// filtering, coordinate source and texture transform, the switches and codes of the
// fixed-function pipeline, the constant colour and the material. Its owner (a shader
// node, a sprite, the shadow server, the immediate-mode builder) fills it and raises
// the change flags; the pixel shader clears them as it rebuilds.
#include <cstdint>

#include "kernel/matrix44.h"
#include "kernel/vector3.h"

class nPixelShaderDesc {
public:
    static constexpr int MaxStages = 4;

    // Stage operations.
    enum Op : uint32_t { NOP = 0, REPLACE = 1, MUL = 2, ADD = 3, ADDS = 4, IPOL = 5 };
    // Operation scales.
    enum Scale : uint32_t { ONE = 0, TWO = 1, FOUR = 2 };
    // Argument sources (low four bits) and flags.
    enum Arg : uint32_t { NOARG = 0, TEX = 1, PREV = 2, CONST = 3, PRIM = 4, SRCMASK = 15, INV = 16,
                          COLOR = 32, ALPHA = 64 };

    // State codes of the shader node's name table.
    enum Code : int {
        NEAREST = 2, LINEAR = 3, NEAREST_MIPMAP_NEAREST = 4, LINEAR_MIPMAP_NEAREST = 5,
        NEAREST_MIPMAP_LINEAR = 6, LINEAR_MIPMAP_LINEAR = 7, WRAP = 8, CLAMP = 9,
        NEVER = 14, LESS = 15, EQUAL = 16, LESSEQUAL = 17, GREATER = 18, NOTEQUAL = 19, GREATEREQUAL = 20,
        ALWAYS = 21, ZERO = 22, ONE_ = 23, SRCCOLOR = 24, INVSRCCOLOR = 25, SRCALPHA = 26, INVSRCALPHA = 27,
        DESTALPHA = 28, INVDESTALPHA = 29, DESTCOLOR = 30, INVDESTCOLOR = 31,
        CULL_NONE = 36, CULL_CW = 37, CULL_CCW = 38,
        CM_MATERIAL = 39, CM_DIFFUSE = 40, CM_EMISSIVE = 41, CM_AMBIENT = 42,
        UV0 = 43, UV1 = 44, UV2 = 45, UV3 = 46, OBJECTSPACE = 47, EYESPACE = 48, SPHEREMAP = 49,
    };

    struct StageOp {
        uint32_t op = NOP;
        uint32_t arg0 = 0;
        uint32_t arg1 = 0;
        uint32_t arg2 = 0;
        uint32_t scale = ONE;
    };

    struct Stage {
        int addressU = CLAMP;
        int addressV = CLAMP;
        int minFilter = LINEAR;
        int magFilter = LINEAR;
        int texCoordSrc = UV0;
        matrix44 matrix;
        bool matrixChanged = false;
        bool enableTransform = false;
        vector3 translate{0.0f, 0.0f, 0.0f};
        vector3 rotate{0.0f, 0.0f, 0.0f};  // radians
        vector3 scale{1.0f, 1.0f, 1.0f};
    };

    int numStages = 0;
    StageOp colorOp[MaxStages];
    StageOp alphaOp[MaxStages];
    Stage stages[MaxStages];

    bool lightEnable = true;
    bool alphaEnable = false;
    bool zwriteEnable = true;
    bool fogEnable = true;
    bool alphaTestEnable = false;
    int srcBlend = SRCALPHA;
    int destBlend = INVSRCALPHA;
    int zFunc = LESSEQUAL;
    int cullMode = CULL_CCW;
    int colorMaterial = CM_MATERIAL;
    int alphaFunc = GREATER;
    float alphaRef = 0.0f;

    float constColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float diffuse[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float emissive[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float ambient[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    // Render states changed: the state blocks must be recorded again.
    bool renderStatesChanged = false;
    // The state block must be applied on the next draw.
    bool applyStateBlock = false;
    bool constColorChanged = false;
    bool transformChanged = false;
    bool materialChanged = false;

    // Everything changed: the next draw rebuilds all.
    void SetAllChanged() {
        renderStatesChanged = true;
        constColorChanged = true;
        transformChanged = true;
        materialChanged = true;
    }
};
