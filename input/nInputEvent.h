#pragma once
// One input event of a frame: a key, a character, a mouse position, an axis value
// or a button change, posted by the window procedure or a DirectInput device into
// the input server's queue. Events always come from the server's pool.
#include <cstdint>

#include "kernel/nNode.h"

enum nInputType : int32_t {
    N_INPUT_NONE = 0,
    N_INPUT_KEY_DOWN = 1,
    N_INPUT_KEY_UP = 2,
    N_INPUT_KEY_CHAR = 3,
    N_INPUT_MOUSE_MOVE = 4,
    N_INPUT_AXIS_MOVE = 5,
    N_INPUT_BUTTON_DOWN = 6,
    N_INPUT_BUTTON_UP = 7,
    N_INPUT_BUTTON_DBLCLCK = 8,
};

// Device ids of the window's keyboard and mouse; DirectInput devices OR their
// index into the mouse or joystick base.
constexpr int32_t N_INPUT_DEV_KEYBOARD = 0x10000;
constexpr int32_t N_INPUT_DEV_MOUSE = 0x20000;
constexpr int32_t N_INPUT_DEV_JOYSTICK = 0x40000;
constexpr int32_t N_INPUT_DEV_RELMOUSE = 0x200000;

// Flag bit: the console handled the event; mappings ignore it.
constexpr uint32_t N_IEF_HANDLED = 1;

class nInputEvent {
public:
    nInputEvent() : node(this) {}
    nInputEvent(const nInputEvent&) = delete;
    nInputEvent& operator=(const nInputEvent&) = delete;

    // Unlinks the event and zeroes every field.
    void Clear() {
        node.Remove();
        type = N_INPUT_NONE;
        flags = 0;
        deviceId = 0;
        number = 0;
        value = 0.0f;
        x = 0;
        y = 0;
        relX = 0.0f;
        relY = 0.0f;
    }

    // The next event of the queue, null after the last.
    nInputEvent* GetSucc() const {
        nNode* n = node.GetSucc();
        return n ? static_cast<nInputEvent*>(n->GetPtr()) : nullptr;
    }

    nNode node;
    int32_t type = N_INPUT_NONE;
    uint32_t flags = 0;
    int32_t deviceId = 0;
    // Key code, character, button or half-axis number.
    int32_t number = 0;
    float value = 0.0f;
    // Mouse position in window pixels and as a fraction of the display size.
    int32_t x = 0;
    int32_t y = 0;
    float relX = 0.0f;
    float relY = 0.0f;
};
