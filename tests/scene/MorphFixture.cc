#include "tests/scene/MorphFixture.h"

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"
#include "scene/nSceneGraph2.h"

const nClassInfo nMorphProbe::classInfo = nClassInfo::Make<nMorphProbe>("nmorphprobe", "nvisnode");

bool nMorphProbe::Attach(nSceneGraph2* sg) {
    nVisNode::Attach(sg);
    sg->GetCurrentNode()->otherVisual = this;
    return true;
}

void nMorphProbe::Compute(nSceneGraph2* sg) {
    nSceneNodeRecord* rec = sg->GetCurrentNode();
    produced = false;
    coords.clear();
    normals.clear();
    uv0.clear();
    colors.clear();
    rec->vertexBuffer = preset;
    if (target) target->Compute(sg);
    nVertexBuffer* vb = rec->vertexBuffer;
    if (!vb || vb == preset || !vb->Lock()) return;
    produced = true;
    components = vb->GetComponents();
    box = vb->GetBoundingBox();
    const int n = vb->GetNumVertices(), s = vb->GetStride();
    for (int v = 0; v < n; v++) {
        const size_t at = size_t(v) * size_t(s);
        if (const float* p = vb->GetCoordPtr()) coords.insert(coords.end(), p + at, p + at + 3);
        if (const float* p = vb->GetNormPtr()) normals.insert(normals.end(), p + at, p + at + 3);
        if (const float* p = vb->GetUvPtr(0)) uv0.insert(uv0.end(), p + at, p + at + 2);
        if (const uint32_t* p = vb->GetColorPtr()) colors.push_back(p[at]);
    }
    vb->Unlock();
}

void MorphFixture::SetUp() {
    MeshFixture::SetUp();
    kernel->AddClass(nMorphProbe::classInfo);
}

nTestVisNode* MorphFixture::Source(const char* path, const std::vector<MorphVertex>& verts, int components,
                                   const bbox3& box) {
    nTestVisNode* node = Node(path, nTestVisNode::Mesh);
    nVertexBuffer* vb = mem->NewVertexBuffer(path, 1, components | N_VT_COORD, int(verts.size()));
    EXPECT_NE(vb, nullptr);
    if (!vb) return node;
    EXPECT_TRUE(vb->Lock());
    const int s = vb->GetStride();
    for (size_t v = 0; v < verts.size(); v++) {
        const MorphVertex& m = verts[v];
        const size_t at = v * size_t(s);
        float* c = vb->GetCoordPtr() + at;
        c[0] = m.x, c[1] = m.y, c[2] = m.z;
        if (float* n = vb->GetNormPtr()) n[at] = 0.0f, n[at + 1] = 0.0f, n[at + 2] = m.x;
        if (float* u = vb->GetUvPtr(0)) u[at] = m.x, u[at + 1] = m.y;
        if (uint32_t* col = vb->GetColorPtr()) col[at] = m.color;
    }
    vb->Unlock();
    vb->SetBoundingBox(box);
    node->vb = vb;
    nIndexBuffer* ib = gfx->FindIndexBuffer("morph_ib");
    if (!ib) {
        ib = gfx->NewIndexBuffer("morph_ib");
        ib->Begin(0, nIndexBuffer::TRIANGLELIST, 3);
        for (int i = 0; i < 3; i++) ib->GetLockPtr()[i] = uint16_t(i);
        ib->End();
    }
    node->ib = ib;
    return node;
}

void MorphFixture::MakeScene() {
    scene = Transform("/scene", 0.0f, 0.0f, 0.0f);
    scene->ownContext = true;
    probe = static_cast<nMorphProbe*>(kernel->New("nmorphprobe", "/scene/probe"));
}

void MorphFixture::SetChannel(const char* name, float value) {
    channels->SetChannel1f(channels->GenChannel(name), value);
}
