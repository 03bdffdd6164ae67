#include "gfx/nGfxPackage.h"

#include "gfx/nD3D8IndexBuffer.h"
#include "gfx/nD3D8PixelShader.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"

void nGfxPackage(nKernelServer* ks) {
    ks->AddClass(nGfxServer::classInfo);
    ks->AddClass(nD3D8Server::classInfo);
    ks->AddClass(nTexture::classInfo);
    ks->AddClass(nD3D8Texture::classInfo);
    ks->AddClass(nPixelShader::classInfo);
    ks->AddClass(nD3D8PixelShader::classInfo);
    ks->AddClass(nVertexBuffer::classInfo);
    ks->AddClass(nIndexBuffer::classInfo);
    ks->AddClass(nD3D8IndexBuffer::classInfo);
}
