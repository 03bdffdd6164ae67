#pragma once
// What the window's message pump hands to the engine's window procedure: one
// record per event, in the order the events arrived. Keys carry the Windows
// virtual-key numbers that the engine's key table is written over.

#include <cstdint>
#include <functional>

namespace window {

enum class MessageKind {
    Close,       // the user or the system asks the window to close
    Activate,    // keyboard focus gained
    Deactivate,  // keyboard focus lost
    Size,        // minimised, restored or resized; see minimised, width, height
    Paint,       // the window's content must be shown again
    KeyDown,     // virtualKey; repeat is set for auto-repeat
    KeyUp,       // virtualKey
    Char,        // character: one Windows-1252 byte
    MouseMove,   // x, y in client pixels
    ButtonDown,  // button 0 left, 1 right, 2 middle; x, y
    ButtonUp,    // as ButtonDown
    Wheel,       // wheelDelta in multiples of 120 per notch, positive away from the user
    SetCursor,   // the pointer is over the window; unhandled, the arrow is shown
};

struct Message {
    MessageKind kind = MessageKind::Paint;
    int virtualKey = 0;
    bool repeat = false;
    // Set while Alt is held or for F10: such keys never reach a Windows window
    // procedure as plain key messages.
    bool systemKey = false;
    int character = 0;
    int x = 0;
    int y = 0;
    int button = 0;
    int wheelDelta = 0;
    bool minimised = false;
    int width = 0;
    int height = 0;
};

// Returns true when the message was handled; an unhandled message gets the
// window's default processing (only SetCursor has one: the arrow).
using MessageHandler = std::function<bool(const Message&)>;

}  // namespace window
