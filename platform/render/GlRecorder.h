#pragma once
// Records the render layer's OpenGL calls of one frame, with their arguments and the
// memory they read (uploads, client arrays, parameter arrays), so that the frame can be
// replayed from memory as a plain loop of direct calls: the floor that a frame's own
// work is measured against. The GL objects the calls name must still exist when the
// recording is replayed; a frame that makes or deletes objects, or reads pixels back,
// cannot be replayed and is refused. While nothing is recorded each call costs one test
// of `glRecording` (see GlCalls.h).

#include "platform/render/GlHeaders.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace render {

// True while GlRecorder records; read by every call of the render layer.
inline bool glRecording = false;

class GlRecording {
public:
    using Replayer = void (*)(const uint64_t* slots);
    struct Call {
        Replayer replay;
        uint64_t slots[10];
    };

    // Runs every recorded call once, in order, on the current context.
    void Replay() const
    {
        for (const Call& call : this->calls) call.replay(call.slots);
    }
    bool IsComplete() const { return this->complete; }
    // Why the frame cannot be replayed; empty when it can.
    const std::string& GetRefusal() const { return this->refusal; }
    size_t GetCallCount() const { return this->calls.size(); }
    size_t GetDataBytes() const { return this->data.size(); }

private:
    friend class GlRecorder;
    std::vector<Call> calls;
    // Slots holding offsets into `data` until the recording ends: (call, slot).
    std::vector<std::pair<uint32_t, uint32_t>> dataSlots;
    std::vector<uint8_t> data;
    bool complete = false;
    std::string refusal;
};

class GlRecorder {
public:
    // Starts recording into `out` (emptied). The device's context must be current.
    static void Begin(GlRecording& out);
    // Ends the recording; false (with the reason in the recording) when it cannot be replayed.
    static bool End();

    // --- used by the call wrappers
    template <typename T>
    static uint64_t Slot(T value)
    {
        static_assert(sizeof(T) <= sizeof(uint64_t) && std::is_trivially_copyable_v<T>);
        uint64_t slot = 0;
        __builtin_memcpy(&slot, &value, sizeof(T));
        return slot;
    }
    template <typename T>
    static T Load(uint64_t slot)
    {
        T value;
        __builtin_memcpy(&value, &slot, sizeof(T));
        return value;
    }
    // Appends a call; its slots follow `replay`'s order.
    static GlRecording::Call& Push(GlRecording::Replayer replay);
    // A call appended before, by its index.
    static size_t IndexOf(const GlRecording::Call& call);
    static GlRecording::Call& CallAt(size_t index);
    // Copies `bytes` from `source` into the recording; the slot then points there
    // (moved by `shift` bytes) once the recording ends.
    static void Keep(GlRecording::Call& call, int slot, const void* source, size_t bytes, int64_t shift = 0);
    static void Refuse(const char* why);
    // A scratch area for what replayed queries write.
    static void* Scratch();
};

// Calls one GL function with the arguments in a recorded call's slots.
template <auto Fn>
struct GlReplay;

template <typename R, typename... P, R (*Fn)(P...)>
struct GlReplay<Fn> {
    static_assert(sizeof...(P) <= 10);
    static void Run(const uint64_t* slots) { Invoke(slots, std::index_sequence_for<P...>{}); }
    // Records a call of Fn with these arguments as they are.
    static GlRecording::Call& Push(P... p)
    {
        GlRecording::Call& call = GlRecorder::Push(&Run);
        [[maybe_unused]] int i = 0;
        ((call.slots[i++] = GlRecorder::Slot(p)), ...);
        return call;
    }

private:
    template <size_t... I>
    static void Invoke(const uint64_t* slots, std::index_sequence<I...>)
    {
        Fn(GlRecorder::Load<P>(slots[I])...);
    }
};

// The wrapper of a GL function without pointer parameters: records the call and makes
// it. Functions with pointers have wrappers of their own below, since what they point
// at must be kept.
template <auto Fn>
struct GlRecord;

template <typename R, typename... P, R (*Fn)(P...)>
struct GlRecord<Fn> {
    static_assert((!std::is_pointer_v<P> && ...), "a GL call with pointers needs a wrapper of its own");
    static R Call(P... p)
    {
        GlReplay<Fn>::Push(p...);
        return Fn(p...);
    }
};

// Wrappers that keep what their pointers reach, follow the bindings that decide it, or
// refuse the frame.
namespace glrec {
void glLightfv(GLenum light, GLenum name, const GLfloat* values);
void glMaterialfv(GLenum face, GLenum name, const GLfloat* values);
void glFogfv(GLenum name, const GLfloat* values);
void glTexEnvfv(GLenum target, GLenum name, const GLfloat* values);
void glTexGenfv(GLenum coord, GLenum name, const GLfloat* values);
void glLightModelfv(GLenum name, const GLfloat* values);
void glLoadMatrixf(const GLfloat* matrix);
void glGetIntegerv(GLenum name, GLint* out);
void glGetFloatv(GLenum name, GLfloat* out);
void glGetBooleanv(GLenum name, GLboolean* out);
void glPixelStorei(GLenum name, GLint value);
void glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage);
void glBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void* data);
void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                  GLenum format, GLenum type, const void* pixels);
void glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,
                     GLenum type, const void* pixels);
void* glMapBufferRange(GLenum target, GLintptr offset, GLsizeiptr length, GLbitfield access);
GLboolean glUnmapBuffer(GLenum target);
void glBindBuffer(GLenum target, GLuint buffer);
void glEnableClientState(GLenum array);
void glDisableClientState(GLenum array);
void glClientActiveTexture(GLenum unit);
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void glNormalPointer(GLenum type, GLsizei stride, const void* pointer);
void glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void glDrawArrays(GLenum mode, GLint first, GLsizei count);
void glDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type, const void* indices);
void glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels);
void glGenTextures(GLsizei n, GLuint* names);
void glGenBuffers(GLsizei n, GLuint* names);
void glGenFramebuffers(GLsizei n, GLuint* names);
void glGenRenderbuffers(GLsizei n, GLuint* names);
void glDeleteTextures(GLsizei n, const GLuint* names);
void glDeleteBuffers(GLsizei n, const GLuint* names);
void glDeleteFramebuffers(GLsizei n, const GLuint* names);
void glDeleteRenderbuffers(GLsizei n, const GLuint* names);
// The window's present belongs to the frame.
void SwapWindow(void* sdlWindow);
}  // namespace glrec

}  // namespace render
