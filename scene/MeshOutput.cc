#include "scene/MeshOutput.h"

#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBufferHolder.h"
#include "scene/nSceneGraph2.h"

MeshOutput::MeshOutput() = default;
MeshOutput::~MeshOutput() = default;

void MeshOutput::SetPrivate(bool on) {
    if (on == private_) return;
    private_ = on;
    holder_.reset();
}

nVertexBuffer* MeshOutput::Begin(nSceneNodeRecord* rec, int components, int count) {
    if (!holder_ || components != components_ || count != count_) {
        holder_ = std::make_unique<nVertexBufferHolder>();
        holder_->SetPrivate(private_);
        holder_->Create(components, count);
        components_ = components;
        count_ = count;
    }
    return holder_->Begin(rec->indexBuffer, rec->pixelShader, rec->texArray);
}

void MeshOutput::End(nSceneNodeRecord* rec, int count) {
    if (!holder_) return;
    const int indices = rec->indexBuffer ? rec->indexBuffer->GetUsedCount() : 0;
    holder_->End(count, indices);
    rec->vertexBuffer = private_ ? holder_->GetBuffer() : nullptr;
}
