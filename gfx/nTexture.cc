#include "gfx/nTexture.h"

#include "kernel/nKernelServer.h"

const nClassInfo nTexture::classInfo = nClassInfo::Make<nTexture>("ntexture", "nroot");

nTexture::nTexture()
    : refGfx("/sys/servers/gfx"), numLevels(0), width(0), height(0), bytesPerPixel(0), lod(0), bindCount(0),
      memSize(0), genMipMaps(false), highQuality(false) {}

nTexture::~nTexture() = default;

bool nTexture::Load() { return false; }
void nTexture::Unload() {}

// Only a device texture can do these; reaching the base is an engine fault.
static const char* const pureText = "pure virtual function call in ntex_main.cc";

bool nTexture::Create(int, int, bool) { nKernelServer::FatalError("%s", pureText); }
void* nTexture::Lock(int, int, int, int, int*, nPixelFormat**) { nKernelServer::FatalError("%s", pureText); }
void nTexture::Unlock() { nKernelServer::FatalError("%s", pureText); }
void nTexture::SetPixel(int, int, int, int, int, int) { nKernelServer::FatalError("%s", pureText); }
void nTexture::GetPixel(int, int, int&, int&, int&, int&) { nKernelServer::FatalError("%s", pureText); }

void nTexture::SetFileNames(const char* file, const char* alphaFile) {
    fileName.Set(file);
    alphaFileName.Set(alphaFile);
}

void nTexture::GetFileNames(const char*& file, const char*& alphaFile) const {
    file = fileName.Length() ? fileName.Get() : nullptr;
    alphaFile = alphaFileName.Length() ? alphaFileName.Get() : nullptr;
}
