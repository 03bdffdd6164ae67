#include "tests/scene/SceneFixture.h"

#include <cstdio>
#include <cstring>

#include "gfx/nGfxPackage.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nScenePackage.h"

std::vector<std::string> sceneEvents;

namespace {

std::string fmt(const char* f, float a, float b, float c) {
    char buf[96];
    std::snprintf(buf, sizeof(buf), f, a, b, c);
    return buf;
}

}  // namespace

const nClassInfo nRecordingGfx::classInfo = nClassInfo::Make<nRecordingGfx>("nrecordinggfx", "ngfxserver");
const nClassInfo nRecordingShadow::classInfo =
    nClassInfo::Make<nRecordingShadow>("nrecordingshadow", "nshadowserver");
const nClassInfo nTestTexture::classInfo = nClassInfo::Make<nTestTexture>("ntesttexture", "ntexture");
const nClassInfo nTestVisNode::classInfo = nClassInfo::Make<nTestVisNode>("ntestvisnode", "nvisnode");

bool nRecordingGfx::BeginScene() {
    sceneEvents.push_back("gfx begin");
    numLights = 0;
    return true;
}

void nRecordingGfx::EndScene() {
    sceneEvents.push_back("gfx end");
}

void nRecordingGfx::SetMatrix(int type, const matrix44& m) {
    nGfxServer::SetMatrix(type, m);
    sceneEvents.push_back(fmt(type == MODELVIEW ? "matrix %g %g %g" : "other matrix %g %g %g", m.m[3][0], m.m[3][1],
                              m.m[3][2]));
}

bool nRecordingGfx::SetLight(const nLight& light) {
    sceneEvents.push_back(fmt("light %g %g %g", light.r, light.g, light.b));
    return nGfxServer::SetLight(light);
}

void nRecordingGfx::SetRenderState(const nRenderState& rs) {
    if (rs.state == 23) {
        const float* c = static_cast<const float*>(rs.value.p);
        sceneEvents.push_back(fmt("state 23 %g %g %g", c[0], c[1], c[2]) + " " + fmt("%g", c[3], 0, 0).substr(0));
    } else if (rs.state == 19) {
        sceneEvents.push_back("state 19 " + std::to_string(rs.value.i));
    } else {
        sceneEvents.push_back("state " + std::to_string(rs.state) + fmt(" %g", rs.value.f, 0, 0));
    }
}

nTexture* nRecordingGfx::NewTexture(const char* name) {
    return static_cast<nTexture*>(newResource(texList, "ntesttexture", name));
}

nPixelShader* nRecordingGfx::NewPixelShader(const char* name) {
    return static_cast<nPixelShader*>(newResource(pshaderList, "npixelshader", name));
}

bool nTestTexture::Load() {
    const char* file = fileName.Get();
    sceneEvents.push_back(std::string("load ") + file + " " + (alphaFileName.IsEmpty() ? "-" : alphaFileName.Get()) +
                          " " + std::to_string(int(genMipMaps)) + " " + std::to_string(int(highQuality)));
    return !std::strstr(file, "missing");
}

void nRecordingPool::Render(nVertexRange* range, nIndexBuffer* indexBuffer, nPixelShader* pixelShader,
                            nTexArray* textureArray) {
    auto name = [](nRoot* o) { return std::string(o && o->GetName() ? o->GetName() : "-"); };
    sceneEvents.push_back("draw " + std::to_string(range->first) + " " + name(indexBuffer) + " " +
                          name(pixelShader) + (textureArray ? " tex" : ""));
}

void nRecordingShadow::BeginScene() { sceneEvents.push_back("shadow begin"); }
void nRecordingShadow::AttachLight(const matrix44&, const nLight&) { sceneEvents.push_back("shadow light"); }
void nRecordingShadow::AttachCaster(const matrix44&, nShadowCaster*) { sceneEvents.push_back("shadow caster"); }
void nRecordingShadow::EndScene() { sceneEvents.push_back("shadow end"); }

bool nTestVisNode::Attach(nSceneGraph2* sg) {
    if (role == Transform) {
        if (!sg->PushNode()) {
            attachRefused++;
            return false;
        }
        nSceneNodeRecord* rec = sg->GetCurrentNode();
        nSceneNodeRecord* parent = sg->GetParentNode();
        rec->matrix = parent ? local * parent->matrix : local;
        if (ownContext) rec->channelContext = refChannel->NewContext(GetChannelSet());
        else if (parent) rec->channelContext = parent->channelContext;
        read.clear();
        for (int idx : channelIndex) read.push_back(nChannelContext::Read(rec->channelContext, idx).f[0]);
        nVisNode::Attach(sg);
        sg->PopNode();
        return true;
    }
    nVisNode::Attach(sg);
    nSceneNodeRecord* rec = sg->GetCurrentNode();
    read.clear();
    for (int idx : channelIndex) read.push_back(nChannelContext::Read(rec->channelContext, idx).f[0]);
    switch (role) {
        case Mesh: rec->meshNode = this; break;
        case Shader:
            rec->shaderNode = this;
            rec->shaderPriority = priority;
            rec->flags = opaque ? nSceneNodeRecord::Opaque : 0;
            break;
        case TexArray: rec->texArrayNode = this; break;
        case Light: rec->lightNode = this; break;
        case Sound: rec->soundNode = this; break;
        case Other: rec->otherVisual = this; break;
        case Fog: sg->SetFogNode(this); break;
        case Listener: sg->SetListenerNode(this); break;
        default: break;
    }
    return true;
}

