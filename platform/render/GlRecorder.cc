#include "platform/render/GlRecorder.h"

#include <SDL2/SDL_video.h>

#include <algorithm>
#include <cstring>

namespace render {

namespace {

// A vertex array as GL holds it: which buffer its pointer was given with (0: client
// memory, read at each draw) and its layout.
struct Array {
    bool enabled = false;
    GLuint buffer = 0;
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLsizei stride = 0;
    const void* pointer = nullptr;
};

constexpr int kTexUnits = 4;

struct Mapping {
    GLenum target = 0;
    void* pointer = nullptr;
    size_t length = 0;
    size_t call = 0;
};

struct Recorder {
    GlRecording* out = nullptr;
    GLuint arrayBuffer = 0;
    GLuint elementBuffer = 0;
    int clientUnit = 0;
    Array vertex, normal, color;
    Array tex[kTexUnits];
    GLint unpackAlignment = 4;
    GLint unpackRowLength = 0;
    Mapping maps[2];
    alignas(16) uint8_t scratch[1024];
};

Recorder recorder;

size_t TypeBytes(GLenum type)
{
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT: return 2;
    case GL_DOUBLE: return 8;
    default: return 4;
    }
}

size_t ElementBytes(const Array& a)
{
    // A colour array of GL_BGRA size holds four components.
    const size_t components = a.size == GL_BGRA ? 4 : static_cast<size_t>(std::max(a.size, 1));
    return components * TypeBytes(a.type);
}

size_t PixelBytes(GLenum format, GLenum type)
{
    switch (type) {
    case GL_UNSIGNED_SHORT_4_4_4_4:
    case GL_UNSIGNED_SHORT_4_4_4_4_REV:
    case GL_UNSIGNED_SHORT_5_6_5:
    case GL_UNSIGNED_SHORT_5_6_5_REV:
    case GL_UNSIGNED_SHORT_5_5_5_1:
    case GL_UNSIGNED_SHORT_1_5_5_5_REV: return 2;
    case GL_UNSIGNED_INT_8_8_8_8:
    case GL_UNSIGNED_INT_8_8_8_8_REV:
    case GL_UNSIGNED_INT_2_10_10_10_REV: return 4;
    default: break;
    }
    size_t components = 4;
    switch (format) {
    case GL_RGB:
    case GL_BGR: components = 3; break;
    case GL_LUMINANCE_ALPHA:
    case GL_RG: components = 2; break;
    case GL_RED:
    case GL_ALPHA:
    case GL_LUMINANCE:
    case GL_DEPTH_COMPONENT: components = 1; break;
    default: break;
    }
    return components * TypeBytes(type);
}

// Bytes an upload of w x h pixels reads under the unpack state.
size_t ImageBytes(GLsizei w, GLsizei h, GLenum format, GLenum type)
{
    if (w <= 0 || h <= 0) return 0;
    const size_t pixel = PixelBytes(format, type);
    const size_t rowPixels = recorder.unpackRowLength > 0 ? static_cast<size_t>(recorder.unpackRowLength)
                                                          : static_cast<size_t>(w);
    const size_t align = static_cast<size_t>(std::max(recorder.unpackAlignment, 1));
    const size_t row = (rowPixels * pixel + align - 1) / align * align;
    return row * static_cast<size_t>(h - 1) + static_cast<size_t>(w) * pixel;
}

void ReadArray(Array& a, GLenum array, GLenum buffer, GLenum size, GLenum type, GLenum stride, GLenum pointer)
{
    a.enabled = glIsEnabled(array) == GL_TRUE;
    GLint value = 0;
    glGetIntegerv(buffer, &value);
    a.buffer = static_cast<GLuint>(value);
    if (size != 0) glGetIntegerv(size, &a.size);
    else a.size = 3;
    glGetIntegerv(type, &value);
    a.type = static_cast<GLenum>(value);
    glGetIntegerv(stride, &a.stride);
    void* p = nullptr;
    glGetPointerv(pointer, &p);
    a.pointer = p;
}

Array& TexArray()
{
    return recorder.tex[std::clamp(recorder.clientUnit, 0, kTexUnits - 1)];
}

Array* ClientArray(GLenum array)
{
    switch (array) {
    case GL_VERTEX_ARRAY: return &recorder.vertex;
    case GL_NORMAL_ARRAY: return &recorder.normal;
    case GL_COLOR_ARRAY: return &recorder.color;
    case GL_TEXTURE_COORD_ARRAY: return &TexArray();
    default: return nullptr;
    }
}

template <auto Fn, typename... A>
GlRecording::Call& PushPointer(const Array& a, GLint first, GLint last, A... layout)
{
    GlRecording::Call& call = GlReplay<Fn>::Push(layout..., nullptr);
    const size_t stride = a.stride != 0 ? static_cast<size_t>(a.stride) : ElementBytes(a);
    const size_t begin = static_cast<size_t>(first) * stride;
    const size_t bytes = static_cast<size_t>(last - first) * stride + ElementBytes(a);
    GlRecorder::Keep(call, sizeof...(A), static_cast<const uint8_t*>(a.pointer) + begin, bytes,
                     -static_cast<int64_t>(begin));
    return call;
}

// Arrays in client memory are read by the draw: what vertices first .. last of them hold
// now is kept, and the replay points the arrays at the copy before the draw.
void KeepClientArrays(GLint first, GLint last)
{
    Recorder& r = recorder;
    auto client = [](const Array& a) { return a.enabled && a.buffer == 0 && a.pointer != nullptr; };
    bool any = client(r.vertex) || client(r.normal) || client(r.color);
    for (const Array& a : r.tex) any = any || client(a);
    if (!any || last < first) return;
    if (r.arrayBuffer != 0) GlReplay<&glBindBuffer>::Push(GL_ARRAY_BUFFER, 0u);
    if (client(r.vertex)) PushPointer<&glVertexPointer>(r.vertex, first, last, r.vertex.size, r.vertex.type, r.vertex.stride);
    if (client(r.normal)) PushPointer<&glNormalPointer>(r.normal, first, last, r.normal.type, r.normal.stride);
    if (client(r.color)) PushPointer<&glColorPointer>(r.color, first, last, r.color.size, r.color.type, r.color.stride);
    bool unitMoved = false;
    for (int unit = 0; unit < kTexUnits; ++unit) {
        const Array& a = r.tex[unit];
        if (!client(a)) continue;
        GlReplay<&glClientActiveTexture>::Push(static_cast<GLenum>(GL_TEXTURE0 + unit));
        PushPointer<&glTexCoordPointer>(a, first, last, a.size, a.type, a.stride);
        unitMoved = true;
    }
    if (unitMoved) GlReplay<&glClientActiveTexture>::Push(static_cast<GLenum>(GL_TEXTURE0 + r.clientUnit));
    if (r.arrayBuffer != 0) GlReplay<&glBindBuffer>::Push(GL_ARRAY_BUFFER, r.arrayBuffer);
}

Mapping* MappingOf(GLenum target)
{
    for (Mapping& m : recorder.maps) {
        if (m.target == target) return &m;
    }
    return nullptr;
}

void ReplayMapWrite(const uint64_t* slots)
{
    const auto length = GlRecorder::Load<GLsizeiptr>(slots[2]);
    void* mapped = glMapBufferRange(GlRecorder::Load<GLenum>(slots[0]), GlRecorder::Load<GLintptr>(slots[1]), length,
                                    GlRecorder::Load<GLbitfield>(slots[3]));
    if (mapped != nullptr) std::memcpy(mapped, GlRecorder::Load<const void*>(slots[4]), static_cast<size_t>(length));
}

// Parameter arrays: four values, but where the name says fewer.
template <auto Fn, typename... A>
void KeepValues(const GLfloat* values, size_t count, A... head)
{
    GlRecording::Call& call = GlReplay<Fn>::Push(head..., values);
    GlRecorder::Keep(call, sizeof...(A), values, count * sizeof(GLfloat));
}

}  // namespace

