// The graphics server's textures: making them, the stages that hold them, and the
// image library that loads their files.
#include <IL/il.h>
#include <IL/ilu.h>

#include <cstdint>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"

namespace {

// DevIL reads through the file server, so images in npk archives load too.
nFile* asFile(ILHANDLE handle) { return static_cast<nFile*>(handle); }

ILHANDLE ILAPIENTRY imageOpen(ILconst_string name) {
    nRoot* server = nKernelServer::ks ? nKernelServer::ks->Lookup("/sys/servers/file2") : nullptr;
    if (!server || !name || !server->IsA("nfileserver2")) return nullptr;
    nFile* file = static_cast<nFileServer2*>(server)->NewFileObject();
    if (!file->Open(name, "rb")) {
        delete file;
        return nullptr;
    }
    return file;
}

void ILAPIENTRY imageClose(ILHANDLE handle) {
    nFile* file = asFile(handle);
    if (!file) return;
    file->Close();
    delete file;
}

ILboolean ILAPIENTRY imageEof(ILHANDLE handle) { return asFile(handle)->Eof() ? IL_TRUE : IL_FALSE; }

ILint ILAPIENTRY imageGetc(ILHANDLE handle) {
    uint8_t c = 0;
    return asFile(handle)->Read(&c, 1) == 1 ? ILint(c) : IL_EOF;
}

// Whole elements read.
ILint ILAPIENTRY imageRead(void* buffer, ILuint size, ILuint count, ILHANDLE handle) {
    if (size == 0 || count == 0) return 0;
    const size_t bytes = asFile(handle)->Read(buffer, size_t(size) * size_t(count));
    return ILint(bytes / size);
}

ILint ILAPIENTRY imageSeek(ILHANDLE handle, ILint offset, ILint origin) {
    const int from = origin == IL_SEEK_SET ? nFile::START : origin == IL_SEEK_END ? nFile::END : nFile::CURRENT;
    return asFile(handle)->Seek(offset, from) ? 0 : -1;
}

ILint ILAPIENTRY imageTell(ILHANDLE handle) { return ILint(asFile(handle)->Tell()); }

}  // namespace

void nD3D8Server::openImageLibrary() {
    ilInit();
    iluInit();
    ilEnable(IL_ORIGIN_SET);
    ilEnable(IL_CONV_PAL);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    ilSetRead(imageOpen, imageClose, imageEof, imageGetc, imageRead, imageSeek, imageTell);
}

void nD3D8Server::closeImageLibrary() { ilShutDown(); }

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
