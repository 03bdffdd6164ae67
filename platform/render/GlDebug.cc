#include "platform/render/GlDebug.h"

#ifdef BW_GL_ERROR_CHECK

#include "platform/render/GlHeaders.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>

namespace render {

namespace {

// Whether the contexts report through KHR_debug; all contexts of a run are alike.
bool debugOutput = false;

void Report(const char* message)
{
    SDL_LogError(SDL_LOG_CATEGORY_RENDER, "OpenGL error: %s", message);
    if (glErrorHandler != nullptr) {
        glErrorHandler(message);
    } else {
        // No test is listening: stop here, where the call can still be seen.
        std::abort();
    }
}

void GLAPIENTRY OnDebugMessage(GLenum source, GLenum type, GLuint id, GLenum severity,
                               GLsizei length, const GLchar* message, const void* user)
{
    (void)source;
    (void)id;
    (void)severity;
    (void)length;
    (void)user;
    if (type == GL_DEBUG_TYPE_ERROR) {
        Report(message);
    }
}

}  // namespace

void InstallGlErrorCheck()
{
    while (glGetError() != GL_NO_ERROR) {
    }
    if (SDL_GL_ExtensionSupported("GL_KHR_debug") == SDL_TRUE) {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(OnDebugMessage, nullptr);
        debugOutput = true;
    }
}

void CheckGlErrors(const char* operation)
{
    if (debugOutput) {
        return;
    }
    for (GLenum error; (error = glGetError()) != GL_NO_ERROR;) {
        char text[160];
        std::snprintf(text, sizeof(text), "GL error 0x%04x in %s", error, operation);
        Report(text);
    }
}

}  // namespace render

#endif
