#include "scene/nTexArrayNode.h"

#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nFileServer2.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

const char* orNone(const nString& s) { return s.IsEmpty() ? "none" : s.Get(); }
bool isNone(const char* name) { return !name || !*name || std::strcmp(name, "none") == 0; }

}  // namespace

const nCmdDef<nTexArrayNode> nTexArrayNode::cmds[] = {
    Bind<&nTexArrayNode::SetTexture>("v_settexture_iss", "STXT"),
    {"ss_gettexture_i", "GTXT",
     [](nTexArrayNode* self, nCmd* c) {
         const char *file, *alpha;
         self->GetTexture(c->In()->GetI(), file, alpha);
         c->Out()->SetS(file);
         c->Out()->SetS(alpha);
     }},
    Bind<&nTexArrayNode::SetGenMipMaps>("v_setgenmipmaps_ib", "SGMM"),
    Bind<&nTexArrayNode::GetGenMipMaps>("b_getgenmipmaps_i", "GGMM"),
    Bind<&nTexArrayNode::SetHighQuality>("v_sethighquality_ib", "SHQL"),
    Bind<&nTexArrayNode::GetHighQuality>("b_gethighquality_i", "GHQL"),
};

const nClassInfo nTexArrayNode::classInfo =
    nClassInfo::Make<nTexArrayNode>("ntexarraynode", "nvisnode", cmds);

void nTexArrayNode::SetTexture(int stage, const char* file, const char* alphaFile) {
    if (!validStage(stage)) {
        n_error("%s: settexture: stage %d is not 0..3\n", GetFullName().c_str(), stage);
        return;
    }
    if ((!isNone(file) && !nFileServer2::MayKeepPath(file)) ||
        (!isNone(alphaFile) && !nFileServer2::MayKeepPath(alphaFile)))
        return;
    const uint8_t bit = uint8_t(1u << stage);
    file_[stage] = isNone(file) ? "" : file;
    alphaFile_[stage] = isNone(alphaFile) ? "" : alphaFile;
    if (file_[stage].IsEmpty()) hasTexture_ &= uint8_t(~bit);
    else hasTexture_ |= bit;
    changed_ |= bit;
    failed_ &= uint8_t(~bit);
}

void nTexArrayNode::GetTexture(int stage, const char*& file, const char*& alphaFile) const {
    file = alphaFile = "none";
    if (!validStage(stage)) return;
    file = orNone(file_[stage]);
    alphaFile = orNone(alphaFile_[stage]);
}

void nTexArrayNode::SetGenMipMaps(int stage, bool on) {
    if (!validStage(stage)) return;
    if (on) genMipMaps_ |= uint8_t(1u << stage);
    else genMipMaps_ &= uint8_t(~(1u << stage));
}

bool nTexArrayNode::GetGenMipMaps(int stage) const {
    return validStage(stage) && (genMipMaps_ & (1u << stage));
}

void nTexArrayNode::SetHighQuality(int stage, bool on) {
    if (!validStage(stage)) return;
    if (on) highQuality_ |= uint8_t(1u << stage);
    else highQuality_ &= uint8_t(~(1u << stage));
}

bool nTexArrayNode::GetHighQuality(int stage) const {
    return validStage(stage) && (highQuality_ & (1u << stage));
}

void nTexArrayNode::loadTextures() {
    nGfxServer* gfx = refGfx.Get();
    if (!gfx) return;
    for (int s = 0; s < MaxStages; s++) {
        const uint8_t bit = uint8_t(1u << s);
        const bool missing = (hasTexture_ & bit) && !texArray_.GetTexture(s) && !(failed_ & bit);
        if (!(changed_ & bit) && !missing) continue;
        changed_ &= uint8_t(~bit);
        const char* alpha = alphaFile_[s].IsEmpty() ? nullptr : alphaFile_[s].Get();
        if (!texArray_.Load(s, gfx, file_[s].Get(), alpha, genMipMaps_ & bit, highQuality_ & bit)) {
            failed_ |= bit;
            n_error("%s: texture '%s' of stage %d does not load\n", GetFullName().c_str(), file_[s].Get(), s);
        }
    }
}

bool nTexArrayNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->texArrayNode = this;
    return true;
}

void nTexArrayNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    loadTextures();
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->texArray = &texArray_;
}

void nTexArrayNode::Preload() {
    loadTextures();
    nVisNode::Preload();
}

bool nTexArrayNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    for (int s = 0; s < MaxStages; s++) {
        if (!(hasTexture_ & (1u << s))) continue;
        if (!ps->Put(this, nId("STXT"), s, file_[s].Get(), orNone(alphaFile_[s]))) return false;
    }
    for (int s = 0; s < MaxStages; s++) {
        if (!(genMipMaps_ & (1u << s)) && !ps->Put(this, nId("SGMM"), s, false)) return false;
    }
    for (int s = 0; s < MaxStages; s++) {
        if ((highQuality_ & (1u << s)) && !ps->Put(this, nId("SHQL"), s, true)) return false;
    }
    return true;
}
