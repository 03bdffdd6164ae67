#include "logic/nLogicButton.h"

#include <memory>

#include "gfx/nGfxServer.h"
#include "gfx/nPixelFormat.h"
#include "gfx/nTexture.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicGraph.h"
#include "logic/nModVisualizerState.h"
#include "logic/nScriptEvent.h"
#include "logic/nVariableContext.h"
#include "scene/nVariableServer.h"

static const nCmdDef<nLogicButton> cmds[] = {
    Bind<&nLogicButton::BeginStates>("v_beginstates_i", "LBBS"),
    {"v_setstate_iffffffff", "LBSS",
     [](nLogicButton* self, nCmd* c) {
         const int i = c->In()->GetI();
         nLogicButton::State s;
         for (float* f : {&s.x, &s.y, &s.w, &s.h, &s.uleft, &s.vtop, &s.uright, &s.vbottom}) *f = c->In()->GetF();
         self->SetState(i, s);
     }},
    Bind<&nLogicButton::EndStates>("v_endstates_v", "LBES"),
    Bind<&nLogicButton::SetNormalState>("v_setnormalstate_i", "LBSN"),
    Bind<&nLogicButton::GetNormalState>("i_getnormalstate_v", "LBGN"),
    Bind<&nLogicButton::SetOverState>("v_setoverstate_i", "LBSO"),
    Bind<&nLogicButton::GetOverState>("i_getoverstate_v", "LBGO"),
    Bind<&nLogicButton::SetPressedState>("v_setpressedstate_i", "LBSP"),
    Bind<&nLogicButton::GetPressedState>("i_getpressedstate_v", "LBGP"),
    Bind<&nLogicButton::SwitchState>("v_switchstate_i", "LBSW"),
    Bind<&nLogicButton::SetSuppressEvent>("v_setsuppressevent_b", "LBSU"),
    Bind<&nLogicButton::GetSuppressEvent>("b_getsuppressevent_v", "LBGU"),
    Bind<&nLogicButton::SetAlphaRef>("v_setalpharef_f", "LBSA"),
    Bind<&nLogicButton::GetAlphaRef>("f_getalpharef_v", "LBGA"),
    Bind<&nLogicButton::SetIgnoreInput>("v_setignoreinput_b", "LBSI"),
    Bind<&nLogicButton::GetCurrentState>("i_getcurrentstate_v", "LBGC"),
    Bind<&nLogicButton::SetPriority>("v_setpriority_i", "LBPR"),
};
const nClassInfo nLogicButton::classInfo = nClassInfo::Make<nLogicButton>("nlogicbutton", "nlogicsprite", cmds);

bool nLogicButton::pointerOverButton_ = false;

nLogicButton::nLogicButton() {
    overSound_.state = static_cast<nModVisualizerState*>(CreateModuleState(nModuleState::Visualizer, "sound_over"));
    pressSound_.state = static_cast<nModVisualizerState*>(CreateModuleState(nModuleState::Visualizer, "sound_press"));
    actionEvent_ = DeclareEvent("action", "s");
    actionHandler_ = AddHandler("action");
}

nLogicButton::~nLogicButton() {
    // The sound states, the handler and the event belong to the node and go with it.
    if (nLogic2DServer* server = refGfx2d_.Resolve()) server->Unregister(this);
}

// -- states ---------------------------------------------------------------------------

void nLogicButton::BeginStates(int n) {
    if (n < 0 || n > MaxStates) {
        n_error("%s: v_beginstates: %d states (0 to %d)\n", GetFullName().c_str(), n, MaxStates);
        return;
    }
    if (!statesCharge_.Hold(uint64_t(n) * sizeof(State), this, "v_beginstates_i")) return;
    states_.assign(size_t(n), State());
    inStateBlock_ = true;
}

void nLogicButton::SetState(int i, const State& s) {
    if (i < 0 || i >= GetNumStates()) {
        n_error("%s: v_setstate: state %d is outside the %d states\n", GetFullName().c_str(), i, GetNumStates());
        return;
    }
    states_[size_t(i)] = s;
}

void nLogicButton::SetRole(int& role, int i, const char* command) {
    if (i >= GetNumStates()) {
        n_error("%s: v_%s: state %d is outside the %d states\n", GetFullName().c_str(), command, i, GetNumStates());
        return;
    }
    role = i;
}

