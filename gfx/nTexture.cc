#include "gfx/nTexture.h"

#include <cstdlib>

#include "gfx/nPixelFormat.h"
#include "kernel/nKernelServer.h"

const nClassInfo nTexture::classInfo = nClassInfo::Make<nTexture>("ntexture", "nroot");

nTexture::nTexture()
    : refGfx("/sys/servers/gfx"), numLevels(0), width(0), height(0), bytesPerPixel(0), lod(0), bindCount(0),
      memSize(0), genMipMaps(false), highQuality(false), loadFormat(nullptr), lineLength(0), lineBuffer(nullptr) {}

nTexture::~nTexture() { EndLoad(); }

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

// The images come from game data, so a broken one is reported and refused rather
// than stopping the program.
bool nTexture::BeginLoad(const char* alphaFile) {
    EndLoad();
    if (!pixelImage.Open(fileName.Get(), "rb")) {
        n_error("nTexture: loading pixel channel failed ('%s')\n", fileName.Get());
        return false;
    }
    const int w = pixelImage.GetWidth();
    if (alphaFile && *alphaFile) {
        if (!alphaImage.Open(alphaFile, "rb")) {
            n_error("nTexture: alpha channel defined, but loading failed ('%s')\n", alphaFile);
            EndLoad();
            return false;
        }
        const nPixelFormat* af = alphaImage.GetPixelFormat();
        if (af->type != nPixelFormat::CLUT || af->bpp != 8 || alphaImage.GetWidth() != w ||
            alphaImage.GetHeight() != pixelImage.GetHeight()) {
            n_error("nTexture: alpha channel not 8bpp or wrong size ('%s')\n", alphaFile);
            EndLoad();
            return false;
        }
        loadFormat = new nPixelFormat(32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);
    } else {
        loadFormat = new nPixelFormat(*pixelImage.GetPixelFormat());
    }
    loadFormat->BeginConv(pixelImage.GetPixelFormat());
    lineLength = size_t(w) * size_t((loadFormat->bpp + 7) / 8);
    lineBuffer = static_cast<uint8_t*>(std::calloc(lineLength, 1));
    if (!lineBuffer) {
        n_error("nTexture: out of memory for a line of '%s'\n", fileName.Get());
        EndLoad();
        return false;
    }
    return true;
}

int nTexture::ReadLine() {
    if (!lineBuffer) return -1;
    int row = -1;
    const uint8_t* src = pixelImage.ReadLine(row);
    if (!src) return -1;
    const int w = pixelImage.GetWidth();
    loadFormat->Conv(src, lineBuffer, w);
    if (alphaImage.IsOpen()) {
        int arow = -1;
        const uint8_t* alpha = alphaImage.ReadLine(arow);
        if (!alpha) {
            n_error("nTexture: alpha channel of '%s' ends early\n", fileName.Get());
            return -1;
        }
        // The index bytes are the alpha values; they go into the top byte of each pixel.
        for (int x = 0; x < w; ++x) lineBuffer[4 * x + 3] = alpha[x];
    }
    return row;
}

void nTexture::EndLoad() {
    pixelImage.Close();
    alphaImage.Close();
    delete loadFormat;
    loadFormat = nullptr;
    std::free(lineBuffer);
    lineBuffer = nullptr;
    lineLength = 0;
}
