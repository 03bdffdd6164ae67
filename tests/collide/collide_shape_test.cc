// Collide shapes: bounding radii, reading both mesh files, drawing the bounding sphere.
#include <cstring>

#include "tests/collide/CollideFixture.h"

namespace {

// Records what Load drives.
class nMeshRecorder : public nCollideShape2 {
public:
    static const nClassInfo classInfo;
    void BeginMesh(int nv, int nt) override {
        begun = {nv, nt};
        vertices.clear();
        triangles.clear();
        nCollideShape2::BeginMesh(nv, nt);
    }
    void SetVertex(int i, const vector3& v) override {
        EXPECT_EQ(i, int(vertices.size()));
        vertices.push_back(v);
        nCollideShape2::SetVertex(i, v);
    }
    bool SetTriangle(int i, int a, int b, int c) override {
        EXPECT_EQ(i, int(triangles.size()));
        triangles.push_back({a, b, c});
        return true;
    }
    std::pair<int, int> begun{-1, -1};
    std::vector<vector3> vertices;
    std::vector<std::array<int, 3>> triangles;
};
const nClassInfo nMeshRecorder::classInfo = nClassInfo::Make<nMeshRecorder>("nmeshrecorder", "ncollideshape2");

class CollideShapeTest : public CollideFixture {
protected:
    void SetUp() override {
        CollideFixture::SetUp();
        kernel->AddClass(nMeshRecorder::classInfo);
        mesh = static_cast<nMeshRecorder*>(kernel->New("nmeshrecorder", "/sys/share/collideshapes/m"));
    }
    nMeshRecorder* mesh = nullptr;
};

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; i++) s.push_back(char((v >> (8 * i)) & 0xFF));
}
void PutF(std::string& s, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(s, v);
}
void Put16(std::string& s, uint16_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}

// Three vertices with normal, colour, two texture sets and joint weights; two edges;
// one triangle (2, 0, 1). Header fields can be overridden to lie.
std::string Nvx(uint32_t numIndices = 3, uint32_t dataOffset = 28, int32_t sizeDelta = 0, uint16_t lastIndex = 1) {
    const uint32_t mask = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x80;
    std::string data;
    for (int v = 0; v < 3; v++) {
        PutF(data, float(v));  // position
        PutF(data, 10.0f + v);
        PutF(data, -1.0f);
        for (int i = 0; i < 3; i++) PutF(data, 0.5f);  // normal
        Put32(data, 0xFF00FF00);                        // colour
        for (int i = 0; i < 4; i++) PutF(data, 0.25f);  // two texture sets
        for (int i = 0; i < 4; i++) Put16(data, uint16_t(i));  // joints
        for (int i = 0; i < 4; i++) PutF(data, 0.25f);         // weights
    }
    for (int e = 0; e < 2; e++) Put32(data, 0), Put32(data, 1);
    Put16(data, 2), Put16(data, 0), Put16(data, lastIndex);
    std::string file;
    Put32(file, 0x4E565831);
    Put32(file, 3);
    Put32(file, numIndices);
    Put32(file, 2);
    Put32(file, mask);
    Put32(file, dataOffset);
    Put32(file, uint32_t(int32_t(data.size()) + sizeDelta));
    return file + data;
}

TEST_F(CollideShapeTest, RadiiFollowTheParameters) {
    nCollideShape2* s = collide->NewShape(2, "box");
    s->SetBoxSides(vector3(2, 4, 4));
    EXPECT_TRUE(s->IsReady());
    EXPECT_FLOAT_EQ(s->GetRadius(), 3.0f);
    EXPECT_FLOAT_EQ(s->GetInnerRadius(), 0.25f);
    const float cyl[2] = {1.0f, 2.0f};
    s->SetCylinderParams(cyl);
    EXPECT_FLOAT_EQ(s->GetRadius(), 2.0f);
    EXPECT_FLOAT_EQ(s->GetInnerRadius(), 0.25f);
    s->SetRadius(2.0f);
    EXPECT_FLOAT_EQ(s->GetInnerRadius(), 0.5f);
    s->SetQuickRadius(2.0f);
    EXPECT_FLOAT_EQ(s->GetInnerRadius(), 2.0f);

    nCollideShape2* m = collide->NewShape(5, "mesh");
    m->BeginMesh(2, 0);
    m->SetVertex(0, vector3(3, 4, 0));
    m->SetVertex(1, vector3(0, 0, 1));
    EXPECT_FALSE(m->IsReady());
    m->EndMesh();
    EXPECT_TRUE(m->IsReady());
    EXPECT_FLOAT_EQ(m->GetRadius(), 5.0f);
    EXPECT_FLOAT_EQ(m->GetInnerRadius(), 0.0f);
}

