#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nPersistServer.h"
#include "scene/n3DNode.h"
#include "scene/nMeshNode.h"
#include "scene/MeshLoader.h"
#include "scene/nShadowCaster.h"
#include "tests/scene/MeshFixture.h"
#include "tests/kernel/Respelled.h"

namespace {

// What a loaded buffer holds, read back through a lock.
struct Vertex {
    float coord[3] = {};
    float norm[3] = {};
    uint32_t color = 0;
    float uv[4][2] = {};
    float weights[4] = {};
    int32_t joints[4] = {};
};

std::vector<Vertex> ReadBack(nVertexBuffer* vb) {
    std::vector<Vertex> out;
    if (!vb || !vb->Lock()) return out;
    const int s = vb->GetStride();
    for (int i = 0; i < vb->GetNumVertices(); i++) {
        Vertex v;
        std::memcpy(v.coord, vb->GetCoordPtr() + i * s, 12);
        if (vb->GetNormPtr()) std::memcpy(v.norm, vb->GetNormPtr() + i * s, 12);
        if (vb->GetColorPtr()) v.color = vb->GetColorPtr()[i * s];
        for (int k = 0; k < 4; k++) {
            if (vb->GetUvPtr(k)) std::memcpy(v.uv[k], vb->GetUvPtr(k) + i * s, 8);
        }
        if (vb->GetJointPtr(0)) std::memcpy(v.weights, vb->GetJointPtr(0) + i * s, 16);
        if (vb->GetJointPtr(1)) std::memcpy(v.joints, vb->GetJointPtr(1) + i * s, 16);
        out.push_back(v);
    }
    vb->Unlock();
    return out;
}

std::vector<int> Indices(nIndexBuffer* ib) {
    std::vector<int> out;
    if (!ib || !ib->GetIndices()) return out;
    for (int i = 0; i < ib->GetUsedCount(); i++) out.push_back(ib->GetIndices()[i]);
    return out;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

// Written by hand from the format: every key, both face keys, the token forms, comment
// and group lines, and joint lines of one to four joints.
const char* const SkinN3d =
    "# five vertices with every component\n"
    "g body\n"
    "v 0 0 0\n"
    "v 1 0 0\n"
    "v 0 1 0\n"
    "v 1 1 0\r\n"
    "v 2 3 -4\n"
    "vn 0 0 1\nvn 0 0 1\nvn 0 1 0\nvn 1 0 0\nvn 0 0 -1\n"
    "rgba 1 0 0 1\n"
    "rgba 2 -1 0.5 1\n"
    "rgba 0 0 1 0\n"
    "rgba 0 1 0 1\n"
    "rgba 0.5 0.5 0.5 0.5\n"
    "vt 0 0\nvt 1 0\nvt 0 1\nvt 1 1\nvt 0.5 0.5\n"
    "vt1 0.25 0.75\nvt1 0 0\nvt1 0 0\nvt1 0 0\nvt1 0 0\n"
    "jw2 0 1.0 1 3.0\n"
    "jw1 5 0.3\n"
    "jw2 3 0 4 0\n"
    "jw4 1 1 2 1 3 1 4 1\n"
    "jw3 7 -1 8 0.5 9 0.5\n"
    "f 3/3/3 4/4/4 5/5/5\n"
    "fx\t1/1/1 2/2/2 3/3/3\n";

using MeshNodeTest = MeshFixture;

TEST_F(MeshNodeTest, TextMeshLoadsEveryComponentAsTheFormatSays) {
    nMeshNode* m = Mesh("/m", Write("skin.n3d", SkinN3d), true);
    ASSERT_TRUE(m->LoadMesh()) << log.text;
    nVertexBuffer* vb = m->GetVertexBuffer();
    ASSERT_NE(vb, nullptr);
    EXPECT_EQ(vb->GetComponents(), N_VT_COORD | N_VT_NORM | N_VT_RGBA | N_VT_UV0 | N_VT_UV1 | N_VT_JW);
    // Named after the whole file name and the flag.
    EXPECT_STREQ(vb->GetName(), mem->MakeResourceName((Path("skin.n3d") + "_ro").c_str()).Get());
    std::vector<Vertex> v = ReadBack(vb);
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[4].coord[1], 3.0f);
    EXPECT_EQ(v[3].norm[0], 1.0f);
    // The buffer stores a<<24 | r<<16 | g<<8 | b: red is 0xFFFF0000; values are clamped
    // to 0..1 and truncated after * 255.
    EXPECT_EQ(v[0].color, 0xFFFF0000u);
    EXPECT_EQ(v[1].color, 0xFFFF007Fu);
    EXPECT_EQ(v[2].color, 0x000000FFu);
    EXPECT_EQ(v[1].uv[0][0], 1.0f);
    EXPECT_EQ(v[0].uv[1][1], 0.75f);
    // jw2 0 1 1 3: the weights divided by their sum.
    EXPECT_EQ(v[0].joints[0], 0);
    EXPECT_EQ(v[0].joints[1], 1);
    EXPECT_FLOAT_EQ(v[0].weights[0], 0.25f);
    EXPECT_FLOAT_EQ(v[0].weights[1], 0.75f);
    EXPECT_EQ(v[0].weights[2], 0.0f);
    // jw1 5 0.3: joint 5 with everything.
    EXPECT_EQ(v[1].joints[0], 5);
    EXPECT_EQ(v[1].weights[0], 1.0f);
    EXPECT_EQ(v[1].weights[1], 0.0f);
    // Weights summing to 0 (and below) give the first joint everything.
    EXPECT_EQ(v[2].joints[0], 3);
    EXPECT_EQ(v[2].weights[0], 1.0f);
    EXPECT_EQ(v[2].weights[1], 0.0f);
    EXPECT_EQ(v[4].weights[0], 1.0f);
    EXPECT_EQ(v[4].weights[2], 0.0f);
    for (int k = 0; k < 4; k++) EXPECT_EQ(v[3].weights[k], 0.25f);
    EXPECT_EQ(v[3].joints[3], 4);
    // Corners "3/3/3" count from 1; triangles sorted by their first index.
    EXPECT_EQ(Indices(m->GetIndexBuffer()), (std::vector<int>{0, 1, 2, 2, 3, 4}));
    EXPECT_EQ(m->GetIndexBuffer()->GetType(), nIndexBuffer::TRIANGLELIST);
    const bbox3& box = vb->GetBoundingBox();
    EXPECT_EQ(box.vmin.z, -4.0f);
    EXPECT_EQ(box.vmax.y, 3.0f);
    EXPECT_EQ(box.vmin.x, 0.0f);
    EXPECT_EQ(m->GetShadowCaster(), nullptr);
}

TEST_F(MeshNodeTest, TextMeshExamples) {
    // Three "v" lines and no "vn": accepted, without normals.
    nMeshNode* plain = Mesh("/plain", Write("plain.n3d", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    ASSERT_NE(plain->GetVertexBuffer(), nullptr);
    EXPECT_EQ(plain->GetVertexBuffer()->GetComponents(), N_VT_COORD);
    // Faces 3 4 5 and then 1 2 3 are stored as 0 1 2, 2 3 4.
    nMeshNode* sorted = Mesh(
        "/sorted", Write("sorted.n3d", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 2 0\nf 3 4 5\nf 1 2 3\n"));
    ASSERT_TRUE(sorted->LoadMesh());
    EXPECT_EQ(Indices(sorted->GetIndexBuffer()), (std::vector<int>{0, 1, 2, 2, 3, 4}));
    // The other colour order: a<<24 | b<<16 | g<<8 | r.
    mem->colorFormat = nGfxServer::RGBA;
    nMeshNode* red = Mesh("/red", Write("red.n3d", "v 0 0 0\nrgba 1 0 0 1\n"));
    std::vector<Vertex> v = ReadBack(red->GetVertexBuffer());
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].color, 0xFF0000FFu);
    EXPECT_EQ(Indices(red->GetIndexBuffer()), std::vector<int>{});
    EXPECT_EQ(log.text, "");
}

TEST_F(MeshNodeTest, EdgesBecomeASharedShadowCaster) {
    std::string file = Write("quad.n3d",
                             "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                             "f 1 2 3\nf 1 3 4\n"
                             "we 0 2 1 3\n");
    nMeshNode* a = Mesh("/a", file);
    ASSERT_TRUE(a->LoadMesh());
    nShadowCaster* caster = a->GetShadowCaster();
    ASSERT_NE(caster, nullptr);
    EXPECT_EQ(caster->GetNumVertices(), 4);
    ASSERT_EQ(caster->GetNumEdges(), 1);
    const nShadowEdge& e = caster->GetEdges()[0];
    EXPECT_EQ(e.a, 0);
    EXPECT_EQ(e.b, 2);
    EXPECT_EQ(e.c, 1);
    EXPECT_EQ(e.d, 3);
    EXPECT_EQ(caster->GetCoords()[2 * 3 + 1], 1.0f);
    EXPECT_FALSE(caster->IsLocked());
    EXPECT_EQ(shadow->FindCaster((file + "_rw").c_str()), caster);
    // A second node of the same file shares the caster and holds its own reference.
    nMeshNode* b = Mesh("/b", file);
    ASSERT_TRUE(b->LoadMesh());
    EXPECT_EQ(b->GetShadowCaster(), caster);
    EXPECT_EQ(caster->GetRefCount(), 2);
    a->Release();
    b->Release();
    EXPECT_EQ(NumCasters(), 0);
}

TEST_F(MeshNodeTest, BuffersAreSharedByFileNameAndReadOnlyFlag) {
    std::string file = Write("tri.n3d", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    nMeshNode* a = Mesh("/a", file);
    nMeshNode* b = Mesh("/b", file);
    nMeshNode* ro = Mesh("/ro", file, true);
    ASSERT_TRUE(a->LoadMesh());
    ASSERT_TRUE(b->LoadMesh());
    ASSERT_TRUE(ro->LoadMesh());
    EXPECT_EQ(a->GetVertexBuffer(), b->GetVertexBuffer());
    EXPECT_EQ(a->GetIndexBuffer(), b->GetIndexBuffer());
    EXPECT_NE(a->GetVertexBuffer(), ro->GetVertexBuffer());
    EXPECT_EQ(a->GetVertexBuffer()->GetRefCount(), 2);
    // Read-only buffers live in ordinary memory (usage 1), the others on the device.
    EXPECT_EQ(mem->usages, (std::vector<int>{0, 1}));
    EXPECT_EQ(NumVertexBuffers(), 2);
    EXPECT_EQ(NumIndexBuffers(), 2);
    // The flag selects the other set: a node that changes it drops what it holds.
    b->SetReadOnly(true);
    EXPECT_EQ(a->GetVertexBuffer()->GetRefCount(), 1);
    EXPECT_EQ(b->GetVertexBuffer(), ro->GetVertexBuffer());
    // A new file name drops the old buffers; the last user takes them away.
    a->SetFileName("");
    EXPECT_EQ(NumVertexBuffers(), 1);
    b->Release();
    ro->Release();
    EXPECT_EQ(NumVertexBuffers(), 0);
    EXPECT_EQ(NumIndexBuffers(), 0);

    // Two long paths that end alike are two meshes.
    std::string tail = "/a_rather_long_folder_name/of_meshes/mesh.n3d";
    nMeshNode* one = Mesh("/one", Write("first" + tail, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    nMeshNode* two = Mesh("/two", Write("second" + tail, "v 5 5 5\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    ASSERT_NE(one->GetVertexBuffer(), nullptr);
    ASSERT_NE(two->GetVertexBuffer(), nullptr);
    EXPECT_NE(one->GetVertexBuffer(), two->GetVertexBuffer());
    EXPECT_EQ(ReadBack(two->GetVertexBuffer())[0].coord[0], 5.0f);
}

// Nodes naming one mesh file in any spelling that the file layer finds as that file share
// its vertex buffer, index buffer and shadow caster, under the first spelling's names;
// another file is another mesh.
TEST_F(MeshNodeTest, EverySpellingOfOneFileSharesItsBuffersAndCaster) {
    const std::string quad = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\nwe 0 2 1 3\n";
    const std::string file = Write("Wreck.n3d", quad);
    Write("hull.n3d", quad);
    const std::string shouted = Respelled(file);
    nMeshNode* a = Mesh("/a", file);
    nMeshNode* b = Mesh("/b", shouted);
    nMeshNode* c = Mesh("/c", Path("wreck.n3d"));
    ASSERT_TRUE(a->LoadMesh());
    ASSERT_TRUE(b->LoadMesh());
    ASSERT_TRUE(c->LoadMesh());
    for (nMeshNode* m : {b, c}) {
        EXPECT_EQ(m->GetVertexBuffer(), a->GetVertexBuffer());
        EXPECT_EQ(m->GetIndexBuffer(), a->GetIndexBuffer());
        EXPECT_EQ(m->GetShadowCaster(), a->GetShadowCaster());
    }
    EXPECT_EQ(a->GetShadowCaster()->GetRefCount(), 3);
    EXPECT_EQ(NumVertexBuffers(), 1);
    EXPECT_STREQ(a->GetVertexBuffer()->GetName(), mem->MakeResourceName((file + "_rw").c_str()).Get());

    nMeshNode* hull = Mesh("/hull", Path("HULL.n3d"));
    ASSERT_TRUE(hull->LoadMesh());
    EXPECT_NE(hull->GetVertexBuffer(), a->GetVertexBuffer());
    EXPECT_NE(hull->GetShadowCaster(), a->GetShadowCaster());
    EXPECT_EQ(NumVertexBuffers(), 2);
}

TEST_F(MeshNodeTest, BinaryMeshLoadsAsTheFormatSays) {
    NvxBytes f;
    f.components = N_VT_COORD | N_VT_NORM | N_VT_RGBA | N_VT_UV0 | N_VT_UV1 | N_VT_JW;
    f.numVertices = 4;
    f.numEdges = 1;
    f.numIndices = 6;
    // The data block does not follow the header directly.
    f.dataOffset = 32;
    f.U32(0xDEADBEEF);
    struct {
        int16_t joints[4];
        float weights[4];
    } skin[4] = {
        {{2, -1, -1, -1}, {0.3f, 9, 9, 9}},
        {{1, 2, -1, -1}, {1, 3, 9, 9}},
        {{1, 2, 3, -1}, {1, 1, 2, 9}},
        {{4, 5, 6, 7}, {0, 0, 0, 0}},
    };
    for (int i = 0; i < 4; i++) {
        f.F(float(i));
        f.F(float(-i));
        f.F(0.5f);
        f.F(0), f.F(1), f.F(0);
        f.U32(0xFF112233u + uint32_t(i));
        f.F(0.1f * float(i)), f.F(0.2f);
        f.F(7), f.F(8);
        for (int16_t j : skin[i].joints) f.I16(j);
        for (float w : skin[i].weights) f.F(w);
    }
    for (uint16_t e : {0, 1, 2, 3}) f.U16(e);
    for (uint16_t i : {2, 3, 1, 0, 1, 2}) f.U16(i);
    f.dataSize = int64_t(f.data.size()) - 4;
    std::string file = WriteBytes("skin.nvx", f.Bytes());

    nMeshNode* m = Mesh("/m", file, true);
    ASSERT_TRUE(m->LoadMesh()) << log.text;
    nVertexBuffer* vb = m->GetVertexBuffer();
    EXPECT_EQ(vb->GetComponents(), int(f.components));
    std::vector<Vertex> v = ReadBack(vb);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[3].coord[0], 3.0f);
    EXPECT_EQ(v[3].coord[1], -3.0f);
    EXPECT_EQ(v[2].norm[1], 1.0f);
    // Stored as a<<24 | r<<16 | g<<8 | b, as this buffer wants it.
    EXPECT_EQ(v[0].color, 0xFF112233u);
    EXPECT_FLOAT_EQ(v[2].uv[0][0], 0.2f);
    EXPECT_EQ(v[1].uv[1][1], 8.0f);
    // -1 in slot 1, 2 or 3 ends the joints; weights of two or more divided by their sum.
    EXPECT_EQ(v[0].joints[0], 2);
    EXPECT_EQ(v[0].weights[0], 1.0f);
    EXPECT_EQ(v[0].weights[1], 0.0f);
    EXPECT_FLOAT_EQ(v[1].weights[0], 0.25f);
    EXPECT_FLOAT_EQ(v[1].weights[1], 0.75f);
    EXPECT_EQ(v[1].weights[2], 0.0f);
    EXPECT_EQ(v[1].joints[2], 0);
    EXPECT_FLOAT_EQ(v[2].weights[2], 0.5f);
    EXPECT_EQ(v[2].joints[2], 3);
    EXPECT_EQ(v[3].joints[3], 7);
    EXPECT_EQ(v[3].weights[0], 1.0f);
    // Indices as stored, not sorted.
    EXPECT_EQ(Indices(m->GetIndexBuffer()), (std::vector<int>{2, 3, 1, 0, 1, 2}));
    ASSERT_NE(m->GetShadowCaster(), nullptr);
    EXPECT_EQ(m->GetShadowCaster()->GetEdges()[0].d, 3);
    EXPECT_EQ(m->GetShadowCaster()->GetCoords()[3 * 3 + 1], -3.0f);
    EXPECT_EQ(vb->GetBoundingBox().vmax.x, 3.0f);
    EXPECT_EQ(vb->GetBoundingBox().vmin.y, -3.0f);

    // The other colour order swaps red and blue.
    mem->colorFormat = nGfxServer::RGBA;
    nMeshNode* rw = Mesh("/rw", file);
    EXPECT_EQ(ReadBack(rw->GetVertexBuffer())[1].color, 0xFF342211u);
}

struct BadFile {
    const char* name;
    std::string bytes;
    const char* logged;
};

NvxBytes Triangle() {
    NvxBytes f;
    f.components = N_VT_COORD;
    f.numVertices = 3;
    f.numIndices = 3;
    for (int i = 0; i < 9; i++) f.F(float(i));
    for (uint16_t i : {0, 1, 2}) f.U16(i);
    return f;
}

std::string Text(const NvxBytes& f) {
    std::vector<uint8_t> b = f.Bytes();
    return std::string(b.begin(), b.end());
}

std::vector<BadFile> BadFiles() {
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    std::string many;
    for (int i = 0; i < 65536; i++) many += "v 0 0 0\n";
    std::vector<BadFile> cases = {
        {"novertex.n3d", "vn 0 0 1\nf 1 1 1\n", "no \"v\" line"},
        {"mismatch.n3d", tri + "vn 0 0 1\nvn 0 0 1\n", "3 \"v\" lines but 2 \"vn\" lines"},
        {"jwcount.n3d", tri + "jw1 0 1\n", "but 1 \"jw\" lines"},
        {"shortv.n3d", "v 1 2\n", "line 1: a \"v\" line needs 3 values"},
        {"shortrgba.n3d", tri + "rgba 1 0 0\n", "line 4: a \"rgba\" line needs 4 values"},
        {"shortjw.n3d", tri + "jw2 0 1 1\n", "a \"jw2\" line needs 4 values"},
        {"shortwe.n3d", tri + "we 0 1 2\n", "a \"we\" line needs 4 values"},
        {"shortface.n3d", tri + "f 1 2\n", "a \"f\" line needs 3 values"},
        {"letterface.n3d", tri + "f 1 a 3\n", "corner 'a' is no index"},
        {"zeroface.n3d", tri + "f 0 1 2\n", "face corner 0 outside 1..3"},
        {"farface.n3d", tri + "fx 1 2 4\n", "face corner 4 outside 1..3"},
        {"letter.n3d", "v 1 x 2\n", "'x' is no number"},
        {"nan.n3d", "v 1 nan 2\n", "'nan' is no number"},
        {"joint.n3d", tri + "jw1 a 1\njw1 0 1\njw1 0 1\n", "joint 'a' is no integer"},
        {"edge.n3d", tri + "we 0 1 2 3\n", "edge corner 3 outside 0..2"},
        {"many.n3d", many, "more than 65535 vertices"},
    };
    NvxBytes f = Triangle();
    f.magic = 0x4E565830;
    cases.push_back({"magic.nvx", Text(f), "wrong magic"});
    cases.push_back({"short.nvx", Text(Triangle()).substr(0, 20), "too short"});
    f = Triangle();
    f.dataOffset = 1000;
    cases.push_back({"offset.nvx", Text(f), "data block outside the file"});
    f = Triangle();
    f.dataSize = int64_t(f.data.size()) + 1;
    cases.push_back({"size.nvx", Text(f), "data block outside the file"});
    f = Triangle();
    f.numIndices = 6;
    cases.push_back({"counts.nvx", Text(f), "do not fit the data block"});
    f = Triangle();
    f.components = 0x101;
    f.numVertices = 0;
    f.numIndices = 0;
    cases.push_back({"mask.nvx", Text(f), "bits above 0x80"});
    f = Triangle();
    f.components = N_VT_NORM;
    f.numVertices = 1;
    f.numIndices = 0;
    cases.push_back({"nocoord.nvx", Text(f), "has no coordinates"});
    f = Triangle();
    f.components = N_VT_COORD | N_VT_UV1;
    f.numVertices = 1;
    f.numIndices = 0;
    cases.push_back({"uvgap.nvx", Text(f), "texture set 1 without set 0"});
    f = Triangle();
    f.numIndices = 2;
    cases.push_back({"notriangles.nvx", Text(f), "2 indices, not whole triangles"});
    f = Triangle();
    f.data[36 + 2] = 3;
    cases.push_back({"index.nvx", Text(f), "index 3 outside the 3 vertices"});
    f = Triangle();
    f.numIndices = 0;
    f.numEdges = 1;
    f.data.resize(36);
    for (uint16_t e : {0, 1, 2, 7}) f.U16(e);
    cases.push_back({"edge.nvx", Text(f), "edge corner 7 outside the 3 vertices"});
    f = Triangle();
    f.numVertices = 0;
    f.numIndices = 0;
    cases.push_back({"empty.nvx", Text(f), "no vertices"});
    f = NvxBytes();
    f.components = N_VT_COORD;
    f.numVertices = 65536;
    f.data.resize(65536 * 12);
    cases.push_back({"many.nvx", Text(f), "65536 vertices, more than 65535"});
    return cases;
}

TEST_F(MeshNodeTest, BadFilesAreRefusedAndLeaveNothingUnderTheirName) {
    for (const BadFile& c : BadFiles()) {
        SCOPED_TRACE(c.name);
        log.text.clear();
        nMeshNode* m = Mesh("/bad", Write(c.name, c.bytes));
        EXPECT_FALSE(m->LoadMesh());
        EXPECT_TRUE(LogHas(c.logged)) << log.text;
        EXPECT_TRUE(LogHas("/bad: mesh '")) << log.text;
        EXPECT_EQ(m->GetVertexBuffer(), nullptr);
        EXPECT_EQ(NumVertexBuffers(), 0);
        EXPECT_EQ(NumIndexBuffers(), 0);
        EXPECT_EQ(NumCasters(), 0);
        m->Release();
    }
    nMeshNode* m = Mesh("/m", Path("missing.n3d"));
    EXPECT_FALSE(m->LoadMesh());
    EXPECT_TRUE(LogHas("cannot be read"));
    m->SetFileName(Write("mesh.obj", "v 0 0 0\n").c_str());
    EXPECT_FALSE(m->LoadMesh());
    EXPECT_TRUE(LogHas("is neither a .n3d nor a .nvx file"));
}

TEST_F(MeshNodeTest, MeshesEnterTheirTransformsSceneNode) {
    std::string file = Write("quad.n3d", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\nwe 0 1 2 2\n");
    auto* root = static_cast<n3DNode*>(kernel->New("n3dnode", "/root"));
    auto* t1 = static_cast<n3DNode*>(kernel->New("n3dnode", "/root/t1"));
    nMeshNode* m1 = Mesh("/root/t1/mesh", file);
    m1->SetCastShadow(true);
    kernel->New("n3dnode", "/root/t2");
    nMeshNode* m2 = Mesh("/root/t2/mesh", file);
    kernel->New("n3dnode", "/root/t3");
    Mesh("/root/t3/source", file, true);
    t1->Tz(-2);
    shadow->SetCastShadows(true);
    Frame(root);
    // Records: scene root, /root, t1, t2, t3.
    ASSERT_EQ(sg->GetNodeCount(), 5);
    EXPECT_EQ(sg->GetNode(2)->vertexBuffer, m1->GetVertexBuffer());
    EXPECT_EQ(sg->GetNode(2)->indexBuffer, m1->GetIndexBuffer());
    EXPECT_EQ(sg->GetNode(2)->shadowCaster, m1->GetShadowCaster());
    EXPECT_EQ(sg->GetNode(3)->vertexBuffer, m2->GetVertexBuffer());
    // Cast shadow off: the caster stays out of the record.
    EXPECT_EQ(sg->GetNode(3)->shadowCaster, nullptr);
    // A read-only mesh is no part of the picture.
    EXPECT_EQ(sg->GetNode(4)->meshNode, nullptr);
    EXPECT_EQ(sg->GetNode(4)->vertexBuffer, nullptr);
    EXPECT_EQ(std::count(sceneEvents.begin(), sceneEvents.end(), "shadow caster"), 1);
    EXPECT_EQ(log.text, "");
}

TEST_F(MeshNodeTest, AMeshThatCannotLoadLogsOnceAndDrawsNothing) {
    auto* root = static_cast<n3DNode*>(kernel->New("n3dnode", "/root"));
    nMeshNode* m = Mesh("/root/mesh", Write("broken.n3d", "v 0 0\n"));
    for (int i = 0; i < 3; i++) Frame(root);
    EXPECT_EQ(Count(log.text, "broken.n3d"), 1u) << log.text;
    EXPECT_EQ(sg->GetNode(1)->vertexBuffer, nullptr);
    // A new name is tried again.
    m->SetFileName(Write("fixed.n3d", "v 0 0 0\nf 1 1 1\n").c_str());
    Frame(root);
    EXPECT_NE(sg->GetNode(1)->vertexBuffer, nullptr);
    // A node without a file name is quiet.
    m->SetFileName("");
    log.text.clear();
    Frame(root);
    m->Preload();
    EXPECT_EQ(log.text, "");
}

TEST_F(MeshNodeTest, SavedMeshNodesLoadBack) {
    nMeshNode* m = Mesh("/m", "meshes/cube.n3d", true);
    m->SetCastShadow(true);
    ASSERT_TRUE(m->SaveAs(Path("m").c_str()));
    std::string text = Slurp(Path("m.n"));
    EXPECT_NE(text.find("setfilename( \"meshes/cube.n3d\" )"), std::string::npos) << text;
    m->Release();
    kernel->SetCwd(nullptr);
    auto* back = static_cast<nMeshNode*>(kernel->Load(Path("m.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetFileName(), "meshes/cube.n3d");
    EXPECT_TRUE(back->GetReadOnly());
    EXPECT_TRUE(back->GetCastShadow());
    // A new node saves nothing of its own.
    auto* empty = static_cast<nMeshNode*>(kernel->New("nmeshnode", "/empty"));
    ASSERT_TRUE(empty->SaveAs(Path("empty").c_str()));
    EXPECT_EQ(Slurp(Path("empty.n")).find("set"), std::string::npos);
}

// The vertex block goes from the file straight into the buffer, its box taken on the way
// (a NaN position never widens it); a file cut short after its check fails the fill.
TEST_F(MeshNodeTest, NvxVerticesStreamIntoTheBufferWithTheirBox) {
    NvxBytes f;
    f.components = N_VT_COORD | N_VT_NORM;
    f.numVertices = 7;
    f.numIndices = 3;
    const float xs[7] = {1, -2, 3, std::nanf(""), 0.5f, 9, -4};
    for (int i = 0; i < 7; i++) {
        f.F(xs[i]), f.F(float(i)), f.F(-float(i));
        f.F(0), f.F(0), f.F(1);
    }
    for (uint16_t i : {6, 0, 1}) f.U16(i);
    const std::string file = WriteBytes("seven.nvx", f.Bytes());
    nMeshNode* m = Mesh("/seven", file);
    ASSERT_TRUE(m->LoadMesh()) << log.text;
    const bbox3 box = m->GetVertexBuffer()->GetBoundingBox();
    EXPECT_EQ(box.vmin.x, -4.0f);
    EXPECT_EQ(box.vmax.x, 9.0f);
    EXPECT_EQ(box.vmax.y, 6.0f);
    EXPECT_EQ(box.vmin.z, -6.0f);
    EXPECT_EQ(ReadBack(m->GetVertexBuffer())[6].coord[0], -4.0f);
    EXPECT_EQ(Indices(m->GetIndexBuffer()), (std::vector<int>{6, 0, 1}));

    MeshLoader loader;
    ASSERT_TRUE(loader.ReadNvx(file.c_str())) << loader.GetError();
    std::vector<uint8_t> cut = f.Bytes();
    cut.resize(40);
    WriteBytes("seven.nvx", cut);
    nVertexBuffer* vb = mem->NewVertexBuffer("cut", 1, int(f.components), 7);
    ASSERT_TRUE(vb && vb->Lock());
    bbox3 b;
    EXPECT_FALSE(loader.FillVertices(vb, nullptr, b));
    vb->Unlock();
    EXPECT_STREQ(loader.GetError(), "the vertex block cannot be read");
    vb->Release();
}

}  // namespace
