#pragma once
// The Flash player module's interface as the Flash node drives it: one method a place
// of the player's interface table, each returning a status (negative = failure). The
// places must be called in the player's order (5, 6, 7, 3, then 23 until ready; 4, 8
// to unload); a call out of that order fails and changes nothing.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace flash {

// The only interface id CreateFlashModule accepts.
inline constexpr const char* InterfaceId = "{00000000-0000-0000-C000-000000000046}";

// Status values. Everything >= 0 is success.
inline constexpr int32_t Ok = 0;
inline constexpr int32_t Waits = 1;  // 15: the movie's frame waits for a later one; the buffer is kept
inline constexpr int32_t OutOfOrder = -1;   // the call does not fit the module's state
inline constexpr int32_t BadArgument = -2;  // null pointers, sizes, unknown message codes
inline constexpr int32_t MovieFailed = -3;  // the movie could not be read or its code failed
inline constexpr int32_t RefusedForTime = -4;  // 7, 23: its start was stopped at its time; a later load may start it

// Window message codes of places 37 and 38.
inline constexpr uint32_t MouseMove = 0x200;
inline constexpr uint32_t MouseDown = 0x201;
inline constexpr uint32_t MouseUp = 0x202;
inline constexpr uint32_t KeyDown = 0x100;
inline constexpr uint32_t KeyUp = 0x101;
inline constexpr uint32_t Character = 0x102;

class FlashModule {
public:
    virtual ~FlashModule() = default;

    // 3: starts the loaded movie; afterwards 23 reports ready.
    virtual int32_t Play() = 0;
    // 4: first step of unloading: the movie stops and nothing but 8 is accepted.
    virtual int32_t Stop() = 0;
    // 5: the main window's handle, kept as an opaque value (before 6).
    virtual int32_t AttachWindow(uintptr_t window) = 0;
    // 6: initialises the player (the node passes 0, 1).
    virtual int32_t Initialize(int32_t a, int32_t b) = 0;
    // 7: reads and starts the movie file (native path); fails for a missing file or one
    // that is no movie, and when the movie's own code fails.
    virtual int32_t LoadMovie(const char* path) = 0;
    // 8: second step of unloading: the movie's resources go; every later call fails.
    virtual int32_t Unload() = 0;
    // 10: where the movie's stage lies in the render buffer, in buffer pixels; the
    // stage is scaled to it. Without one the stage fills the buffer.
    virtual int32_t SetMovieRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
    // 15: draws the current frame into `buffer` (width × height pixels of 4 bytes, B, G,
    // R, A, or of 2 bytes, A4R4G4B4 little-endian; rows top-down, no padding) and
    // advances the movie by one frame. Drawing is clipped to the buffer. Waits, with the
    // buffer untouched, while the host gives the movie no time in this frame.
    virtual int32_t Render(uint8_t* buffer, int32_t width, int32_t height, int32_t bytesPerPixel) = 0;
    // 21: a variable's text into `buffer` of `*length` bytes: as much as fits with a
    // terminating zero; `*length` becomes the full length (0 for a missing variable).
    // With a null buffer only the length is reported.
    virtual int32_t CopyVariable(const char* name, size_t* length, char* buffer) = 0;
    // 22: a variable's text and length ("" and 0 when the movie has no such variable).
    // The text stays valid until the next call of 21 or 22.
    virtual int32_t GetVariable(const char* name, const char** text, size_t* length) = 0;
    // 23: 1 once the movie plays, 0 while it is loaded but not yet playing.
    virtual int32_t IsReady() = 0;
    // 27: sets a variable and tells the movie.
    virtual int32_t SetVariable(const char* name, const char* text) = 0;
    // 37: a mouse message with x, y relative to the movie (0 … 1) and button flags.
    virtual int32_t MouseEvent(uint32_t message, float x, float y, int32_t flags) = 0;
    // 38: a key message with a virtual-key code (down, up) or a Windows-1252 character.
    virtual int32_t KeyEvent(uint32_t message, int32_t code, int32_t extra) = 0;
    // 41: whether the movie may send script messages.
    virtual int32_t SetMessaging(bool on) = 0;

    // Not a place of the player's table: the host calls it once a frame, so that what
    // waited for the frame's time (the movie's start, its events) runs as soon as there is
    // time; Waits while some still waits. Modules that keep nothing waiting answer Ok.
    virtual int32_t RunWaiting() { return Ok; }
    // Not a place either: how many movie texts the module has started (a loose movie that
    // gives way starts the game's own copy). What the host held against one text, such as
    // its refused script lines, is not held against the next.
    virtual uint32_t Starts() const { return 0; }
};

// Makes a module for `interfaceId` (null for any other id, or when the factory fails);
// the caller hands it back to DeleteFlashModule.
FlashModule* CreateFlashModule(const char* interfaceId);
void DeleteFlashModule(FlashModule* module);

// Replaces what CreateFlashModule makes (tests install modules of their own); an empty
// function restores the movie player.
using ModuleFactory = std::function<std::unique_ptr<FlashModule>()>;
void SetModuleFactory(ModuleFactory factory);

}  // namespace flash
