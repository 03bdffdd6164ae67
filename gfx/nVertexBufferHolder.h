#pragma once

#include "gfx/nVertexBuffer.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"

class nGfxServer;
class nIndexBuffer;
class nPixelShader;
class nTexArray;

// Streams per-frame geometry: embedded in the nodes that write vertices every frame.
// Each Begin or Swap continues in a fresh dynamic buffer of the graphics server (they
// alternate between "_dynamic0" and "_dynamic1"), and End, Swap and Flush draw what
// was written. A private holder keeps one buffer of its own in ordinary memory instead,
// never draws, and releases that buffer when it goes.
class nVertexBufferHolder {
public:
    nVertexBufferHolder();
    ~nVertexBufferHolder();
    nVertexBufferHolder(const nVertexBufferHolder&) = delete;
    nVertexBufferHolder& operator=(const nVertexBufferHolder&) = delete;

    // Set before Create.
    void SetPrivate(bool isPrivate) { privateBuffer = isPrivate; }
    bool IsPrivate() const { return privateBuffer; }

    void Create(int components, int count);
    // Locks a buffer for writing and returns it; "Aborting." when there is none.
    nVertexBuffer* Begin(nIndexBuffer* indexBuffer, nPixelShader* pixelShader, nTexArray* textureArray);
    // Unlocks and draws the first vertexCount vertices with indexCount indices (nothing
    // when either is 0 or below).
    void End(int vertexCount, int indexCount);
    // As End, then continues locked in a fresh buffer, which it returns.
    nVertexBuffer* Swap(int vertexCount, int indexCount);
    // As End with another shader and textures, then locks the same buffer again.
    void Flush(int vertexCount, int indexCount, nPixelShader* pixelShader, nTexArray* textureArray);

    // Read access to the held buffer: locked and returned, null when there is none or
    // it cannot be locked.
    nVertexBuffer* LockBuffer();
    void UnlockBuffer();

    nVertexBuffer* GetBuffer() const { return buffer.GetUnsafe(); }
    bool IsInBegin() const { return inBegin; }
    int GetComponents() const { return components; }

private:
    nVertexBuffer* fetch();
    void draw(int vertexCount, int indexCount, nPixelShader* pixelShader, nTexArray* textureArray);

    nPathRef<nGfxServer> refGfx;
    nRef<nVertexBuffer> buffer;
    nIndexBuffer* indexBuffer;
    nPixelShader* pixelShader;
    nTexArray* textureArray;
    bool inBegin;
    bool privateBuffer;
    int components;
    int count;
};
