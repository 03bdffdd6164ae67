#pragma once
// OpenGL error reporting of the test build (BW_GL_ERROR_CHECK): every GL error goes to
// the error handler, which tests point at their failure report, with the GL call named.
// Where the context offers KHR_debug, GL's own debug messages are used; otherwise the
// device polls glGetError after each of its operations and names that operation. In
// other builds nothing is checked and this costs nothing.

namespace render {

using GlErrorHandler = void (*)(const char* message);

// Null: an error is logged and stops the program.
inline GlErrorHandler glErrorHandler = nullptr;

#ifdef BW_GL_ERROR_CHECK
// Turns reporting on for the current context.
void InstallGlErrorCheck();
// Reports what glGetError holds, naming the operation (only without KHR_debug).
void CheckGlErrors(const char* operation);
#else
inline void InstallGlErrorCheck() {}
inline void CheckGlErrors(const char*) {}
#endif

}  // namespace render
