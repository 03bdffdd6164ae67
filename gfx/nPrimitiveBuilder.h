#pragma once
// The graphics server's immediate mode: vertices given one by one between Begin and
// End are collected in the dynamic vertex buffers and drawn with the shared index
// buffer "primitive_gfx" and the pixel shader "prim_pizel_slader" (no texture, no
// lighting, no culling). A full buffer is drawn and collection goes on in a fresh one;
// strips and fans carry the vertices they continue from.
#include <cstdint>

#include "gfx/nPixelShaderDesc.h"
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nRef.h"

class nGfxServer;
class nIndexBuffer;
class nPixelShader;
class nVertexBuffer;

class nPrimitiveBuilder {
public:
    // Vertices drawn at once: whole lines and triangles.
    static constexpr int BatchVertices = 600;

    nPrimitiveBuilder();
    ~nPrimitiveBuilder();

    // `type` is an index-buffer primitive type 0..5 (checked by the caller).
    void Begin(nGfxServer* gfx, int type);
    void Coord(float x, float y, float z);
    void Norm(float x, float y, float z);
    void Uv(float u, float v);
    // 0xAARRGGBB.
    void SetColor(uint32_t argb) { color = argb; }
    void End();

    bool IsInBegin() const { return vb != nullptr; }
    // Batches drawn since the builder was made.
    int GetBatchCount() const { return batches; }

private:
    struct Vertex {
        float pos[3];
        float norm[3];
        uint32_t color;
        float uv[2];
    };
    void put(const Vertex& v);
    void flush();

    nRef<nIndexBuffer> refIndices;
    nRef<nPixelShader> refShader;
    nPixelShaderDesc desc;
    nVertexBufferHolder holder;
    bool holderMade = false;
    nVertexBuffer* vb = nullptr;
    int type = 0;
    int count = 0;
    uint32_t color = 0x00FFFFFFu;
    Vertex pending{};
    Vertex first{};
    Vertex last[2]{};
    int total = 0;
    int batches = 0;
};