TEST_F(CollideShapeTest, LoadsTextMeshes) {
    std::string path = Write("floor.n3d",
                             "# a comment\n"
                             "v 0 0 0\r\n"
                             "vt 0.5 0.5\n"
                             "v\t1.5 0 -2\n"
                             "vn 0 1 0\n"
                             "v 0 3 0\n"
                             "f 1/5/7 2 3\n"
                             "f 3/1 2/2 1/3\n");
    ASSERT_TRUE(mesh->Load(path.c_str()));
    EXPECT_EQ(mesh->begun, std::make_pair(3, 2));
    ASSERT_EQ(mesh->vertices.size(), 3u);
    EXPECT_EQ(mesh->vertices[1], vector3(1.5f, 0, -2));
    EXPECT_EQ(mesh->triangles, (std::vector<std::array<int, 3>>{{0, 1, 2}, {2, 1, 0}}));
    EXPECT_TRUE(mesh->IsReady());
    EXPECT_FLOAT_EQ(mesh->GetRadius(), 3.0f);

    // ".n3d" anywhere in the name makes it a text mesh.
    std::string odd = Write("floor.n3d.bak", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(mesh->Load(odd.c_str()));
    EXPECT_EQ(mesh->begun, std::make_pair(3, 1));
}

TEST_F(CollideShapeTest, LoadsBinaryMeshes) {
    std::string path = Write("crate.nvx", Nvx());
    ASSERT_TRUE(mesh->Load(path.c_str()));
    EXPECT_EQ(mesh->begun, std::make_pair(3, 1));
    ASSERT_EQ(mesh->vertices.size(), 3u);
    EXPECT_EQ(mesh->vertices[0], vector3(0, 10, -1));
    EXPECT_EQ(mesh->vertices[2], vector3(2, 12, -1));
    EXPECT_EQ(mesh->triangles, (std::vector<std::array<int, 3>>{{2, 0, 1}}));
}

TEST_F(CollideShapeTest, BadMeshFilesLeaveTheShapeAsItWas) {
    mesh->SetRadius(7.0f);
    const std::vector<std::pair<const char*, std::string>> texts = {
        {"nov.n3d", "f 1 2 3\n"},
        {"nof.n3d", "v 0 0 0\nv 1 1 1\nv 2 2 2\n"},
        {"two.n3d", "v 0 0 0\nv 1 1 1\nv 2 2 2\nf 1 2\n"},
        {"zero.n3d", "v 0 0 0\nv 1 1 1\nv 2 2 2\nf 0 1 2\n"},
        {"far.n3d", "v 0 0 0\nv 1 1 1\nv 2 2 2\nf 1 2 4\n"},
        {"word.n3d", "v 0 0 0\nv 1 1 1\nv 2 2 2\nf 1 two 3\n"},
        {"short.n3d", "v 0 0\nv 1 1 1\nv 2 2 2\nf 1 2 3\n"},
    };
    for (const auto& [name, text] : texts) {
        log.text.clear();
        EXPECT_FALSE(mesh->Load(Write(name, text).c_str())) << name;
        EXPECT_TRUE(LogHas(name)) << name;
    }
    std::string magic = Nvx();
    magic[0] = 'X';
    const std::vector<std::pair<const char*, std::string>> binaries = {
        {"magic.nvx", magic},
        {"count.nvx", Nvx(3000)},
        {"offset.nvx", Nvx(3, 1000)},
        {"size.nvx", Nvx(3, 28, 4)},
        {"index.nvx", Nvx(3, 28, 0, 3)},
        {"header.nvx", Nvx().substr(0, 20)},
    };
    for (const auto& [name, bytes] : binaries) {
        std::string path = Write(name, bytes);
        log.text.clear();
        EXPECT_FALSE(mesh->Load(path.c_str())) << name;
        EXPECT_TRUE(LogHas(name)) << name;
    }
    log.text.clear();
    EXPECT_FALSE(mesh->Load(Path("missing.n3d").c_str()));
    EXPECT_TRUE(LogHas("missing.n3d"));
    log.text.clear();
    EXPECT_FALSE(mesh->Load(Write("mesh.obj", "v 0 0 0\nf 1 1 1\n").c_str()));
    EXPECT_TRUE(LogHas("neither a .n3d nor a .nvx"));
    EXPECT_EQ(mesh->begun.first, -1);  // never begun
    EXPECT_FLOAT_EQ(mesh->GetRadius(), 7.0f);
}

TEST_F(CollideShapeTest, DrawsThreeCirclesOfTheBoundingRadius) {
    nRecordGfx* gfx = Gfx();
    nCollideShape2* s = collide->NewShape(1, "q");
    s->SetQuickRadius(2.0f);
    s->Visualize(gfx);
    ASSERT_EQ(gfx->prims.size(), 1u);
    const auto& p = gfx->prims[0];
    EXPECT_EQ(p.kind, 3);
    ASSERT_EQ(p.coords.size(), 3u * 72u * 2u);
    for (const vector3& c : p.coords) EXPECT_NEAR(c.Len(), 2.0f, 1e-5f);
    // Each circle closes on itself, one around each axis.
    EXPECT_TRUE(p.coords[0].isequal(p.coords[71 * 6 + 1], 1e-5f));
    EXPECT_EQ(p.coords[0].x, 0.0f);
    EXPECT_EQ(p.coords[2].y, 0.0f);
    EXPECT_EQ(p.coords[4].z, 0.0f);
}

}  // namespace
