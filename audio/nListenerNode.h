#pragma once
// The ears of the scene (script class "nlistenernode"): each frame it hands the audio
// server the camera's transform (the graphics server's viewer matrix) and a velocity
// read from a channel, held to a maximum speed.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nString.h"
#include "kernel/vector3.h"
#include "scene/nVisNode.h"

class nAudioServer2;

class nListenerNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    nListenerNode();

    bool SaveCmds(nPersistServer* ps) override;
    // Makes itself the scene graph's listener.
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    void CollectChannels(nChannelSet* set) override;

    void SetVelocityChannel(const char* name);
    const char* GetVelocityChannel() const { return velocityChannel.Get(); }
    void SetDopplerFactor(float f) { dopplerFactor = f; }
    float GetDopplerFactor() const { return dopplerFactor; }
    void SetRolloffFactor(float f) { rolloffFactor = f; }
    float GetRolloffFactor() const { return rolloffFactor; }
    // A cap below 0 holds the listener still.
    void SetVelocityCap(float cap) { velocityCap = cap; }
    float GetVelocityCap() const { return velocityCap; }

    // What the last Compute handed over.
    const matrix44& GetMatrix() const { return matrix; }
    const vector3& GetVelocity() const { return velocity; }

private:
    nPathRef<nAudioServer2> refAudio;
    matrix44 matrix;
    vector3 velocity;
    float dopplerFactor = 1.0f;
    float rolloffFactor = 1.0f;
    nString velocityChannel;
    int velocityIndex = -1;
    float velocityCap = 50.0f;
};
