#pragma once
// A visual logic node that plays a cut-scene (script class "nlogicvideo"): the video
// players hang as visuals under its "video" visualizer state, whose enabled flag means
// "playing" and whose "time" variable follows the node's clock. While visualized it keeps
// the frame loop from sleeping; when the length has run out, or a script ends it, it
// announces "onplayend" with its full path.
#include "logic/nLogicVisual2.h"

class nBaseObserver;
class nLogicEventHandler;
class nModVisualizerState;
class nScriptEvent;

class nLogicVideo : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;

    nLogicVideo();
    ~nLogicVideo() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Plays from node time 0.
    void StartVideo();
    // Announces "onplayend" on each channel that is bound (even when idle), stops playing
    // and sets the node time to 0.
    void EndVideo();
    // A negative length counts as 0: the video ends in the first frame after its start.
    void SetLength(float seconds) { length_ = seconds; }
    float GetLength() const { return length_; }
    bool IsPlaying() const;

    bool Trigger(nLogicGraph* graph) override;
    void UpdateVariables() override;
    void SetNodeVariables() override;
    // The default state, then the observer skips this frame's sleep, then the video state.
    // No observer is a program error: fatal "Aborting.".
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    nModVisualizerState* GetVideoState() const { return videoState_; }

private:
    nModVisualizerState* videoState_ = nullptr;
    int timeVar_ = -1;
    float length_ = 0.0f;
    nScriptEvent* playEndEvent_ = nullptr;
    nLogicEventHandler* playEndHandler_ = nullptr;
    nPathRef<nBaseObserver> observerRef_{"/sys/servers/observer"};
};
