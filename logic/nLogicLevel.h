#pragma once
// The root node of a loaded level (script class "nlogiclevel"): loading runs the level's
// map script with this node current, so that what the map makes becomes its children;
// unloading releases them all. It also fades the level: the visualizer state "fader"
// hands its modules the render variables "time" and "transparenz". The game's level
// class overrides LoadLevel and UnloadLevel and calls these.
#include <string>

#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"
#include "logic/nLogicVisual2.h"

class nBaseObserver;
class nModVisualizerState;

class nLogicLevel : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;

    nLogicLevel();
    ~nLogicLevel() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Fades, then the visual node's Trigger.
    bool Trigger(nLogicGraph* graph) override;
    void UpdateVariables() override;
    void SetNodeVariables() override;
    // The default state, then the "fader" state.
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    // Runs the map file through the observer's RunScript with this node current, then
    // sets the node up and restores the current object, also when the map is missing or
    // fails (logged with its name; what it made so far stays). Each call runs the map
    // again. Without a map file, and from inside this level's own running map, it is
    // logged and does nothing.
    virtual void LoadLevel();
    // Deletes the timers and releases every child; safe to call from a script that one
    // of the children runs.
    virtual void UnloadLevel();

    // The name keeps the origin of the text that set it: data's map runs as data.
    void SetMapFile(const char* name) {
        mapFile_ = name;
        mapOrigin_ = nScriptServer::CurrentOrigin();
    }
    const char* GetMapFile() const { return mapFile_.Get(); }
    nScriptServer::Origin GetMapOrigin() const { return mapOrigin_; }
    // The map file whose run built what the level holds now, and the origin it ran with;
    // "" when the last LoadLevel did not run through. The map file set may differ since.
    const std::string& GetBuiltMap() const { return builtMap_; }
    nScriptServer::Origin GetBuiltOrigin() const { return builtOrigin_; }
    // Over `time` seconds to `target`; at once when `time` <= 0.
    void FadeTo(float target, float time);

    bool IsLoaded() const { return loaded_; }
    // Whether the last LoadLevel ran its map through: a start that did not is no start.
    bool GetLoadOk() const { return loadOk_; }
    float GetTransparency() const { return transparency_; }
    // Seconds of fade still to run; -1 before any fade.
    float GetFadeTime() const { return fadeTime_; }
    float GetFadeSpeed() const { return fadeSpeed_; }
    nModVisualizerState* GetFaderState() const { return faderState_; }

private:
    nString mapFile_;
    nScriptServer::Origin mapOrigin_ = nScriptServer::Origin::Person;
    std::string builtMap_;
    nScriptServer::Origin builtOrigin_ = nScriptServer::Origin::Person;
    int timeVar_ = -1;
    int transparenzVar_ = -1;
    nPathRef<nBaseObserver> observerRef_{"/sys/servers/observer"};
    nModVisualizerState* faderState_ = nullptr;
    float fadeTime_ = -1.0f;
    float transparency_ = 0.0f;
    float fadeSpeed_ = 0.0f;
    bool loaded_ = false;
    bool loadOk_ = false;
    // True while this level's map runs.
    bool loading_ = false;
};
