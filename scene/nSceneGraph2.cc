#include "scene/nSceneGraph2.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "gfx/nGfxServer.h"
#include "gfx/nLight.h"
#include "gfx/nTexArray.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "scene/nChannelServer.h"
#include "scene/nShadowServer.h"
#include "scene/nVisNode.h"

namespace {

const nCmdDef<nSceneGraph2> cmds[] = {
    {"v_setenablemiplod_b", "SEML", [](nSceneGraph2* self, nCmd* c) { self->SetEnableMipLod(c->In()->GetB()); }},
    {"b_getenablemiplod_v", "GEML", [](nSceneGraph2* self, nCmd* c) { c->Out()->SetB(self->GetEnableMipLod()); }},
    {"v_beginmiplod_i", "BGML", [](nSceneGraph2* self, nCmd* c) { self->BeginMipLod(c->In()->GetI()); }},
    {"v_setmiplod_if", "STML",
     [](nSceneGraph2* self, nCmd* c) {
         int i = c->In()->GetI();
         self->SetMipLod(i, c->In()->GetF());
     }},
    {"v_endmiplod_v", "EDML", [](nSceneGraph2* self, nCmd*) { self->EndMipLod(); }},
};

const matrix44 zeroMatrix(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

// Any fixed total order on objects serves: it only brings equal state together.
template <class T>
int compareIdentity(const T* a, const T* b) {
    if (a == b) return 0;
    return std::less<const T*>()(a, b) ? -1 : 1;
}

}  // namespace

const nClassInfo nSceneGraph2::classInfo = nClassInfo::Make<nSceneGraph2>("nscenegraph2", "nroot", cmds);

nSceneGraph2::nSceneGraph2()
    : refChannel_("/sys/servers/channel"), refGfx_("/sys/servers/gfx"), refAudio_("/sys/servers/audio"),
      refShadow_("/sys/servers/shadow") {}

nSceneGraph2::~nSceneGraph2() {
    delete[] mipLodTable_;
}

nSceneNodeRecord* nSceneGraph2::GetParentNode() {
    nSceneNodeRecord* cur = GetCurrentNode();
    return cur ? GetNode(cur->parent) : nullptr;
}

bool nSceneGraph2::PushNode() {
    if (stackDepth_ >= MaxDepth || nodeCount_ >= MaxNodes) return false;
    nodeStack_[stackDepth_++] = currentNode_;
    int16_t index = nodeCount_++;
    nSceneNodeRecord& rec = pool_[index];
    rec = nSceneNodeRecord();
    rec.matrix = zeroMatrix;
    rec.parent = currentNode_;
    rec.renderContext = renderContext_;
    currentNode_ = index;
    return true;
}

void nSceneGraph2::PopNode() {
    if (stackDepth_ <= 0) return;
    currentNode_ = nodeStack_[--stackDepth_];
}

bool nSceneGraph2::BeginScene(const matrix44& view) {
    refChannel_.Get()->BeginScene();
    sceneOpen_ = true;
    fogNode_ = nullptr;
    listenerNode_ = nullptr;
    fogIndex_ = listenerIndex_ = -1;
    currentNode_ = -1;
    visualCount_ = lightCount_ = soundCount_ = 0;
    nodeCount_ = 0;
    stackDepth_ = 0;
    PushNode();
    pool_[currentNode_].matrix = view;
    return true;
}

void nSceneGraph2::EndScene(bool render) {
    PopNode();
    if (render) renderScene();
    sceneOpen_ = false;
    refChannel_.Get()->EndScene();
}

// Entry i of the table selects mip level i, and a texture's level fields are 16-bit: a
// longer table names levels no texture can hold.
static constexpr int MaxMipLod = 65535;

void nSceneGraph2::BeginMipLod(int n) {
    if (n < 0 || n > MaxMipLod) {
        n_error("nSceneGraph2: beginmiplod %d: the count is outside 0 to %d\n", n, MaxMipLod);
        return;
    }
    delete[] mipLodTable_;
    mipLodTable_ = new float[size_t(n)]();
    mipLodCount_ = n;
}

bool nSceneGraph2::SetMipLod(int index, float distance) {
    if (index < 0 || index >= mipLodCount_) {
        n_error("nSceneGraph2: setmiplod %d: the table holds %d entries\n", index, mipLodCount_);
        return false;
    }
    mipLodTable_[index] = distance;
    return true;
}

int nSceneGraph2::MipLodLevel(float distance, int bias) const {
    int i = 0;
    while (i < mipLodCount_ && !(mipLodTable_[i] > distance)) i++;
    return i + bias;
}

int nSceneGraph2::Compare(const nSceneNodeRecord& a, const nSceneNodeRecord& b) {
    if (int d = int(a.shaderPriority) - int(b.shaderPriority)) return d;
    bool opaqueA = a.flags & nSceneNodeRecord::Opaque;
    bool opaqueB = b.flags & nSceneNodeRecord::Opaque;
    if (opaqueA != opaqueB) return opaqueA ? -1 : 1;
    if (opaqueA) {
        // Render state: textures, then shader, then vertex buffer; "none" first each time.
        if (a.texArray != b.texArray) {
            if (!a.texArray) return -1;
            if (!b.texArray) return 1;
            if (int d = nTexArray::Compare(a.texArray, b.texArray)) return d;
        }
        if (a.shaderNode != b.shaderNode) {
            if (!a.shaderNode) return -1;
            if (!b.shaderNode) return 1;
            if (int d = compareIdentity(a.shaderNode->GetPixelShader(), b.shaderNode->GetPixelShader())) return d;
        }
        if (a.meshNode != b.meshNode) {
            if (!a.meshNode) return -1;
            if (!b.meshNode) return 1;
            // A mesh that cannot load counts as null, the lowest identity.
            if (int d = compareIdentity(a.meshNode->GetVertexBuffer(), b.meshNode->GetVertexBuffer())) return d;
        }
        return 0;
    }
    // Engine view space looks down -z: ascending z draws the farthest first.
    float za = a.matrix.m[3][2], zb = b.matrix.m[3][2];
    if (za < zb) return -1;
    if (za > zb) return 1;
    return 0;
}

void nSceneGraph2::collect() {
    for (int16_t i = 0; i < nodeCount_; i++) {
        const nSceneNodeRecord& rec = pool_[i];
        if (rec.lightNode && lightCount_ < MaxLights) lightList_[lightCount_++] = i;
        if ((rec.meshNode || rec.otherVisual) && visualCount_ < MaxVisuals) visualList_[visualCount_++] = i;
        if (rec.soundNode && soundCount_ < MaxSounds) soundList_[soundCount_++] = i;
    }
    currentNode_ = -1;
}

void nSceneGraph2::computeLights(nShadowServer* shadow, bool shadows) {
    nGfxServer* gfx = refGfx_.Get();
    for (int k = 0; k < lightCount_; k++) {
        currentNode_ = lightList_[k];
        nSceneNodeRecord& rec = pool_[currentNode_];
        nVisNode* node = rec.lightNode;
        rec.lightNode = nullptr;
        rec.light = nullptr;
        node->Compute(this);
        if (!rec.light) continue;
        gfx->SetMatrix(nGfxServer::MODELVIEW, rec.matrix);
        gfx->SetLight(*rec.light);
        if (shadows && rec.light->castShadows) shadow->AttachLight(rec.matrix, *rec.light);
    }
}

void nSceneGraph2::computeSounds() {
    for (int k = 0; k < soundCount_; k++) {
        currentNode_ = soundList_[k];
        pool_[currentNode_].soundNode->Compute(this);
    }
    if (listenerNode_) {
        currentNode_ = listenerIndex_;
        listenerNode_->Compute(this);
    }
}

void nSceneGraph2::computeTextures() {
    for (int k = 0; k < visualCount_; k++) {
        currentNode_ = visualList_[k];
        nSceneNodeRecord& rec = pool_[currentNode_];
        if (!rec.texArrayNode) continue;
        nVisNode* node = rec.texArrayNode;
        rec.texArrayNode = nullptr;
        rec.texArray = nullptr;
        node->Compute(this);
        if (!rec.texArray) continue;
        for (int s = 0; s < nTexArray::MaxStages; s++) {
            nTexture* tex = rec.texArray->GetTexture(s);
            if (!tex) continue;
            tex->SetLodLevel(mipLodEnabled_ ? std::max(tex->GetNumLevels() - 1, 0) : 0);
        }
    }
}

void nSceneGraph2::applyMipLod() {
    for (int k = 0; k < visualCount_; k++) {
        nSceneNodeRecord& rec = pool_[visualList_[k]];
        if (!rec.texArray) continue;
        int bias = rec.shaderNode ? rec.shaderNode->GetMipLodBias() : 0;
        int level = MipLodLevel(rec.matrix.Translation().Len(), bias);
        for (int s = 0; s < nTexArray::MaxStages; s++) {
            nTexture* tex = rec.texArray->GetTexture(s);
            if (!tex || tex->GetLodLevel() <= level) continue;
            tex->SetLodLevel(std::clamp(level, 0, std::max(tex->GetNumLevels() - 1, 0)));
        }
    }
}

void nSceneGraph2::drawVisuals(nShadowServer* shadow, bool shadows) {
    nGfxServer* gfx = refGfx_.Get();
    for (int k = 0; k < visualCount_; k++) {
        currentNode_ = visualList_[k];
        nSceneNodeRecord& rec = pool_[currentNode_];
        if (nVisNode* node = rec.shaderNode) {
            rec.shaderNode = nullptr;
            rec.pixelShader = nullptr;
            node->Compute(this);
        }
        if (nVisNode* node = rec.meshNode) {
            rec.meshNode = nullptr;
            rec.vertexBuffer = nullptr;
            node->Compute(this);
        }
        gfx->SetMatrix(nGfxServer::MODELVIEW, rec.matrix);
        if (rec.vertexBuffer) {
            if (nVertexRange* range = rec.vertexBuffer->GetRange()) {
                range->pool->Render(range, rec.indexBuffer, rec.pixelShader, rec.texArray);
            }
        }
        if (shadows && rec.shadowCaster) shadow->AttachCaster(rec.matrix, rec.shadowCaster);
        if (rec.otherVisual) rec.otherVisual->Compute(this);
    }
}

// A bottom-up merge sort into the preallocated scratch list: stable, so equal records
// keep their pool order and frames repeat exactly, and it allocates nothing per frame.
void nSceneGraph2::sortVisuals() {
    int n = visualCount_;
    int16_t* from = visualList_;
    int16_t* to = sortScratch_;
    for (int width = 1; width < n; width *= 2) {
        for (int lo = 0; lo < n; lo += 2 * width) {
            int mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            int i = lo, j = mid, k = lo;
            while (i < mid && j < hi) to[k++] = Compare(pool_[from[j]], pool_[from[i]]) < 0 ? from[j++] : from[i++];
            while (i < mid) to[k++] = from[i++];
            while (j < hi) to[k++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from != visualList_) std::copy(from, from + n, visualList_);
}

void nSceneGraph2::renderScene() {
    refGfx_.Get();
    nShadowServer* shadow = refShadow_.Get();
    bool shadows = shadow->GetCastShadows();

    collect();
    if (shadows) shadow->BeginScene();
    computeLights(shadow, shadows);
    if (refAudio_.Resolve()) computeSounds();
    computeTextures();
    if (mipLodEnabled_ && visualCount_ > 0) applyMipLod();

    sortVisuals();

    if (fogNode_) {
        currentNode_ = fogIndex_;
        fogNode_->Compute(this);
    }
    drawVisuals(shadow, shadows);
    if (shadows) shadow->EndScene();
    currentNode_ = -1;
}
