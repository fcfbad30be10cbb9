// OpenGL past 1.1 by the plain names a scene would call with any loader: glCreateShader,
// glGenVertexArrays, glBufferData, ... Windows' opengl32.dll exports only OpenGL 1.1; the rest
// is asked of the driver once a context is current (LoadGLEntries, called by the main window).
// An entry the machine lacks is never a null pointer: calling it raises Exception with its name
// and the version the machine has.
//
// Where <GL/glext.h> is missing (Visual Studio has none of its own), the frame builds without
// them; a scene that wants them puts the Khronos header on the include path.
#pragma once

#include <windows.h>

#include <GL/gl.h>

#if __has_include(<GL/glext.h>)
#include <GL/glext.h>
#define TUTORIAL_MODERN_GL 1

#define TUTORIAL_GL_ENTRY(Major, Minor, Name, Type) extern Type Name;
#include "GLEntries.inc"
#undef TUTORIAL_GL_ENTRY
#else
#define TUTORIAL_MODERN_GL 0
#endif

// Points each entry at the driver's function, or at one that raises Exception where the driver
// has none. Needs a current context; without one, every entry raises. Cheap to call again.
void LoadGLEntries();
// The same with another resolver than wglGetProcAddress: a test's, to be a driver that lacks a
// function or answers for it as some drivers do.
using TGLResolver = PROC(WINAPI*)(LPCSTR);
void LoadGLEntries(TGLResolver Resolver);