void nTestVisNode::Compute(nSceneGraph2* sg) {
    nVisNode::Compute(sg);
    sceneEvents.push_back("compute " + Label());
    nSceneNodeRecord* rec = sg->GetCurrentNode();
    switch (role) {
        case Mesh:
            rec->vertexBuffer = vb;
            rec->indexBuffer = ib;
            rec->shadowCaster = caster;
            break;
        case Shader: rec->pixelShader = ps; break;
        case TexArray: rec->texArray = &textures; break;
        case Light: rec->light = noLight ? nullptr : &light; break;
        default: break;
    }
}

void nTestVisNode::CollectChannels(nChannelSet* set) {
    collects++;
    channelIndex.clear();
    for (const std::string& name : channels) channelIndex.push_back(set->AddChannel(refChannel.Get(), name.c_str()));
    nVisNode::CollectChannels(set);
}

void nTestVisNode::Preload() {
    preloads++;
    nVisNode::Preload();
}

void nTestVisNode::AddRenderContext(uint32_t id) {
    contextsAdded++;
    nVisNode::AddRenderContext(id);
}

void SceneFixture::SetUp() {
    nScriptFixture::SetUp();
    nGfxPackage(kernel);
    nScenePackage(kernel);
    kernel->AddClass(nRecordingGfx::classInfo);
    kernel->AddClass(nRecordingShadow::classInfo);
    kernel->AddClass(nTestTexture::classInfo);
    kernel->AddClass(nTestVisNode::classInfo);
    sceneEvents.clear();
    gfx = static_cast<nRecordingGfx*>(kernel->New("nrecordinggfx", "/sys/servers/gfx"));
    channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
    variables = static_cast<nVariableServer*>(kernel->New("nvariableserver", "/sys/servers/variable"));
    shadow = static_cast<nRecordingShadow*>(kernel->New("nrecordingshadow", "/sys/servers/shadow"));
    sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
}

void SceneFixture::TearDown() {
    nScriptFixture::TearDown();
    delete pool;
    pool = nullptr;
}

nVertexBuffer* SceneFixture::Buffer(const char* path, int count) {
    if (!pool) {
        pool = new nRecordingPool(gfx);
        pool->Alloc();
    }
    auto* vb = static_cast<nVertexBuffer*>(kernel->New("nvertexbuffer", path));
    vb->SetRange(pool->AllocRange(count), gfx, 0);
    return vb;
}

nTestVisNode* SceneFixture::Node(const char* path, nTestVisNode::Role role) {
    auto* n = static_cast<nTestVisNode*>(kernel->New("ntestvisnode", path));
    n->role = role;
    return n;
}

nTestVisNode* SceneFixture::Transform(const char* path, float x, float y, float z) {
    nTestVisNode* n = Node(path, nTestVisNode::Transform);
    n->local.Ident();
    n->local.m[3][0] = x;
    n->local.m[3][1] = y;
    n->local.m[3][2] = z;
    return n;
}

void SceneFixture::Frame(nVisNode* root, bool render, const matrix44& view) {
    gfx->BeginScene();
    sg->BeginScene(view);
    sg->SetRenderContext(0);
    root->Attach(sg);
    sg->EndScene(render);
    gfx->EndScene();
}

std::vector<std::string> SceneFixture::Computes() const {
    std::vector<std::string> out;
    for (const std::string& e : sceneEvents) {
        if (e.rfind("compute ", 0) == 0) out.push_back(e.substr(8));
    }
    return out;
}

nRoot* SceneFixture::Reload(const char* path) {
    nRoot* obj = kernel->Lookup(path);
    if (!obj || !obj->GetParent()) return nullptr;
    nRoot* parent = obj->GetParent();
    // Loaded objects are named after their file.
    const std::string file = Path(obj->GetName());
    if (!obj->SaveAs(file.c_str())) return nullptr;
    obj->Release();
    kernel->PushCwd(parent);
    nRoot* loaded = kernel->Load((file + ".n").c_str());
    kernel->PopCwd();
    return loaded;
}
