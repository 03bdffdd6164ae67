#pragma once
// The vertex buffer a mesh-producing node (morph, mixer, wave) writes every frame: a
// streamed dynamic buffer drawn right away, or, for a read-only node, a private buffer
// that is handed to the scene node as its mesh for another node to read.
#include <memory>

class nVertexBuffer;
class nVertexBufferHolder;
struct nSceneNodeRecord;

class MeshOutput {
public:
    MeshOutput();
    ~MeshOutput();

    // A change drops the buffer held so far.
    void SetPrivate(bool on);
    bool IsPrivate() const { return private_; }

    // A buffer of `components` and `count` vertices (made again when either changed),
    // locked for writing and begun with the record's index buffer, shader and textures.
    nVertexBuffer* Begin(nSceneNodeRecord* rec, int components, int count);
    // Unlocks. A streamed buffer draws its first `count` vertices with all of the index
    // buffer; a private one goes into the record's mesh field.
    void End(nSceneNodeRecord* rec, int count);

private:
    std::unique_ptr<nVertexBufferHolder> holder_;
    bool private_ = false;
    int components_ = 0;
    int count_ = 0;
};
