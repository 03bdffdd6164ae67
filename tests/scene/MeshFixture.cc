#include "tests/scene/MeshFixture.h"

#include <cstring>

#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nMemoryGfx::classInfo = nClassInfo::Make<nMemoryGfx>("nmemorygfx", "nrecordinggfx");

nMemoryGfx::nMemoryGfx() : manager(std::make_unique<nVertexPoolManager>(this, nVertexPool::SYSMEM)) {}

nMemoryGfx::~nMemoryGfx() {
    ReleaseResources();
}

nVertexPool* nMemoryGfx::NewVertexPool(nVertexPoolManager* m, int kind, int components, int capacity) {
    auto* pool = new nVertexPool(this, m, kind, components, capacity);
    pool->Alloc();
    return pool;
}

nVertexBuffer* nMemoryGfx::NewVertexBuffer(const char* name, int usage, int components, int count) {
    usages.push_back(usage);
    nVertexRange* range = manager->Alloc(components, count);
    if (!range) return nullptr;
    auto* vb = static_cast<nVertexBuffer*>(newResource(vxbufList, "nvertexbuffer", name));
    if (!vb || vb->GetRange()) {
        manager->Free(range);
        return nullptr;
    }
    vb->SetRange(range, this, count);
    return vb;
}

void NvxBytes::F(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    U32(u);
}

void NvxBytes::U32(uint32_t v) {
    for (int i = 0; i < 4; i++) data.push_back(uint8_t(v >> (8 * i)));
}

void NvxBytes::U16(uint16_t v) {
    data.push_back(uint8_t(v));
    data.push_back(uint8_t(v >> 8));
}

void NvxBytes::I16(int16_t v) { U16(uint16_t(v)); }

std::vector<uint8_t> NvxBytes::Bytes() const {
    std::vector<uint8_t> out;
    auto word = [&out](uint32_t v) {
        for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
    };
    word(magic);
    word(numVertices);
    word(numIndices);
    word(numEdges);
    word(components);
    word(dataOffset < 0 ? 28u : uint32_t(dataOffset));
    word(dataSize < 0 ? uint32_t(data.size()) : uint32_t(dataSize));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void MeshFixture::SetUp() {
    SceneFixture::SetUp();
    kernel->AddClass(nMemoryGfx::classInfo);
    gfx->Release();
    mem = static_cast<nMemoryGfx*>(kernel->New("nmemorygfx", "/sys/servers/gfx"));
    gfx = mem;
}

std::string MeshFixture::WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    return Write(name, std::string(bytes.begin(), bytes.end()));
}

nMeshNode* MeshFixture::Mesh(const char* path, const std::string& file, bool readOnly) {
    auto* m = static_cast<nMeshNode*>(kernel->New("nmeshnode", path));
    m->SetReadOnly(readOnly);
    m->SetFileName(file.c_str());
    return m;
}

namespace {

int Children(nKernelServer* k, const char* path) {
    nRoot* dir = k->Lookup(path);
    int n = 0;
    for (nRoot* c = dir ? dir->GetHead() : nullptr; c; c = c->GetSucc()) n++;
    return n;
}

}  // namespace

int MeshFixture::NumVertexBuffers() { return Children(kernel, "/sys/share/vxbuf"); }
int MeshFixture::NumIndexBuffers() { return Children(kernel, "/sys/share/ixbuf"); }
int MeshFixture::NumCasters() { return Children(kernel, "/sys/share/shadowcasters"); }