void GlRecorder::Begin(GlRecording& out)
{
    out.calls.clear();
    out.dataSlots.clear();
    out.data.clear();
    out.complete = false;
    out.refusal.clear();
    Recorder& r = recorder;
    r.out = &out;
    GLint value = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &value);
    r.arrayBuffer = static_cast<GLuint>(value);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &value);
    r.elementBuffer = static_cast<GLuint>(value);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &r.unpackAlignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &r.unpackRowLength);
    ReadArray(r.vertex, GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_BUFFER_BINDING, GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE,
              GL_VERTEX_ARRAY_STRIDE, GL_VERTEX_ARRAY_POINTER);
    ReadArray(r.normal, GL_NORMAL_ARRAY, GL_NORMAL_ARRAY_BUFFER_BINDING, 0, GL_NORMAL_ARRAY_TYPE,
              GL_NORMAL_ARRAY_STRIDE, GL_NORMAL_ARRAY_POINTER);
    ReadArray(r.color, GL_COLOR_ARRAY, GL_COLOR_ARRAY_BUFFER_BINDING, GL_COLOR_ARRAY_SIZE, GL_COLOR_ARRAY_TYPE,
              GL_COLOR_ARRAY_STRIDE, GL_COLOR_ARRAY_POINTER);
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &value);
    r.clientUnit = value - GL_TEXTURE0;
    for (int unit = 0; unit < kTexUnits; ++unit) {
        glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
        ReadArray(r.tex[unit], GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING,
                  GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_TYPE, GL_TEXTURE_COORD_ARRAY_STRIDE,
                  GL_TEXTURE_COORD_ARRAY_POINTER);
    }
    glClientActiveTexture(static_cast<GLenum>(value));
    for (Mapping& m : r.maps) m = Mapping{};
    glRecording = true;
}

