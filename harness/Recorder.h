// Forced into a scene's compile by the tools (never into the shipped program's): every OpenGL 1.1
// entry the scene calls becomes a call through the recorder, which carries the file and line of
// the call. The recorder passes each call straight through unless a tool is examining the frame
// (Recorder.cpp), so the scene draws the same either way.
//
// The macros are function-like: a name not followed by "(" (taking a function's address, a
// scene's own variable) is left alone, and "::glBegin(x)" still names a function. The scene's
// definition of TForm1::DrawScene is marked, so a finding about the whole frame has its line.
#pragma once

#include <windows.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <type_traits>

namespace TutorialRecorder
{

// One argument of a call as recorded: a number, or a pointer with the type it points to.
struct TArg
{
    double Value = 0;
    const void* Pointer = nullptr;
    // 'b' GLbyte, 'B' GLubyte, 's' GLshort, 'S' GLushort, 'i' GLint, 'I' GLuint/GLenum,
    // 'f' GLfloat, 'd' GLdouble, 'p' any other pointer, 0 none
    char Type = 0;
};

struct TSite
{
    const char* File;
    int Line;
};

// True while a tool examines the frame being drawn.
bool Recording();
// Around each recorded call: what it is, then that it returned.
void Enter(const TSite& Site, const char* Name, const TArg* Args, int Count);
void Leave();
// The scene's own glGetError: what the recorder read in its place, if it read anything.
GLenum SceneGetError(const TSite& Site);
// Where the scene defines DrawScene.
void MarkDrawScene(const char* File, int Line);

template <class T> constexpr char TypeOf()
{
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, GLbyte>)
        return 'b';
    else if constexpr (std::is_same_v<U, GLubyte>)
        return 'B';
    else if constexpr (std::is_same_v<U, GLshort>)
        return 's';
    else if constexpr (std::is_same_v<U, GLushort>)
        return 'S';
    else if constexpr (std::is_same_v<U, GLint>)
        return 'i';
    else if constexpr (std::is_same_v<U, GLuint>)
        return 'I';
    else if constexpr (std::is_same_v<U, GLfloat>)
        return 'f';
    else if constexpr (std::is_same_v<U, GLdouble>)
        return 'd';
    else
        return 'p';
}

template <class T> TArg Arg(T Value)
{
    TArg Recorded;
    if constexpr (std::is_pointer_v<T>)
    {
        Recorded.Pointer = Value;
        Recorded.Type = TypeOf<std::remove_pointer_t<T>>();
        if (Recorded.Type != 'p')
            Recorded.Type = static_cast<char>(Recorded.Type | 0x80); // a pointer to numbers
    }
    else
    {
        Recorded.Value = static_cast<double>(Value);
        Recorded.Type = TypeOf<T>();
    }
    return Recorded;
}

// The call of one entry: Call takes exactly the entry's parameters, so 0 or NULL still passes as a
// pointer, and a wrong argument gets the compiler's usual message at the scene's line (the tools
// compile with -ftrack-macro-expansion=0), naming the entry (TCall<glVertex2f>::Call). Call is
// no template and no operator(): GCC then tells the argument's fault, not "no match".
template <auto Function> struct TCall;

template <class R, class... P, R(APIENTRY* Function)(P...)> struct TCall<Function>
{
    const char* Name;
    TSite Site;

    TCall(const char* Entry, const char* File, int Line) : Name(Entry), Site{File, Line} {}

    R Call(P... Args) const
    {
        if (!Recording())
            return Function(Args...);
        const TArg Recorded[] = {Arg<P>(Args)..., TArg{}};
        Enter(Site, Name, Recorded, static_cast<int>(sizeof...(P)));
        if constexpr (std::is_void_v<R>)
        {
            Function(Args...);
            Leave();
        }
        else
        {
            R Result = Function(Args...);
            Leave();
            return Result;
        }
    }
};

struct TCaller
{
    TSite Site;

    GLenum GetError() const { return Recording() ? SceneGetError(Site) : ::glGetError(); }
};

// Registers DrawScene's place when the scene's module starts; see the DrawScene macro.
struct TMark
{
    TMark(const char* File, int Line) { MarkDrawScene(File, Line); }
};
template <const char* File, int Line> struct TDrawSceneAt
{
    static inline TMark Here{File, Line};
};
constexpr bool MayThrow(const void*)
{
    return false;
}

} // namespace TutorialRecorder

#ifndef TUTORIAL_RECORDER_ITSELF
#include <Tutorial.h>

// The file being compiled, as a template argument can name it.
static constexpr char TutorialRecordedFile[] = __BASE_FILE__;

// NOTE: noexcept(false) is what the declaration says already; naming the mark's address in it
// instantiates the mark, which records the line. A scene that calls DrawScene itself does not
// compile with this, which no scene needs to.
#define DrawScene(...)                                                                             \
    DrawScene(__VA_ARGS__) noexcept(TutorialRecorder::MayThrow(                                    \
        &TutorialRecorder::TDrawSceneAt<TutorialRecordedFile, __LINE__>::Here))

