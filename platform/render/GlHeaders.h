#pragma once
// OpenGL with the prototypes of everything past 1.1 (the system's libGL
// exports them; the render layer needs framebuffer objects and blits).

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