bool GlRecorder::End()
{
    glRecording = false;
    GlRecording* out = recorder.out;
    recorder.out = nullptr;
    if (out == nullptr) return false;
    for (const Mapping& m : recorder.maps) {
        if (m.target != 0) Refuse("a buffer is still mapped at the frame's end");
    }
    const auto base = reinterpret_cast<uintptr_t>(out->data.data());
    for (const auto& [call, slot] : out->dataSlots) out->calls[call].slots[slot] += base;
    out->dataSlots.clear();
    out->complete = out->refusal.empty();
    return out->complete;
}

GlRecording::Call& GlRecorder::Push(GlRecording::Replayer replay)
{
    GlRecording::Call& call = recorder.out->calls.emplace_back();
    call.replay = replay;
    return call;
}

size_t GlRecorder::IndexOf(const GlRecording::Call& call)
{
    return static_cast<size_t>(&call - recorder.out->calls.data());
}

GlRecording::Call& GlRecorder::CallAt(size_t index)
{
    return recorder.out->calls[index];
}

void GlRecorder::Keep(GlRecording::Call& call, int slot, const void* source, size_t bytes, int64_t shift)
{
    GlRecording& out = *recorder.out;
    const size_t at = out.data.size();
    // Kept blocks start 16-byte aligned, as the memory they copy may have been.
    out.data.resize(at + ((bytes + 15) & ~size_t{15}));
    if (bytes > 0 && source != nullptr) std::memcpy(out.data.data() + at, source, bytes);
    call.slots[slot] = static_cast<uint64_t>(static_cast<int64_t>(at) + shift);
    out.dataSlots.emplace_back(static_cast<uint32_t>(&call - out.calls.data()), static_cast<uint32_t>(slot));
}

void GlRecorder::Refuse(const char* why)
{
    if (recorder.out != nullptr && recorder.out->refusal.empty()) recorder.out->refusal = why;
}

void* GlRecorder::Scratch()
{
    return recorder.scratch;
}

namespace glrec {

void glLightfv(GLenum light, GLenum name, const GLfloat* values)
{
    KeepValues<&::glLightfv>(values, name == GL_SPOT_DIRECTION ? 3 : 4, light, name);
    ::glLightfv(light, name, values);
}

void glMaterialfv(GLenum face, GLenum name, const GLfloat* values)
{
    KeepValues<&::glMaterialfv>(values, name == GL_SHININESS ? 1 : 4, face, name);
    ::glMaterialfv(face, name, values);
}

void glFogfv(GLenum name, const GLfloat* values)
{
    KeepValues<&::glFogfv>(values, name == GL_FOG_COLOR ? 4 : 1, name);
    ::glFogfv(name, values);
}

void glTexEnvfv(GLenum target, GLenum name, const GLfloat* values)
{
    KeepValues<&::glTexEnvfv>(values, name == GL_TEXTURE_ENV_COLOR ? 4 : 1, target, name);
    ::glTexEnvfv(target, name, values);
}

void glTexGenfv(GLenum coord, GLenum name, const GLfloat* values)
{
    KeepValues<&::glTexGenfv>(values, name == GL_TEXTURE_GEN_MODE ? 1 : 4, coord, name);
    ::glTexGenfv(coord, name, values);
}

void glLightModelfv(GLenum name, const GLfloat* values)
{
    KeepValues<&::glLightModelfv>(values, name == GL_LIGHT_MODEL_AMBIENT ? 4 : 1, name);
    ::glLightModelfv(name, values);
}

void glLoadMatrixf(const GLfloat* matrix)
{
    KeepValues<&::glLoadMatrixf>(matrix, 16);
    ::glLoadMatrixf(matrix);
}

// Replayed queries write into the scratch area.
void glGetIntegerv(GLenum name, GLint* out)
{
    GlReplay<&::glGetIntegerv>::Push(name, static_cast<GLint*>(GlRecorder::Scratch()));
    ::glGetIntegerv(name, out);
}

void glGetFloatv(GLenum name, GLfloat* out)
{
    GlReplay<&::glGetFloatv>::Push(name, static_cast<GLfloat*>(GlRecorder::Scratch()));
    ::glGetFloatv(name, out);
}

void glGetBooleanv(GLenum name, GLboolean* out)
{
    GlReplay<&::glGetBooleanv>::Push(name, static_cast<GLboolean*>(GlRecorder::Scratch()));
    ::glGetBooleanv(name, out);
}

void glPixelStorei(GLenum name, GLint value)
{
    if (name == GL_UNPACK_ALIGNMENT) recorder.unpackAlignment = value;
    if (name == GL_UNPACK_ROW_LENGTH) recorder.unpackRowLength = value;
    GlReplay<&::glPixelStorei>::Push(name, value);
    ::glPixelStorei(name, value);
}

void glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage)
{
    GlRecording::Call& call = GlReplay<&::glBufferData>::Push(target, size, nullptr, usage);
    if (data != nullptr) GlRecorder::Keep(call, 2, data, static_cast<size_t>(size));
    ::glBufferData(target, size, data, usage);
}

void glBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void* data)
{
    GlRecording::Call& call = GlReplay<&::glBufferSubData>::Push(target, offset, size, nullptr);
    GlRecorder::Keep(call, 3, data, static_cast<size_t>(size));
    ::glBufferSubData(target, offset, size, data);
}

void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format,
                  GLenum type, const void* pixels)
{
    GlRecording::Call& call =
        GlReplay<&::glTexImage2D>::Push(target, level, internal, w, h, border, format, type, nullptr);
    if (pixels != nullptr) GlRecorder::Keep(call, 8, pixels, ImageBytes(w, h, format, type));
    ::glTexImage2D(target, level, internal, w, h, border, format, type, pixels);
}

void glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                     const void* pixels)
{
    GlRecording::Call& call = GlReplay<&::glTexSubImage2D>::Push(target, level, x, y, w, h, format, type, nullptr);
    GlRecorder::Keep(call, 8, pixels, ImageBytes(w, h, format, type));
    ::glTexSubImage2D(target, level, x, y, w, h, format, type, pixels);
}

// What is written into a mapped range is known at the unmap: the map's call then keeps it
// and the replay writes it into its own mapping.
void* glMapBufferRange(GLenum target, GLintptr offset, GLsizeiptr length, GLbitfield access)
{
    GlRecording::Call& call = GlRecorder::Push(&ReplayMapWrite);
    call.slots[0] = GlRecorder::Slot(target);
    call.slots[1] = GlRecorder::Slot(offset);
    call.slots[2] = GlRecorder::Slot(length);
    call.slots[3] = GlRecorder::Slot(access);
    call.slots[4] = 0;
    const size_t index = GlRecorder::IndexOf(call);
    void* mapped = ::glMapBufferRange(target, offset, length, access);
    Mapping* m = MappingOf(0);
    if (MappingOf(target) != nullptr || m == nullptr) {
        GlRecorder::Refuse("a buffer target was mapped twice");
    } else if (mapped == nullptr) {
        GlRecorder::Refuse("a buffer did not map");
    } else {
        *m = Mapping{target, mapped, static_cast<size_t>(length), index};
    }
    return mapped;
}

GLboolean glUnmapBuffer(GLenum target)
{
    if (Mapping* m = MappingOf(target)) {
        GlRecorder::Keep(GlRecorder::CallAt(m->call), 4, m->pointer, m->length);
        *m = Mapping{};
    }
    GlReplay<&::glUnmapBuffer>::Push(target);
    return ::glUnmapBuffer(target);
}

void glBindBuffer(GLenum target, GLuint buffer)
{
    if (target == GL_ARRAY_BUFFER) recorder.arrayBuffer = buffer;
    if (target == GL_ELEMENT_ARRAY_BUFFER) recorder.elementBuffer = buffer;
    GlReplay<&::glBindBuffer>::Push(target, buffer);
    ::glBindBuffer(target, buffer);
}

void glEnableClientState(GLenum array)
{
    if (Array* a = ClientArray(array)) a->enabled = true;
    GlReplay<&::glEnableClientState>::Push(array);
    ::glEnableClientState(array);
}

