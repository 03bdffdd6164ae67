#include "gfx/nImageFile.h"

#include <cstring>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "platform/system/Disk.h"

namespace {

// Without a kernel (tools, fuzzers) images come from the disk as named.
FILE* openForReading(const char* name, std::string& bytes) {
    nFileServer2* fs = nKernelServer::ks ? nKernelServer::ks->GetFileServer() : nullptr;
    if (!fs) return std::fopen(name, "rb");
    if (!fs->ReadFile(name, bytes) || bytes.empty()) return nullptr;
    return fmemopen(bytes.data(), bytes.size(), "rb");
}

// A picture is written only into a regular file of its own name, never through a link. A
// name that starts with an assign goes where the assign points, or nowhere when there is none.
FILE* openForWriting(const char* name, const char* mode) {
    const bool append = std::strchr(mode, 'a') != nullptr;
    nFileServer2* fs = nKernelServer::ks ? nKernelServer::ks->GetFileServer() : nullptr;
    const std::string path = fs && nFileServer2::AssignLength(name) ? fs->DiskPath(name) : std::string(name);
    if (path.empty()) return nullptr;
    const int fd = sys::Disk::Open(path, append ? sys::Disk::Access::Append : sys::Disk::Access::Write);
    FILE* fp = fd >= 0 ? fdopen(fd, append ? "ab" : "wb") : nullptr;
    if (!fp) sys::Disk::Close(fd);
    return fp;
}

}  // namespace

nImageFile::nImageFile() : fp(nullptr), width(0), height(0), pixelFormat(nullptr), mode(CLOSED) {}

nImageFile::~nImageFile() {
    delete pixelFormat;
    if (fp) std::fclose(fp);
}

bool nImageFile::Open(const char* name, const char* m) {
    if (fp) Close();
    writeFailed = false;
    if (!name || !m) return false;
    const bool writing = std::strchr(m, 'w') || std::strchr(m, 'a');
    if (writing && !nScriptServer::PersonOnly("writing a picture")) return false;
    fp = writing ? openForWriting(name, m) : openForReading(name, fileBytes);
    if (!fp) {
        fileBytes.clear();
        mode = CLOSED;
        return false;
    }
    mode = writing ? WRITING : READING;
    return true;
}

void nImageFile::Close() {
    replaceFormat(nullptr);
    if (fp) {
        if (std::fclose(fp) != 0 && mode == WRITING) writeFailed = true;
        fp = nullptr;
    }
    fileBytes.clear();
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