void nLogicButton::SwitchState(int i) {
    if (i < 0) return;
    if (i >= GetNumStates()) {
        n_error("%s: v_switchstate: state %d is outside the %d states\n", GetFullName().c_str(), i, GetNumStates());
        return;
    }
    const State s = states_[size_t(i)];
    SetPosition(s.x, s.y);
    SetDimension(s.w, s.h);
    currentState_ = i;
    if (s.uleft < 0.0f && s.vtop < 0.0f && s.uright < 0.0f && s.vbottom < 0.0f) {
        SetActive(false);
        return;
    }
    SetActive(true);
    SetUvCoord(s.uleft, s.vtop, s.uright, s.vbottom);
}

// -- per frame ------------------------------------------------------------------------

bool nLogicButton::Trigger(nLogicGraph* graph) {
    nRef<nRoot> alive(this);
    bool on = nLogicSprite::Trigger(graph);
    // A child's script may have released or hidden the button.
    if (!alive.IsValid() || !on || !GetActive()) return on;
    if (normalState_ != -1 || overState_ != -1 || pressedState_ != -1) refGfx2d_.Get()->Register(this);
    return on;
}

void nLogicButton::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    UpdateModules(parentMatrix);
    if (!graph->PushRecord(this, parentMatrix)) return;
    nLogicNode::Traverse(graph, parentMatrix);
    graph->PopRecord();
}

void nLogicButton::CreateQuad() {
    nLogicSprite::CreateQuad();
    int x0 = 0, y0 = 0, width = 0, height = 0;
    nGfxServer* gfx = gfxRef_.Resolve();
    if (!gfx || !gfx->GetDisplayDesc(x0, y0, width, height)) width = height = 0;
    scaleX_ = float(width) / VirtualWidth;
    scaleY_ = float(height) / VirtualHeight;
}

bool nLogicButton::Contains(float x, float y) const {
    return x > x_ && x <= x_ + w_ && y > y_ && y <= y_ + h_;
}

float nLogicButton::TexelAlpha(int x, int y) {
    nTexture* tex = quad_ ? quad_->GetTexture() : nullptr;
    // Without a texture the sprite shows its colour over the whole rectangle.
    if (!tex) return 1.0f;
    // Script values: converted saturating and summed in 64 bits.
    const int64_t col64 = int64_t(n_saturate_int(double(tex->GetWidth()) * uleft_)) - n_saturate_int(x_) + x;
    const int64_t row64 = int64_t(n_saturate_int(double(tex->GetHeight()) * vtop_)) - n_saturate_int(y_) + y;
    if (col64 < 0 || row64 < 0 || col64 >= tex->GetWidth() || row64 >= tex->GetHeight()) return -1.0f;
    const int col = int(col64), row = int(row64);
    int pitch = 0;
    nPixelFormat* format = nullptr;
    const auto* bits = static_cast<const uint8_t*>(tex->Lock(col, row, 1, 1, &pitch, &format));
    std::unique_ptr<nPixelFormat> owned(format);
    if (!bits) return -1.0f;
    float alpha = 1.0f;
    // The alpha bits by the format's own mask: A4R4G4B4 gives the top nibble / 15,
    // A8R8G8B8 the top byte / 255, a format without alpha 1.
    if (format && format->amask != 0 && (format->bpp == 16 || format->bpp == 32)) {
        uint32_t pixel = 0;
        if (format->bpp == 16) pixel = uint32_t(bits[0]) | uint32_t(bits[1]) << 8;
        else pixel = uint32_t(bits[0]) | uint32_t(bits[1]) << 8 | uint32_t(bits[2]) << 16 | uint32_t(bits[3]) << 24;
        alpha = float(double(pixel & format->amask) / double(format->amask));
    }
    tex->Unlock();
    return alpha;
}

