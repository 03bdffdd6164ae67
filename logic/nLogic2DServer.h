#pragma once
// Hands the mouse to the buttons of the 2D user interface (script class "nlogic2dserver",
// one object at "/sys/servers/gfx2d"): buttons register during the logic Trigger, and the
// frame's 2D step sorts them by priority, reads this frame's mouse events once and serves
// each button in turn. Among overlapping buttons the first served claims the mouse.
#include <cstdint>

#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nInputServer;

// What the server asks of a registered button.
class nLogic2DClient {
public:
    // Sort key; lower is served first.
    virtual int GetPriority() const = 0;
    // Mouse position in display pixels and this frame's left-button edges.
    virtual void HandleMouse(int32_t x, int32_t y, bool buttonDown, bool buttonUp) = 0;

protected:
    ~nLogic2DClient() = default;
};

class nLogic2DServer : public nRoot {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxClients = 128;

    // The frame's 2D step; nothing when no button registered.
    virtual void Trigger();

    // False (not served this frame) once the table is full.
    bool Register(nLogic2DClient* client);
    // A button that dies between its registration and the frame's 2D step leaves the
    // table (and the owner slot), so the step never serves a dead button.
    void Unregister(nLogic2DClient* client);
    // The first button to claim the mouse in a frame owns it; true when `client` owns it.
    bool ClaimMouse(nLogic2DClient* client);
    nLogic2DClient* GetMouseOwner() const { return mouseOwner_; }
    int GetNumRegistered() const { return count_; }
    int32_t GetMouseX() const { return mouseX_; }
    int32_t GetMouseY() const { return mouseY_; }

private:
    nLogic2DClient* clients_[MaxClients] = {};
    int count_ = 0;
    nLogic2DClient* mouseOwner_ = nullptr;
    int32_t mouseX_ = 0;
    int32_t mouseY_ = 0;
    bool serving_ = false;
    nPathRef<nInputServer> refInput_{"/sys/servers/input"};
};
