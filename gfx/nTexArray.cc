#include "gfx/nTexArray.h"

#include <functional>
#include <string>

#include "gfx/nGfxServer.h"
#include "gfx/nTexture.h"

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
    std::string name = file;
    if (alphaFile && *alphaFile) name += "_a";
    if (nTexture* found = gfx->FindTexture(name.c_str())) {
        slots_[stage].Set(found);
        return true;
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
