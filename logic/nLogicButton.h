#pragma once
// A sprite that reacts to the mouse (script class "nlogicbutton"): a table of visual
// states (screen rectangle and texture rectangle each), switched between normal, over and
// pressed as the pointer moves and clicks; two sound states ("sound_press" when the
// pointer enters, "sound_over" when a click is released over it) and the event "action"
// fired by a click released over it. It registers with the 2D logic server
// ("/sys/servers/gfx2d") every frame, which hands it the mouse in priority order.
#include <vector>

#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "logic/nLogic2DServer.h"
#include "logic/nLogicSprite.h"

class nLogicEventHandler;
class nModVisualizerState;
class nScriptEvent;

class nLogicButton : public nLogicSprite, public nLogic2DClient {
public:
    static const nClassInfo classInfo;
    // More states than any menu needs; a larger count is refused as bad script input.
    static constexpr int MaxStates = 4096;

    // One state: where the button stands (virtual units) and which part of its texture
    // shows; a texture rectangle of four negative values hides the button.
    struct State {
        float x = 0.0f, y = 0.0f, w = 0.0f, h = 0.0f;
        float uleft = 0.0f, vtop = 0.0f, uright = 0.0f, vbottom = 0.0f;
    };

    nLogicButton();
    ~nLogicButton() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Registers with the 2D logic server after the base's trigger, while active and while
    // any of the three states is not -1. "Aborting." without the server.
    bool Trigger(nLogicGraph* graph) override;
    // Enters a record at the parent's matrix without a distance test (the sound states
    // must be visualized), then the children.
    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override;
    // Takes part in the visual pass for its sound states.
    bool IsVisible() const override { return true; }
    void UpdateVariables() override;
    // Also hands each sound state its "soundtrigger" value, then resets it: a sound sees
    // 1 for exactly one visual pass.
    void SetNodeVariables() override;
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;
    // The sprite's, then the display's scale from virtual units.
    void CreateQuad() override;

    int GetPriority() const override { return priority_; }
    // Mouse position in display pixels and this frame's left-button edges.
    void HandleMouse(int32_t x, int32_t y, bool buttonDown, bool buttonUp) override;
    // Virtual units: left < x <= left + w and top < y <= top + h.
    bool Contains(float x, float y) const;

    // Drops the table; n > 0 makes n zeroed states. A negative or too large n is logged
    // and changes nothing.
    void BeginStates(int n);
    // An index outside the table is logged and changes nothing.
    void SetState(int i, const State& s);
    void EndStates() { inStateBlock_ = false; }
    bool InStateBlock() const { return inStateBlock_; }
    int GetNumStates() const { return int(states_.size()); }
    const State& GetState(int i) const { return states_[size_t(i)]; }
    // Shows state i: position, size and texture rectangle, or hides the button. Nothing
    // for i < 0; an index past the table is logged and changes nothing.
    void SwitchState(int i);
    int GetCurrentState() const { return currentState_; }

    // Negative values mean none; an index past the table is logged and changes nothing.
    void SetNormalState(int i) { SetRole(normalState_, i, "setnormalstate"); }
    void SetOverState(int i) { SetRole(overState_, i, "setoverstate"); }
    void SetPressedState(int i) { SetRole(pressedState_, i, "setpressedstate"); }
    int GetNormalState() const { return normalState_; }
    int GetOverState() const { return overState_; }
    int GetPressedState() const { return pressedState_; }

    void SetSuppressEvent(bool on) { suppressEvent_ = on; }
    bool GetSuppressEvent() const { return suppressEvent_; }
    void SetAlphaRef(float a) { alphaRef_ = a; }
    float GetAlphaRef() const { return alphaRef_; }
    void SetIgnoreInput(bool on) { ignoreInput_ = on; }
    bool GetIgnoreInput() const { return ignoreInput_; }
    void SetPriority(int p) { priority_ = p; }

    bool IsOver() const { return over_; }
    bool IsPressed() const { return pressed_; }
    float GetScaleX() const { return scaleX_; }
    float GetScaleY() const { return scaleY_; }
    nModVisualizerState* GetOverSoundState() const { return overSound_.state; }
    nModVisualizerState* GetPressSoundState() const { return pressSound_.state; }

    // Set whenever the pointer is over some button; cleared by whoever reads it (the
    // game's cursor).
    static bool GetPointerOverButton() { return pointerOverButton_; }
    static void ClearPointerOverButton() { pointerOverButton_ = false; }

private:
    // A sound state and the value its "soundtrigger" gets at the next visual pass.
    struct SoundTrigger {
        nModVisualizerState* state = nullptr;
        float value = 0.0f;
        int timeVar = -1;
        int triggerVar = -1;
    };

    void SetRole(int& role, int i, const char* command);
    // Makes the state's variables and looks up the handles once.
    void PrepareSound(SoundTrigger& s);
    // Alpha of the texel under (x, y) in virtual units; -1 when it lies outside the
    // texture or cannot be read.
    float TexelAlpha(int x, int y);
    void FireAction();

    SoundTrigger overSound_;
    SoundTrigger pressSound_;
    int currentState_ = -1;
    std::vector<State> states_;
    nDataCharge statesCharge_;  // the table that data sized
    int normalState_ = -2;
    int pressedState_ = -2;
    int overState_ = -2;
    float scaleX_ = 0.0f;
    float scaleY_ = 0.0f;
    bool inStateBlock_ = false;
    bool over_ = false;
    bool pressed_ = false;
    bool pressBeganOver_ = false;
    bool ignoreInput_ = false;
    int priority_ = 0;
    float alphaRef_ = 0.0f;
    nPathRef<nLogic2DServer> refGfx2d_{"/sys/servers/gfx2d"};
    nLogicEventHandler* actionHandler_ = nullptr;
    nScriptEvent* actionEvent_ = nullptr;
    bool suppressEvent_ = false;

    static bool pointerOverButton_;
};
