#pragma once
// Puts a piece of the visual tree into the simple collide server (script class
// "ncollidenode"): once computed with a collision class it keeps one object in the
// server's default context, with a shape read from a mesh file, and moves it to the
// node's world position every frame.
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "scene/nVisNode.h"

class nCollideContext;
class nCollideObject;
class nCollideServer;
class nCollideShape;
class nFileServer2;

class nCollideNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    nCollideNode();
    // Gives the object and the shape back to the server when it still lives.
    ~nCollideNode() override;

    // Registers the node in the current scene node, so that the frame computes it.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Computes the visual children, registers the object on the first call that has a
    // class, fetches a new shape after SetFileName and moves the object to the node's
    // world matrix.
    void Compute(nSceneGraph2* sceneGraph) override;

    void SetFileName(const char* name);
    const char* GetFileName() const { return fileName_.Get(); }
    // Read by the first Compute that registers the object; later changes have no effect.
    void SetCollClass(const char* name) { collClass_ = name ? name : ""; }
    const char* GetCollClass() const { return collClass_.Get(); }

    nCollideObject* GetCollideObject() const { return object_; }
    nCollideShape* GetShape() const { return shape_; }

private:
    // The server at "/sys/servers/collide", made there when there is none.
    nCollideServer* collideServer();
    // Forgets the object and shape of a server that has died.
    void dropDeadServer();

    nPathRef<nFileServer2> refFile_;
    nPathRef<nCollideServer> refCollide_;
    // The server the context, object and shape belong to; they died with it when this
    // no longer resolves.
    nRef<nCollideServer> owner_;
    nCollideContext* context_ = nullptr;
    nCollideShape* shape_ = nullptr;
    nCollideObject* object_ = nullptr;
    bool fileChanged_ = false;
    nString fileName_;
    nString collClass_;
};