void glDisableClientState(GLenum array)
{
    if (Array* a = ClientArray(array)) a->enabled = false;
    GlReplay<&::glDisableClientState>::Push(array);
    ::glDisableClientState(array);
}

void glClientActiveTexture(GLenum unit)
{
    recorder.clientUnit = static_cast<int>(unit - GL_TEXTURE0);
    GlReplay<&::glClientActiveTexture>::Push(unit);
    ::glClientActiveTexture(unit);
}

namespace {

// A pointer into a buffer object is an offset and goes as it is; one into client memory
// is only noted, and pointed at a copy of what each draw reads.
template <auto Fn, typename... A>
void Point(Array& a, GLint size, GLenum type, GLsizei stride, const void* pointer, A... layout)
{
    a.buffer = recorder.arrayBuffer;
    a.size = size;
    a.type = type;
    a.stride = stride;
    a.pointer = pointer;
    if (a.buffer != 0) GlReplay<Fn>::Push(layout..., pointer);
}

}  // namespace

void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer)
{
    Point<&::glVertexPointer>(recorder.vertex, size, type, stride, pointer, size, type, stride);
    ::glVertexPointer(size, type, stride, pointer);
}

void glNormalPointer(GLenum type, GLsizei stride, const void* pointer)
{
    Point<&::glNormalPointer>(recorder.normal, 3, type, stride, pointer, type, stride);
    ::glNormalPointer(type, stride, pointer);
}

void glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer)
{
    Point<&::glColorPointer>(recorder.color, size, type, stride, pointer, size, type, stride);
    ::glColorPointer(size, type, stride, pointer);
}

void glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer)
{
    Point<&::glTexCoordPointer>(TexArray(), size, type, stride, pointer, size, type, stride);
    ::glTexCoordPointer(size, type, stride, pointer);
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count)
{
    KeepClientArrays(first, first + count - 1);
    GlReplay<&::glDrawArrays>::Push(mode, first, count);
    ::glDrawArrays(mode, first, count);
}

void glDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type, const void* indices)
{
    KeepClientArrays(static_cast<GLint>(start), static_cast<GLint>(end));
    GlRecording::Call& call = GlReplay<&::glDrawRangeElements>::Push(mode, start, end, count, type, indices);
    if (recorder.elementBuffer == 0) {
        GlRecorder::Keep(call, 5, indices, static_cast<size_t>(std::max(count, 0)) * TypeBytes(type));
    }
    ::glDrawRangeElements(mode, start, end, count, type, indices);
}

void glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels)
{
    GlRecorder::Refuse("the frame reads pixels back");
    ::glReadPixels(x, y, w, h, format, type, pixels);
}

void glGenTextures(GLsizei n, GLuint* names)
{
    GlRecorder::Refuse("the frame makes textures");
    ::glGenTextures(n, names);
}

void glGenBuffers(GLsizei n, GLuint* names)
{
    GlRecorder::Refuse("the frame makes buffers");
    ::glGenBuffers(n, names);
}

void glGenFramebuffers(GLsizei n, GLuint* names)
{
    GlRecorder::Refuse("the frame makes framebuffers");
    ::glGenFramebuffers(n, names);
}

void glGenRenderbuffers(GLsizei n, GLuint* names)
{
    GlRecorder::Refuse("the frame makes renderbuffers");
    ::glGenRenderbuffers(n, names);
}

void glDeleteTextures(GLsizei n, const GLuint* names)
{
    GlRecorder::Refuse("the frame deletes textures");
    ::glDeleteTextures(n, names);
}

void glDeleteBuffers(GLsizei n, const GLuint* names)
{
    GlRecorder::Refuse("the frame deletes buffers");
    ::glDeleteBuffers(n, names);
}

void glDeleteFramebuffers(GLsizei n, const GLuint* names)
{
    GlRecorder::Refuse("the frame deletes framebuffers");
    ::glDeleteFramebuffers(n, names);
}

void glDeleteRenderbuffers(GLsizei n, const GLuint* names)
{
    GlRecorder::Refuse("the frame deletes renderbuffers");
    ::glDeleteRenderbuffers(n, names);
}

void SwapWindow(void* sdlWindow)
{
    auto* window = static_cast<SDL_Window*>(sdlWindow);
    GlReplay<&::SDL_GL_SwapWindow>::Push(window);
    ::SDL_GL_SwapWindow(window);
}

}  // namespace glrec

}  // namespace render