void nLogicButton::HandleMouse(int32_t mouseX, int32_t mouseY, bool buttonDown, bool buttonUp) {
    // Before the first quad there is no scale: the pointer is outside.
    bool inside = false;
    int x = 0, y = 0;
    if (scaleX_ > 0.0f && scaleY_ > 0.0f) {
        x = int(float(mouseX) / scaleX_);
        y = int(float(mouseY) / scaleY_);
        inside = !ignoreInput_ && quadBuilt_ && Contains(float(x), float(y));
    }
    if (inside && alphaRef_ > 0.0f && TexelAlpha(x, y) < alphaRef_) inside = false;
    // Among overlapping buttons the first served owns the mouse.
    if (inside && !refGfx2d_.Get()->ClaimMouse(this)) inside = false;

    if (inside) {
        pointerOverButton_ = true;
        if (!over_) {
            over_ = true;
            if (overState_ >= 0 && !pressed_) {
                SwitchState(overState_);
                pressSound_.value = 1.0f;
            }
        }
    } else if (over_) {
        over_ = false;
        if (normalState_ >= 0 && !pressed_) SwitchState(normalState_);
    }

    if (buttonDown && !pressed_) {
        pressed_ = true;
        if (over_) {
            pressBeganOver_ = true;
            if (pressedState_ >= 0) SwitchState(pressedState_);
        }
    }
    if (buttonUp && pressed_) {
        if (over_) {
            if (overState_ >= 0) SwitchState(overState_);
            if (pressBeganOver_ && !suppressEvent_) {
                overSound_.value = 1.0f;
                FireAction();
            }
        } else if (normalState_ >= 0) {
            SwitchState(normalState_);
        }
        pressed_ = false;
        pressBeganOver_ = false;
    }
}

void nLogicButton::FireAction() {
    // Both run at the start of the next frame: the handler through the event server,
    // the event's functions through the parent's trigger.
    if (actionHandler_) actionHandler_->Queue();
    if (actionEvent_ && actionEvent_->GetNumFunctions() > 0) {
        actionEvent_->GetArg(0).SetS(GetFullName().c_str());
        AddPendingEvent(actionEvent_);
    }
}

// -- sound states ---------------------------------------------------------------------

void nLogicButton::PrepareSound(SoundTrigger& s) {
    nVariableServer* vs = variableRef_.Get();
    nVariableContext* vars = s.state->MakeVariables();
    s.timeVar = vs->GetVariableHandleByName("time");
    s.triggerVar = vs->GetVariableHandleByName("soundtrigger");
    for (int h : {s.timeVar, s.triggerVar}) {
        if (!vars->Find(h)) vars->Add(h).SetF(0.0f);
    }
}

void nLogicButton::UpdateVariables() {
    nLogicSprite::UpdateVariables();
    PrepareSound(overSound_);
    PrepareSound(pressSound_);
}

void nLogicButton::SetNodeVariables() {
    nLogicSprite::SetNodeVariables();
    for (SoundTrigger* s : {&overSound_, &pressSound_}) {
        if (!s->state->GetVariables() || s->triggerVar < 0) PrepareSound(*s);
        nVariableContext* vars = s->state->GetVariables();
        if (nVariable* v = vars->Find(s->timeVar)) v->SetF(GetTime());
        if (nVariable* v = vars->Find(s->triggerVar)) v->SetF(s->value);
        s->value = 0.0f;
    }
}

void nLogicButton::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    DeclareVariables();
    SetNodeVariables();
    GetVisualizerState()->Visualize(world, sceneGraph);
    overSound_.state->Visualize(world, sceneGraph);
    pressSound_.state->Visualize(world, sceneGraph);
}

// -- saving ---------------------------------------------------------------------------

bool nLogicButton::SaveCmds(nPersistServer* ps) {
    if (!nLogicSprite::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("LBBS"), GetNumStates());
    for (int i = 0; ok && i < GetNumStates(); i++) {
        const State& s = states_[size_t(i)];
        ok = ps->Put(this, nId("LBSS"), i, s.x, s.y, s.w, s.h, s.uleft, s.vtop, s.uright, s.vbottom);
    }
    ok = ok && ps->Put(this, nId("LBES"));
    if (ok && normalState_ >= 0) ok = ps->Put(this, nId("LBSN"), normalState_);
    if (ok && overState_ >= 0) ok = ps->Put(this, nId("LBSO"), overState_);
    if (ok && pressedState_ >= 0) ok = ps->Put(this, nId("LBSP"), pressedState_);
    return ok && ps->Put(this, nId("LBPR"), priority_) && ps->Put(this, nId("LBSU"), suppressEvent_) &&
           ps->Put(this, nId("LBSA"), alphaRef_);
}