#define TUTORIAL_GL(Name) TutorialRecorder::TCall<&::Name>(#Name, __FILE__, __LINE__).Call
#define glGetError() TutorialRecorder::TCaller{{__FILE__, __LINE__}}.GetError()
// The matrix helpers of GLU, for a scene that includes <GL/glu.h>: they change the matrices.
#define gluOrtho2D(...) TUTORIAL_GL(gluOrtho2D)(__VA_ARGS__)
#define gluPerspective(...) TUTORIAL_GL(gluPerspective)(__VA_ARGS__)
#define gluLookAt(...) TUTORIAL_GL(gluLookAt)(__VA_ARGS__)

// Every entry of OpenGL 1.1 but glGetError, as <GL/gl.h> declares them.
#define glAccum(...) TUTORIAL_GL(glAccum)(__VA_ARGS__)
#define glAlphaFunc(...) TUTORIAL_GL(glAlphaFunc)(__VA_ARGS__)
#define glAreTexturesResident(...) TUTORIAL_GL(glAreTexturesResident)(__VA_ARGS__)
#define glArrayElement(...) TUTORIAL_GL(glArrayElement)(__VA_ARGS__)
#define glBegin(...) TUTORIAL_GL(glBegin)(__VA_ARGS__)
#define glBindTexture(...) TUTORIAL_GL(glBindTexture)(__VA_ARGS__)
#define glBitmap(...) TUTORIAL_GL(glBitmap)(__VA_ARGS__)
#define glBlendFunc(...) TUTORIAL_GL(glBlendFunc)(__VA_ARGS__)
#define glCallList(...) TUTORIAL_GL(glCallList)(__VA_ARGS__)
#define glCallLists(...) TUTORIAL_GL(glCallLists)(__VA_ARGS__)
#define glClear(...) TUTORIAL_GL(glClear)(__VA_ARGS__)
#define glClearAccum(...) TUTORIAL_GL(glClearAccum)(__VA_ARGS__)
#define glClearColor(...) TUTORIAL_GL(glClearColor)(__VA_ARGS__)
#define glClearDepth(...) TUTORIAL_GL(glClearDepth)(__VA_ARGS__)
#define glClearIndex(...) TUTORIAL_GL(glClearIndex)(__VA_ARGS__)
#define glClearStencil(...) TUTORIAL_GL(glClearStencil)(__VA_ARGS__)
#define glClipPlane(...) TUTORIAL_GL(glClipPlane)(__VA_ARGS__)
#define glColor3b(...) TUTORIAL_GL(glColor3b)(__VA_ARGS__)
#define glColor3bv(...) TUTORIAL_GL(glColor3bv)(__VA_ARGS__)
#define glColor3d(...) TUTORIAL_GL(glColor3d)(__VA_ARGS__)
#define glColor3dv(...) TUTORIAL_GL(glColor3dv)(__VA_ARGS__)
#define glColor3f(...) TUTORIAL_GL(glColor3f)(__VA_ARGS__)
#define glColor3fv(...) TUTORIAL_GL(glColor3fv)(__VA_ARGS__)
#define glColor3i(...) TUTORIAL_GL(glColor3i)(__VA_ARGS__)
#define glColor3iv(...) TUTORIAL_GL(glColor3iv)(__VA_ARGS__)
#define glColor3s(...) TUTORIAL_GL(glColor3s)(__VA_ARGS__)
#define glColor3sv(...) TUTORIAL_GL(glColor3sv)(__VA_ARGS__)
#define glColor3ub(...) TUTORIAL_GL(glColor3ub)(__VA_ARGS__)
#define glColor3ubv(...) TUTORIAL_GL(glColor3ubv)(__VA_ARGS__)
#define glColor3ui(...) TUTORIAL_GL(glColor3ui)(__VA_ARGS__)
#define glColor3uiv(...) TUTORIAL_GL(glColor3uiv)(__VA_ARGS__)
#define glColor3us(...) TUTORIAL_GL(glColor3us)(__VA_ARGS__)
#define glColor3usv(...) TUTORIAL_GL(glColor3usv)(__VA_ARGS__)
#define glColor4b(...) TUTORIAL_GL(glColor4b)(__VA_ARGS__)
#define glColor4bv(...) TUTORIAL_GL(glColor4bv)(__VA_ARGS__)
#define glColor4d(...) TUTORIAL_GL(glColor4d)(__VA_ARGS__)
#define glColor4dv(...) TUTORIAL_GL(glColor4dv)(__VA_ARGS__)
#define glColor4f(...) TUTORIAL_GL(glColor4f)(__VA_ARGS__)
#define glColor4fv(...) TUTORIAL_GL(glColor4fv)(__VA_ARGS__)
#define glColor4i(...) TUTORIAL_GL(glColor4i)(__VA_ARGS__)
#define glColor4iv(...) TUTORIAL_GL(glColor4iv)(__VA_ARGS__)
#define glColor4s(...) TUTORIAL_GL(glColor4s)(__VA_ARGS__)
#define glColor4sv(...) TUTORIAL_GL(glColor4sv)(__VA_ARGS__)
#define glColor4ub(...) TUTORIAL_GL(glColor4ub)(__VA_ARGS__)
#define glColor4ubv(...) TUTORIAL_GL(glColor4ubv)(__VA_ARGS__)
#define glColor4ui(...) TUTORIAL_GL(glColor4ui)(__VA_ARGS__)
#define glColor4uiv(...) TUTORIAL_GL(glColor4uiv)(__VA_ARGS__)
#define glColor4us(...) TUTORIAL_GL(glColor4us)(__VA_ARGS__)
#define glColor4usv(...) TUTORIAL_GL(glColor4usv)(__VA_ARGS__)
#define glColorMask(...) TUTORIAL_GL(glColorMask)(__VA_ARGS__)
#define glColorMaterial(...) TUTORIAL_GL(glColorMaterial)(__VA_ARGS__)
#define glColorPointer(...) TUTORIAL_GL(glColorPointer)(__VA_ARGS__)
#define glCopyPixels(...) TUTORIAL_GL(glCopyPixels)(__VA_ARGS__)
#define glCopyTexImage1D(...) TUTORIAL_GL(glCopyTexImage1D)(__VA_ARGS__)
#define glCopyTexImage2D(...) TUTORIAL_GL(glCopyTexImage2D)(__VA_ARGS__)
#define glCopyTexSubImage1D(...) TUTORIAL_GL(glCopyTexSubImage1D)(__VA_ARGS__)
#define glCopyTexSubImage2D(...) TUTORIAL_GL(glCopyTexSubImage2D)(__VA_ARGS__)
#define glCullFace(...) TUTORIAL_GL(glCullFace)(__VA_ARGS__)
#define glDeleteLists(...) TUTORIAL_GL(glDeleteLists)(__VA_ARGS__)
#define glDeleteTextures(...) TUTORIAL_GL(glDeleteTextures)(__VA_ARGS__)
#define glDepthFunc(...) TUTORIAL_GL(glDepthFunc)(__VA_ARGS__)
#define glDepthMask(...) TUTORIAL_GL(glDepthMask)(__VA_ARGS__)
#define glDepthRange(...) TUTORIAL_GL(glDepthRange)(__VA_ARGS__)
#define glDisable(...) TUTORIAL_GL(glDisable)(__VA_ARGS__)
#define glDisableClientState(...) TUTORIAL_GL(glDisableClientState)(__VA_ARGS__)
#define glDrawArrays(...) TUTORIAL_GL(glDrawArrays)(__VA_ARGS__)
#define glDrawBuffer(...) TUTORIAL_GL(glDrawBuffer)(__VA_ARGS__)
#define glDrawElements(...) TUTORIAL_GL(glDrawElements)(__VA_ARGS__)
#define glDrawPixels(...) TUTORIAL_GL(glDrawPixels)(__VA_ARGS__)
#define glEdgeFlag(...) TUTORIAL_GL(glEdgeFlag)(__VA_ARGS__)
#define glEdgeFlagPointer(...) TUTORIAL_GL(glEdgeFlagPointer)(__VA_ARGS__)
#define glEdgeFlagv(...) TUTORIAL_GL(glEdgeFlagv)(__VA_ARGS__)
#define glEnable(...) TUTORIAL_GL(glEnable)(__VA_ARGS__)
#define glEnableClientState(...) TUTORIAL_GL(glEnableClientState)(__VA_ARGS__)
#define glEnd(...) TUTORIAL_GL(glEnd)(__VA_ARGS__)
#define glEndList(...) TUTORIAL_GL(glEndList)(__VA_ARGS__)
#define glEvalCoord1d(...) TUTORIAL_GL(glEvalCoord1d)(__VA_ARGS__)
#define glEvalCoord1dv(...) TUTORIAL_GL(glEvalCoord1dv)(__VA_ARGS__)
#define glEvalCoord1f(...) TUTORIAL_GL(glEvalCoord1f)(__VA_ARGS__)
#define glEvalCoord1fv(...) TUTORIAL_GL(glEvalCoord1fv)(__VA_ARGS__)
#define glEvalCoord2d(...) TUTORIAL_GL(glEvalCoord2d)(__VA_ARGS__)
#define glEvalCoord2dv(...) TUTORIAL_GL(glEvalCoord2dv)(__VA_ARGS__)
#define glEvalCoord2f(...) TUTORIAL_GL(glEvalCoord2f)(__VA_ARGS__)
#define glEvalCoord2fv(...) TUTORIAL_GL(glEvalCoord2fv)(__VA_ARGS__)
#define glEvalMesh1(...) TUTORIAL_GL(glEvalMesh1)(__VA_ARGS__)
#define glEvalMesh2(...) TUTORIAL_GL(glEvalMesh2)(__VA_ARGS__)
#define glEvalPoint1(...) TUTORIAL_GL(glEvalPoint1)(__VA_ARGS__)
#define glEvalPoint2(...) TUTORIAL_GL(glEvalPoint2)(__VA_ARGS__)
#define glFeedbackBuffer(...) TUTORIAL_GL(glFeedbackBuffer)(__VA_ARGS__)
#define glFinish(...) TUTORIAL_GL(glFinish)(__VA_ARGS__)
#define glFlush(...) TUTORIAL_GL(glFlush)(__VA_ARGS__)
#define glFogf(...) TUTORIAL_GL(glFogf)(__VA_ARGS__)
#define glFogfv(...) TUTORIAL_GL(glFogfv)(__VA_ARGS__)
#define glFogi(...) TUTORIAL_GL(glFogi)(__VA_ARGS__)
#define glFogiv(...) TUTORIAL_GL(glFogiv)(__VA_ARGS__)
#define glFrontFace(...) TUTORIAL_GL(glFrontFace)(__VA_ARGS__)
#define glFrustum(...) TUTORIAL_GL(glFrustum)(__VA_ARGS__)
#define glGenLists(...) TUTORIAL_GL(glGenLists)(__VA_ARGS__)
#define glGenTextures(...) TUTORIAL_GL(glGenTextures)(__VA_ARGS__)
#define glGetBooleanv(...) TUTORIAL_GL(glGetBooleanv)(__VA_ARGS__)
#define glGetClipPlane(...) TUTORIAL_GL(glGetClipPlane)(__VA_ARGS__)
#define glGetDoublev(...) TUTORIAL_GL(glGetDoublev)(__VA_ARGS__)
#define glGetFloatv(...) TUTORIAL_GL(glGetFloatv)(__VA_ARGS__)
#define glGetIntegerv(...) TUTORIAL_GL(glGetIntegerv)(__VA_ARGS__)
#define glGetLightfv(...) TUTORIAL_GL(glGetLightfv)(__VA_ARGS__)
#define glGetLightiv(...) TUTORIAL_GL(glGetLightiv)(__VA_ARGS__)
#define glGetMapdv(...) TUTORIAL_GL(glGetMapdv)(__VA_ARGS__)
#define glGetMapfv(...) TUTORIAL_GL(glGetMapfv)(__VA_ARGS__)
#define glGetMapiv(...) TUTORIAL_GL(glGetMapiv)(__VA_ARGS__)
#define glGetMaterialfv(...) TUTORIAL_GL(glGetMaterialfv)(__VA_ARGS__)
#define glGetMaterialiv(...) TUTORIAL_GL(glGetMaterialiv)(__VA_ARGS__)
#define glGetPixelMapfv(...) TUTORIAL_GL(glGetPixelMapfv)(__VA_ARGS__)
#define glGetPixelMapuiv(...) TUTORIAL_GL(glGetPixelMapuiv)(__VA_ARGS__)
#define glGetPixelMapusv(...) TUTORIAL_GL(glGetPixelMapusv)(__VA_ARGS__)
#define glGetPointerv(...) TUTORIAL_GL(glGetPointerv)(__VA_ARGS__)
#define glGetPolygonStipple(...) TUTORIAL_GL(glGetPolygonStipple)(__VA_ARGS__)
#define glGetString(...) TUTORIAL_GL(glGetString)(__VA_ARGS__)
#define glGetTexEnvfv(...) TUTORIAL_GL(glGetTexEnvfv)(__VA_ARGS__)
#define glGetTexEnviv(...) TUTORIAL_GL(glGetTexEnviv)(__VA_ARGS__)
#define glGetTexGendv(...) TUTORIAL_GL(glGetTexGendv)(__VA_ARGS__)
#define glGetTexGenfv(...) TUTORIAL_GL(glGetTexGenfv)(__VA_ARGS__)
#define glGetTexGeniv(...) TUTORIAL_GL(glGetTexGeniv)(__VA_ARGS__)
#define glGetTexImage(...) TUTORIAL_GL(glGetTexImage)(__VA_ARGS__)
#define glGetTexLevelParameterfv(...) TUTORIAL_GL(glGetTexLevelParameterfv)(__VA_ARGS__)
#define glGetTexLevelParameteriv(...) TUTORIAL_GL(glGetTexLevelParameteriv)(__VA_ARGS__)
#define glGetTexParameterfv(...) TUTORIAL_GL(glGetTexParameterfv)(__VA_ARGS__)
#define glGetTexParameteriv(...) TUTORIAL_GL(glGetTexParameteriv)(__VA_ARGS__)
#define glHint(...) TUTORIAL_GL(glHint)(__VA_ARGS__)
#define glIndexMask(...) TUTORIAL_GL(glIndexMask)(__VA_ARGS__)
#define glIndexPointer(...) TUTORIAL_GL(glIndexPointer)(__VA_ARGS__)
#define glIndexd(...) TUTORIAL_GL(glIndexd)(__VA_ARGS__)
#define glIndexdv(...) TUTORIAL_GL(glIndexdv)(__VA_ARGS__)
#define glIndexf(...) TUTORIAL_GL(glIndexf)(__VA_ARGS__)
#define glIndexfv(...) TUTORIAL_GL(glIndexfv)(__VA_ARGS__)
#define glIndexi(...) TUTORIAL_GL(glIndexi)(__VA_ARGS__)
#define glIndexiv(...) TUTORIAL_GL(glIndexiv)(__VA_ARGS__)
#define glIndexs(...) TUTORIAL_GL(glIndexs)(__VA_ARGS__)
#define glIndexsv(...) TUTORIAL_GL(glIndexsv)(__VA_ARGS__)
#define glIndexub(...) TUTORIAL_GL(glIndexub)(__VA_ARGS__)
#define glIndexubv(...) TUTORIAL_GL(glIndexubv)(__VA_ARGS__)
#define glInitNames(...) TUTORIAL_GL(glInitNames)(__VA_ARGS__)
#define glInterleavedArrays(...) TUTORIAL_GL(glInterleavedArrays)(__VA_ARGS__)
#define glIsEnabled(...) TUTORIAL_GL(glIsEnabled)(__VA_ARGS__)
#define glIsList(...) TUTORIAL_GL(glIsList)(__VA_ARGS__)
#define glIsTexture(...) TUTORIAL_GL(glIsTexture)(__VA_ARGS__)
#define glLightModelf(...) TUTORIAL_GL(glLightModelf)(__VA_ARGS__)
#define glLightModelfv(...) TUTORIAL_GL(glLightModelfv)(__VA_ARGS__)
#define glLightModeli(...) TUTORIAL_GL(glLightModeli)(__VA_ARGS__)
#define glLightModeliv(...) TUTORIAL_GL(glLightModeliv)(__VA_ARGS__)
#define glLightf(...) TUTORIAL_GL(glLightf)(__VA_ARGS__)
#define glLightfv(...) TUTORIAL_GL(glLightfv)(__VA_ARGS__)
#define glLighti(...) TUTORIAL_GL(glLighti)(__VA_ARGS__)
#define glLightiv(...) TUTORIAL_GL(glLightiv)(__VA_ARGS__)
#define glLineStipple(...) TUTORIAL_GL(glLineStipple)(__VA_ARGS__)
#define glLineWidth(...) TUTORIAL_GL(glLineWidth)(__VA_ARGS__)
#define glListBase(...) TUTORIAL_GL(glListBase)(__VA_ARGS__)
#define glLoadIdentity(...) TUTORIAL_GL(glLoadIdentity)(__VA_ARGS__)
#define glLoadMatrixd(...) TUTORIAL_GL(glLoadMatrixd)(__VA_ARGS__)
#define glLoadMatrixf(...) TUTORIAL_GL(glLoadMatrixf)(__VA_ARGS__)
#define glLoadName(...) TUTORIAL_GL(glLoadName)(__VA_ARGS__)
#define glLogicOp(...) TUTORIAL_GL(glLogicOp)(__VA_ARGS__)
#define glMap1d(...) TUTORIAL_GL(glMap1d)(__VA_ARGS__)
#define glMap1f(...) TUTORIAL_GL(glMap1f)(__VA_ARGS__)
#define glMap2d(...) TUTORIAL_GL(glMap2d)(__VA_ARGS__)
#define glMap2f(...) TUTORIAL_GL(glMap2f)(__VA_ARGS__)
#define glMapGrid1d(...) TUTORIAL_GL(glMapGrid1d)(__VA_ARGS__)
#define glMapGrid1f(...) TUTORIAL_GL(glMapGrid1f)(__VA_ARGS__)
#define glMapGrid2d(...) TUTORIAL_GL(glMapGrid2d)(__VA_ARGS__)
#define glMapGrid2f(...) TUTORIAL_GL(glMapGrid2f)(__VA_ARGS__)
#define glMaterialf(...) TUTORIAL_GL(glMaterialf)(__VA_ARGS__)
#define glMaterialfv(...) TUTORIAL_GL(glMaterialfv)(__VA_ARGS__)
#define glMateriali(...) TUTORIAL_GL(glMateriali)(__VA_ARGS__)
#define glMaterialiv(...) TUTORIAL_GL(glMaterialiv)(__VA_ARGS__)
#define glMatrixMode(...) TUTORIAL_GL(glMatrixMode)(__VA_ARGS__)
#define glMultMatrixd(...) TUTORIAL_GL(glMultMatrixd)(__VA_ARGS__)
#define glMultMatrixf(...) TUTORIAL_GL(glMultMatrixf)(__VA_ARGS__)
#define glNewList(...) TUTORIAL_GL(glNewList)(__VA_ARGS__)
#define glNormal3b(...) TUTORIAL_GL(glNormal3b)(__VA_ARGS__)
#define glNormal3bv(...) TUTORIAL_GL(glNormal3bv)(__VA_ARGS__)
#define glNormal3d(...) TUTORIAL_GL(glNormal3d)(__VA_ARGS__)
#define glNormal3dv(...) TUTORIAL_GL(glNormal3dv)(__VA_ARGS__)
#define glNormal3f(...) TUTORIAL_GL(glNormal3f)(__VA_ARGS__)
#define glNormal3fv(...) TUTORIAL_GL(glNormal3fv)(__VA_ARGS__)
#define glNormal3i(...) TUTORIAL_GL(glNormal3i)(__VA_ARGS__)
#define glNormal3iv(...) TUTORIAL_GL(glNormal3iv)(__VA_ARGS__)
#define glNormal3s(...) TUTORIAL_GL(glNormal3s)(__VA_ARGS__)
#define glNormal3sv(...) TUTORIAL_GL(glNormal3sv)(__VA_ARGS__)
#define glNormalPointer(...) TUTORIAL_GL(glNormalPointer)(__VA_ARGS__)
#define glOrtho(...) TUTORIAL_GL(glOrtho)(__VA_ARGS__)
#define glPassThrough(...) TUTORIAL_GL(glPassThrough)(__VA_ARGS__)
#define glPixelMapfv(...) TUTORIAL_GL(glPixelMapfv)(__VA_ARGS__)
#define glPixelMapuiv(...) TUTORIAL_GL(glPixelMapuiv)(__VA_ARGS__)
#define glPixelMapusv(...) TUTORIAL_GL(glPixelMapusv)(__VA_ARGS__)
#define glPixelStoref(...) TUTORIAL_GL(glPixelStoref)(__VA_ARGS__)
#define glPixelStorei(...) TUTORIAL_GL(glPixelStorei)(__VA_ARGS__)
#define glPixelTransferf(...) TUTORIAL_GL(glPixelTransferf)(__VA_ARGS__)
#define glPixelTransferi(...) TUTORIAL_GL(glPixelTransferi)(__VA_ARGS__)
#define glPixelZoom(...) TUTORIAL_GL(glPixelZoom)(__VA_ARGS__)
#define glPointSize(...) TUTORIAL_GL(glPointSize)(__VA_ARGS__)
#define glPolygonMode(...) TUTORIAL_GL(glPolygonMode)(__VA_ARGS__)
#define glPolygonOffset(...) TUTORIAL_GL(glPolygonOffset)(__VA_ARGS__)
#define glPolygonStipple(...) TUTORIAL_GL(glPolygonStipple)(__VA_ARGS__)
#define glPopAttrib(...) TUTORIAL_GL(glPopAttrib)(__VA_ARGS__)
#define glPopClientAttrib(...) TUTORIAL_GL(glPopClientAttrib)(__VA_ARGS__)
#define glPopMatrix(...) TUTORIAL_GL(glPopMatrix)(__VA_ARGS__)
#define glPopName(...) TUTORIAL_GL(glPopName)(__VA_ARGS__)
#define glPrioritizeTextures(...) TUTORIAL_GL(glPrioritizeTextures)(__VA_ARGS__)
#define glPushAttrib(...) TUTORIAL_GL(glPushAttrib)(__VA_ARGS__)
#define glPushClientAttrib(...) TUTORIAL_GL(glPushClientAttrib)(__VA_ARGS__)
#define glPushMatrix(...) TUTORIAL_GL(glPushMatrix)(__VA_ARGS__)
#define glPushName(...) TUTORIAL_GL(glPushName)(__VA_ARGS__)
#define glRasterPos2d(...) TUTORIAL_GL(glRasterPos2d)(__VA_ARGS__)
#define glRasterPos2dv(...) TUTORIAL_GL(glRasterPos2dv)(__VA_ARGS__)
#define glRasterPos2f(...) TUTORIAL_GL(glRasterPos2f)(__VA_ARGS__)
#define glRasterPos2fv(...) TUTORIAL_GL(glRasterPos2fv)(__VA_ARGS__)
#define glRasterPos2i(...) TUTORIAL_GL(glRasterPos2i)(__VA_ARGS__)
#define glRasterPos2iv(...) TUTORIAL_GL(glRasterPos2iv)(__VA_ARGS__)
#define glRasterPos2s(...) TUTORIAL_GL(glRasterPos2s)(__VA_ARGS__)
#define glRasterPos2sv(...) TUTORIAL_GL(glRasterPos2sv)(__VA_ARGS__)
#define glRasterPos3d(...) TUTORIAL_GL(glRasterPos3d)(__VA_ARGS__)
#define glRasterPos3dv(...) TUTORIAL_GL(glRasterPos3dv)(__VA_ARGS__)
#define glRasterPos3f(...) TUTORIAL_GL(glRasterPos3f)(__VA_ARGS__)
#define glRasterPos3fv(...) TUTORIAL_GL(glRasterPos3fv)(__VA_ARGS__)
#define glRasterPos3i(...) TUTORIAL_GL(glRasterPos3i)(__VA_ARGS__)
#define glRasterPos3iv(...) TUTORIAL_GL(glRasterPos3iv)(__VA_ARGS__)
#define glRasterPos3s(...) TUTORIAL_GL(glRasterPos3s)(__VA_ARGS__)
#define glRasterPos3sv(...) TUTORIAL_GL(glRasterPos3sv)(__VA_ARGS__)
#define glRasterPos4d(...) TUTORIAL_GL(glRasterPos4d)(__VA_ARGS__)
#define glRasterPos4dv(...) TUTORIAL_GL(glRasterPos4dv)(__VA_ARGS__)
#define glRasterPos4f(...) TUTORIAL_GL(glRasterPos4f)(__VA_ARGS__)
#define glRasterPos4fv(...) TUTORIAL_GL(glRasterPos4fv)(__VA_ARGS__)
#define glRasterPos4i(...) TUTORIAL_GL(glRasterPos4i)(__VA_ARGS__)
#define glRasterPos4iv(...) TUTORIAL_GL(glRasterPos4iv)(__VA_ARGS__)
#define glRasterPos4s(...) TUTORIAL_GL(glRasterPos4s)(__VA_ARGS__)
#define glRasterPos4sv(...) TUTORIAL_GL(glRasterPos4sv)(__VA_ARGS__)
#define glReadBuffer(...) TUTORIAL_GL(glReadBuffer)(__VA_ARGS__)
#define glReadPixels(...) TUTORIAL_GL(glReadPixels)(__VA_ARGS__)
#define glRectd(...) TUTORIAL_GL(glRectd)(__VA_ARGS__)
#define glRectdv(...) TUTORIAL_GL(glRectdv)(__VA_ARGS__)
#define glRectf(...) TUTORIAL_GL(glRectf)(__VA_ARGS__)
#define glRectfv(...) TUTORIAL_GL(glRectfv)(__VA_ARGS__)
#define glRecti(...) TUTORIAL_GL(glRecti)(__VA_ARGS__)
#define glRectiv(...) TUTORIAL_GL(glRectiv)(__VA_ARGS__)
#define glRects(...) TUTORIAL_GL(glRects)(__VA_ARGS__)
#define glRectsv(...) TUTORIAL_GL(glRectsv)(__VA_ARGS__)
#define glRenderMode(...) TUTORIAL_GL(glRenderMode)(__VA_ARGS__)
#define glRotated(...) TUTORIAL_GL(glRotated)(__VA_ARGS__)
#define glRotatef(...) TUTORIAL_GL(glRotatef)(__VA_ARGS__)
#define glScaled(...) TUTORIAL_GL(glScaled)(__VA_ARGS__)
#define glScalef(...) TUTORIAL_GL(glScalef)(__VA_ARGS__)
#define glScissor(...) TUTORIAL_GL(glScissor)(__VA_ARGS__)
#define glSelectBuffer(...) TUTORIAL_GL(glSelectBuffer)(__VA_ARGS__)
#define glShadeModel(...) TUTORIAL_GL(glShadeModel)(__VA_ARGS__)
#define glStencilFunc(...) TUTORIAL_GL(glStencilFunc)(__VA_ARGS__)
#define glStencilMask(...) TUTORIAL_GL(glStencilMask)(__VA_ARGS__)
#define glStencilOp(...) TUTORIAL_GL(glStencilOp)(__VA_ARGS__)
#define glTexCoord1d(...) TUTORIAL_GL(glTexCoord1d)(__VA_ARGS__)
#define glTexCoord1dv(...) TUTORIAL_GL(glTexCoord1dv)(__VA_ARGS__)
#define glTexCoord1f(...) TUTORIAL_GL(glTexCoord1f)(__VA_ARGS__)
#define glTexCoord1fv(...) TUTORIAL_GL(glTexCoord1fv)(__VA_ARGS__)
#define glTexCoord1i(...) TUTORIAL_GL(glTexCoord1i)(__VA_ARGS__)
#define glTexCoord1iv(...) TUTORIAL_GL(glTexCoord1iv)(__VA_ARGS__)
#define glTexCoord1s(...) TUTORIAL_GL(glTexCoord1s)(__VA_ARGS__)
#define glTexCoord1sv(...) TUTORIAL_GL(glTexCoord1sv)(__VA_ARGS__)
#define glTexCoord2d(...) TUTORIAL_GL(glTexCoord2d)(__VA_ARGS__)
#define glTexCoord2dv(...) TUTORIAL_GL(glTexCoord2dv)(__VA_ARGS__)
#define glTexCoord2f(...) TUTORIAL_GL(glTexCoord2f)(__VA_ARGS__)
#define glTexCoord2fv(...) TUTORIAL_GL(glTexCoord2fv)(__VA_ARGS__)
#define glTexCoord2i(...) TUTORIAL_GL(glTexCoord2i)(__VA_ARGS__)
#define glTexCoord2iv(...) TUTORIAL_GL(glTexCoord2iv)(__VA_ARGS__)
#define glTexCoord2s(...) TUTORIAL_GL(glTexCoord2s)(__VA_ARGS__)
#define glTexCoord2sv(...) TUTORIAL_GL(glTexCoord2sv)(__VA_ARGS__)
#define glTexCoord3d(...) TUTORIAL_GL(glTexCoord3d)(__VA_ARGS__)
#define glTexCoord3dv(...) TUTORIAL_GL(glTexCoord3dv)(__VA_ARGS__)
#define glTexCoord3f(...) TUTORIAL_GL(glTexCoord3f)(__VA_ARGS__)
#define glTexCoord3fv(...) TUTORIAL_GL(glTexCoord3fv)(__VA_ARGS__)
#define glTexCoord3i(...) TUTORIAL_GL(glTexCoord3i)(__VA_ARGS__)
#define glTexCoord3iv(...) TUTORIAL_GL(glTexCoord3iv)(__VA_ARGS__)
#define glTexCoord3s(...) TUTORIAL_GL(glTexCoord3s)(__VA_ARGS__)
#define glTexCoord3sv(...) TUTORIAL_GL(glTexCoord3sv)(__VA_ARGS__)
#define glTexCoord4d(...) TUTORIAL_GL(glTexCoord4d)(__VA_ARGS__)
#define glTexCoord4dv(...) TUTORIAL_GL(glTexCoord4dv)(__VA_ARGS__)
#define glTexCoord4f(...) TUTORIAL_GL(glTexCoord4f)(__VA_ARGS__)
#define glTexCoord4fv(...) TUTORIAL_GL(glTexCoord4fv)(__VA_ARGS__)
#define glTexCoord4i(...) TUTORIAL_GL(glTexCoord4i)(__VA_ARGS__)
#define glTexCoord4iv(...) TUTORIAL_GL(glTexCoord4iv)(__VA_ARGS__)
#define glTexCoord4s(...) TUTORIAL_GL(glTexCoord4s)(__VA_ARGS__)
#define glTexCoord4sv(...) TUTORIAL_GL(glTexCoord4sv)(__VA_ARGS__)
#define glTexCoordPointer(...) TUTORIAL_GL(glTexCoordPointer)(__VA_ARGS__)
#define glTexEnvf(...) TUTORIAL_GL(glTexEnvf)(__VA_ARGS__)
#define glTexEnvfv(...) TUTORIAL_GL(glTexEnvfv)(__VA_ARGS__)
#define glTexEnvi(...) TUTORIAL_GL(glTexEnvi)(__VA_ARGS__)
#define glTexEnviv(...) TUTORIAL_GL(glTexEnviv)(__VA_ARGS__)
#define glTexGend(...) TUTORIAL_GL(glTexGend)(__VA_ARGS__)
#define glTexGendv(...) TUTORIAL_GL(glTexGendv)(__VA_ARGS__)
#define glTexGenf(...) TUTORIAL_GL(glTexGenf)(__VA_ARGS__)
#define glTexGenfv(...) TUTORIAL_GL(glTexGenfv)(__VA_ARGS__)
#define glTexGeni(...) TUTORIAL_GL(glTexGeni)(__VA_ARGS__)
#define glTexGeniv(...) TUTORIAL_GL(glTexGeniv)(__VA_ARGS__)
#define glTexImage1D(...) TUTORIAL_GL(glTexImage1D)(__VA_ARGS__)
#define glTexImage2D(...) TUTORIAL_GL(glTexImage2D)(__VA_ARGS__)
#define glTexParameterf(...) TUTORIAL_GL(glTexParameterf)(__VA_ARGS__)
#define glTexParameterfv(...) TUTORIAL_GL(glTexParameterfv)(__VA_ARGS__)
#define glTexParameteri(...) TUTORIAL_GL(glTexParameteri)(__VA_ARGS__)
#define glTexParameteriv(...) TUTORIAL_GL(glTexParameteriv)(__VA_ARGS__)
#define glTexSubImage1D(...) TUTORIAL_GL(glTexSubImage1D)(__VA_ARGS__)
#define glTexSubImage2D(...) TUTORIAL_GL(glTexSubImage2D)(__VA_ARGS__)
#define glTranslated(...) TUTORIAL_GL(glTranslated)(__VA_ARGS__)
#define glTranslatef(...) TUTORIAL_GL(glTranslatef)(__VA_ARGS__)
#define glVertex2d(...) TUTORIAL_GL(glVertex2d)(__VA_ARGS__)
#define glVertex2dv(...) TUTORIAL_GL(glVertex2dv)(__VA_ARGS__)
#define glVertex2f(...) TUTORIAL_GL(glVertex2f)(__VA_ARGS__)
#define glVertex2fv(...) TUTORIAL_GL(glVertex2fv)(__VA_ARGS__)
#define glVertex2i(...) TUTORIAL_GL(glVertex2i)(__VA_ARGS__)
#define glVertex2iv(...) TUTORIAL_GL(glVertex2iv)(__VA_ARGS__)
#define glVertex2s(...) TUTORIAL_GL(glVertex2s)(__VA_ARGS__)
#define glVertex2sv(...) TUTORIAL_GL(glVertex2sv)(__VA_ARGS__)
#define glVertex3d(...) TUTORIAL_GL(glVertex3d)(__VA_ARGS__)
#define glVertex3dv(...) TUTORIAL_GL(glVertex3dv)(__VA_ARGS__)
#define glVertex3f(...) TUTORIAL_GL(glVertex3f)(__VA_ARGS__)
#define glVertex3fv(...) TUTORIAL_GL(glVertex3fv)(__VA_ARGS__)
#define glVertex3i(...) TUTORIAL_GL(glVertex3i)(__VA_ARGS__)
#define glVertex3iv(...) TUTORIAL_GL(glVertex3iv)(__VA_ARGS__)
#define glVertex3s(...) TUTORIAL_GL(glVertex3s)(__VA_ARGS__)
#define glVertex3sv(...) TUTORIAL_GL(glVertex3sv)(__VA_ARGS__)
#define glVertex4d(...) TUTORIAL_GL(glVertex4d)(__VA_ARGS__)
#define glVertex4dv(...) TUTORIAL_GL(glVertex4dv)(__VA_ARGS__)
#define glVertex4f(...) TUTORIAL_GL(glVertex4f)(__VA_ARGS__)
#define glVertex4fv(...) TUTORIAL_GL(glVertex4fv)(__VA_ARGS__)
#define glVertex4i(...) TUTORIAL_GL(glVertex4i)(__VA_ARGS__)
#define glVertex4iv(...) TUTORIAL_GL(glVertex4iv)(__VA_ARGS__)
#define glVertex4s(...) TUTORIAL_GL(glVertex4s)(__VA_ARGS__)
#define glVertex4sv(...) TUTORIAL_GL(glVertex4sv)(__VA_ARGS__)
#define glVertexPointer(...) TUTORIAL_GL(glVertexPointer)(__VA_ARGS__)
#define glViewport(...) TUTORIAL_GL(glViewport)(__VA_ARGS__)
#endif
