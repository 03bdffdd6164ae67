#include "gfx/nImageFile.h"

#include <cstring>

#include "kernel/nKernelServer.h"

nImageFile::nImageFile() : fp(nullptr), width(0), height(0), pixelFormat(nullptr), mode(CLOSED) {}

nImageFile::~nImageFile() {
    delete pixelFormat;
    if (fp) std::fclose(fp);
}

bool nImageFile::Open(const char* name, const char* m) {
    if (fp) Close();
    writeFailed = false;
    if (!name || !m) return false;
    fp = std::fopen(name, m);
    if (!fp) {
        mode = CLOSED;
        return false;
    }
    mode = std::strchr(m, 'w') ? WRITING : READING;
    return true;
}

void nImageFile::Close() {
    replaceFormat(nullptr);
    if (fp) {
        if (std::fclose(fp) != 0 && mode == WRITING) writeFailed = true;
        fp = nullptr;
    }
    mode = CLOSED;
}

bool nImageFile::IsOpen() const { return mode != CLOSED; }
int nImageFile::GetWidth() const { return width; }
int nImageFile::GetHeight() const { return height; }
nPixelFormat* nImageFile::GetPixelFormat() const { return pixelFormat; }

uint8_t* nImageFile::ReadLine(int&) {
    nKernelServer::FatalError("nImageFile::ReadLine(): Pure virtual function called!\n");
    return nullptr;
}

void nImageFile::WriteLine(const void*) {
    nKernelServer::FatalError("nImageFile::WriteLine(): Pure virtual function called!\n");
}

void nImageFile::SetWidth(int w) { width = w; }
void nImageFile::SetHeight(int h) { height = h; }

void nImageFile::SetFormat(int bpp, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    replaceFormat(new nPixelFormat(bpp, r, g, b, a));
}

void nImageFile::SetPalette(int bpp, const uint8_t* colours) {
    replaceFormat(new nPixelFormat(colours, bpp));
}

void nImageFile::replaceFormat(nPixelFormat* format) {
    delete pixelFormat;
    pixelFormat = format;
}
