#include "gfx/nTexArray.h"

#include <cstring>
#include <functional>
#include <string>

#include "gfx/nGfxServer.h"
#include "gfx/nTexture.h"
#include "kernel/nFileServer2.h"

nTexArray::~nTexArray() {
    for (int s = 0; s < MaxStages; s++) release(s);
}

void nTexArray::release(int stage) {
    nTexture* t = slots_[stage].GetUnsafe();
    slots_[stage].Set(nullptr);
    if (t) t->Release();
}

nTexture* nTexArray::GetTexture(int stage) const {
    return stage >= 0 && stage < MaxStages ? slots_[stage].GetUnsafe() : nullptr;
}

void nTexArray::SetTexture(int stage, nTexture* tex) {
    if (stage < 0 || stage >= MaxStages) return;
    if (tex) tex->AddRef();
    release(stage);
    slots_[stage].Set(tex);
}

bool nTexArray::Load(int stage, nGfxServer* gfx, const char* file, const char* alphaFile, bool genMipMaps,
                     bool highQuality) {
    if (stage < 0 || stage >= MaxStages) return false;
    release(stage);
    if (!file || !*file) return true;
    const bool withAlpha = alphaFile && *alphaFile;
    // Every spelling of one file shares one texture.
    const std::string shared = nFileServer2::Share(file);
    const std::string sharedAlpha = withAlpha ? nFileServer2::Share(alphaFile) : std::string();
    std::string name = shared;
    if (withAlpha) name += "_a";
    // A colour file shared with two different alpha files must not share one texture:
    // the later alpha file gets the next free "_a<n>" name (or the one made with it).
    for (int n = 2;; n++) {
        nTexture* found = gfx->FindTexture(name.c_str());
        if (!found) break;
        const char *foundFile, *foundAlpha;
        found->GetFileNames(foundFile, foundAlpha);
        if (!withAlpha || (foundAlpha && nFileServer2::Share(foundAlpha) == sharedAlpha)) {
            slots_[stage].Set(found);
            return true;
        }
        found->Release();
        name = shared + "_a" + std::to_string(n);
    }
    nTexture* tex = gfx->NewTexture(name.c_str());
    if (!tex) return false;
    tex->SetFileNames(file, alphaFile);
    tex->SetGenMipMaps(genMipMaps);
    tex->SetHighQuality(highQuality);
    if (!tex->Load()) {
        tex->Release();
        return false;
    }
    slots_[stage].Set(tex);
    return true;
}

int nTexArray::Compare(const nTexArray* a, const nTexArray* b) {
    for (int s = 0; s < MaxStages; s++) {
        const nTexture* ta = a->GetTexture(s);
        const nTexture* tb = b->GetTexture(s);
        if (ta != tb) return std::less<const nTexture*>()(ta, tb) ? -1 : 1;
    }
    return 0;
}
