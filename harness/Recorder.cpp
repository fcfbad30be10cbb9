// The recorder behind Recorder.h: while a tool examines a frame (Examine.h), each call the scene
// makes is checked as it goes, with the GL state it runs in, and what the calls prove becomes a
// finding at the scene's line. Outside such a frame a call costs one test of a flag.
//
// Inside glBegin/glEnd the state cannot be read (glGet and glGetError are errors there), so the
// state a primitive is drawn with is read at its glBegin, and what may change before its glEnd
// (the colour, the vertices) is followed from the calls themselves.
#include "Contract.h"
#include "Examine.h"
#define TUTORIAL_RECORDER_ITSELF // the types and entries alone, none of the scene's macros
#include "Recorder.h"

#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace TutorialRecorder
{

namespace
{

using TMatrix = std::array<double, 16>; // column by column, as GL keeps it

// The state a primitive is drawn with, read at its start.
struct TState
{
    TMatrix ModelView{}, Projection{};
    GLfloat Colour[4] = {1, 1, 1, 1};
    GLint Viewport[4] = {0, 0, 1, 1};
    GLboolean Lighting = 0, Texture1D = 0, Texture2D = 0, Fog = 0, Blend = 0, LogicOp = 0;
    GLboolean Cull = 0, DepthTest = 0;
    GLint CullMode = GL_BACK, FrontFace = GL_CCW, DepthFunc = GL_LESS;
    GLint PolygonMode[2] = {GL_FILL, GL_FILL};
};

struct TVertex
{
    double Clip[4];
    double Eye[3];
    float Colour[3];
    bool ColourKnown;
};

struct TPrimitive
{
    TSite Site{nullptr, 0};
    std::string Call;
    GLenum Mode = GL_POLYGON;
    TState State;
    std::vector<TVertex> Vertices;
    bool Unknown = false; // given vertices or colours the recorder does not follow
};

struct TFrame
{
    bool On = false;
    int Calls = 0;
    std::vector<std::string> Names; // of the calls made, each once
    bool DrewOtherwise = false;     // through arrays, lists or pixels, which are not followed
    int Primitives = 0;
    bool Inside = false;
    TPrimitive Open;
    float Colour[3] = {1, 1, 1};
    bool ColourKnown = true;
    GLint MatrixMode = GL_MODELVIEW;
    std::map<GLint, std::vector<TSite>> Pushes;
    TMatrix ProjectionAtStart{};
    TSite ProjectionSite{nullptr, 0};
    bool ColourCleared = false, DepthCleared = false;
    GLfloat ClearColour[4] = {0, 0, 0, 0};
    std::vector<TPrimitive> SinceClear; // shown, drawn after the last clear of the colour
    bool DepthTold = false;
    bool DebugWas = false;              // GL_DEBUG_OUTPUT as the scene had it, on while examining
    std::vector<std::string> NoUniform; // glGetUniformLocation calls that found none, each once
    GLenum Pending = GL_NO_ERROR;       // an error read in the scene's place, until it reads it
    std::vector<std::string> Findings;
    // The call being made.
    TSite Site{nullptr, 0};
    std::string Name;
    std::vector<TArg> Args;
    bool Modern = false; // an entry of GLEntries.h
    double Result = 0;
    bool CalledInside = false;
};

// What the recorder asks OpenGL past 1.1 with, found at Start; null where the GL lacks it.
struct TQueries
{
    PFNGLGETPROGRAMIVPROC GetProgramiv = nullptr;
    PFNGLGETACTIVEATTRIBPROC GetActiveAttrib = nullptr;
    PFNGLGETATTRIBLOCATIONPROC GetAttribLocation = nullptr;
    PFNGLGETVERTEXATTRIBIVPROC GetVertexAttribiv = nullptr;
    PFNGLBINDPROGRAMPIPELINEPROC BindProgramPipeline = nullptr; // only asked whether it exists
    PFNGLGETDEBUGMESSAGELOGPROC GetDebugMessageLog = nullptr;
};

TFrame Frame;
TQueries Queries;
TSite DrawSceneSite{nullptr, 0};

bool Starts(const std::string& Text, const char* Prefix)
{
    return Text.compare(0, std::strlen(Prefix), Prefix) == 0;
}

// A number as a person reads it: at most two decimals, no trailing zeros.
std::string Number(double Value)
{
    char Text[32];
    std::snprintf(Text, sizeof Text, std::fabs(Value) < 1e6 ? "%.2f" : "%.3g", Value);
    std::string Out = Text;
    if (Out.find('.') != std::string::npos && Out.find('e') == std::string::npos)
    {
        Out.erase(Out.find_last_not_of('0') + 1);
        if (Out.back() == '.')
            Out.pop_back();
    }
    return Out == "-0" ? "0" : Out;
}

const char* EnumName(unsigned Value, bool Mode)
{
    static const char* const Modes[] = {
        "GL_POINTS",         "GL_LINES",        "GL_LINE_LOOP", "GL_LINE_STRIP", "GL_TRIANGLES",
        "GL_TRIANGLE_STRIP", "GL_TRIANGLE_FAN", "GL_QUADS",     "GL_QUAD_STRIP", "GL_POLYGON"};
    if (Mode)
        return Value < 10 ? Modes[Value] : nullptr;
    static const std::pair<unsigned, const char*> Names[] = {
        {GL_MODELVIEW, "GL_MODELVIEW"},
        {GL_PROJECTION, "GL_PROJECTION"},
        {GL_TEXTURE, "GL_TEXTURE"},
        {GL_DEPTH_TEST, "GL_DEPTH_TEST"},
        {GL_CULL_FACE, "GL_CULL_FACE"},
        {GL_LIGHTING, "GL_LIGHTING"},
        {GL_BLEND, "GL_BLEND"},
        {GL_TEXTURE_2D, "GL_TEXTURE_2D"},
        {GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"}};
    for (const auto& [Known, Name] : Names)
        if (Known == Value)
            return Name;
    return nullptr;
}

// The GL names of the numbers a call past OpenGL 1.1 most often takes. GLenum and GLuint are one
// type, so an object's name could read as one of these; such numbers are far above the names
// GL hands out.
const char* ModernName(unsigned Value)
{
    static const std::pair<unsigned, const char*> Names[] = {
        {GL_UNSIGNED_BYTE, "GL_UNSIGNED_BYTE"},
        {GL_UNSIGNED_SHORT, "GL_UNSIGNED_SHORT"},
        {GL_INT, "GL_INT"},
        {GL_UNSIGNED_INT, "GL_UNSIGNED_INT"},
        {GL_FLOAT, "GL_FLOAT"},
        {GL_DOUBLE, "GL_DOUBLE"},
        {GL_TEXTURE0, "GL_TEXTURE0"},
        {GL_ARRAY_BUFFER, "GL_ARRAY_BUFFER"},
        {GL_ELEMENT_ARRAY_BUFFER, "GL_ELEMENT_ARRAY_BUFFER"},
        {GL_UNIFORM_BUFFER, "GL_UNIFORM_BUFFER"},
        {GL_STREAM_DRAW, "GL_STREAM_DRAW"},
        {GL_STATIC_DRAW, "GL_STATIC_DRAW"},
        {GL_DYNAMIC_DRAW, "GL_DYNAMIC_DRAW"},
        {GL_FRAGMENT_SHADER, "GL_FRAGMENT_SHADER"},
        {GL_VERTEX_SHADER, "GL_VERTEX_SHADER"},
        {GL_GEOMETRY_SHADER, "GL_GEOMETRY_SHADER"},
        {GL_COMPILE_STATUS, "GL_COMPILE_STATUS"},
        {GL_LINK_STATUS, "GL_LINK_STATUS"},
        {GL_INFO_LOG_LENGTH, "GL_INFO_LOG_LENGTH"},
        {GL_FRAMEBUFFER, "GL_FRAMEBUFFER"},
        {GL_RENDERBUFFER, "GL_RENDERBUFFER"}};
    for (const auto& [Known, Name] : Names)
        if (Known == Value)
            return Name;
    return nullptr;
}

// An entry that draws from arrays: its first number is a primitive's mode.
bool DrawsArrays(const std::string& Name)
{
    return (Starts(Name, "glDraw") && !Starts(Name, "glDrawBuffer") && Name != "glDrawPixels") ||
           Starts(Name, "glMultiDraw");
}

// A name the call takes up to its NUL, quoted, at most so long. Only entries whose name GL itself
// reads to its NUL (glGetUniformLocation, ...; never those given a length, glObjectLabel, ...).
std::string Quoted(const std::string& Entry, const char* Text)
{
    if (!Text)
        return "NULL";
    if (Entry.find("Location") == std::string::npos && Entry.find("Index") == std::string::npos)
        return "text";
    std::string Out = "\"";
    for (std::size_t I = 0; I < 40 && Text[I]; ++I)
        Out += std::isprint(static_cast<unsigned char>(Text[I])) ? Text[I] : '?';
    return Out + (std::strlen(Text) > 40 ? "...\"" : "\"");
}

// The call as the scene wrote it, its arguments as they arrived; for an entry past OpenGL 1.1 and
// those that draw arrays, with the names of the numbers it takes.
std::string CallText(const std::string& Name, const std::vector<TArg>& Args, bool Modern = false)
{
    const bool Named = Modern || DrawsArrays(Name);
    std::string Out = Name + "(";
    for (std::size_t I = 0; I < Args.size(); ++I)
    {
        const TArg& Arg = Args[I];
        char Text[32];
        if (Arg.Type == 'f' || Arg.Type == 'd')
            std::snprintf(Text, sizeof Text, "%g", Arg.Value);
        else if (Arg.Type == 'z')
        {
            Out += (I ? ", " : "") + Quoted(Name, static_cast<const char*>(Arg.Pointer));
            continue;
        }
        else if (Arg.Type == 'I')
        {
            const auto Value = static_cast<unsigned>(Arg.Value);
            const char* Known = Name == "glBegin" || (I == 0 && DrawsArrays(Name))
                                    ? EnumName(Value, true)
                                    : EnumName(Value, false);
            if (!Known && Named && Value >= 0x100)
                Known = ModernName(Value);
            if (Known)
                std::snprintf(Text, sizeof Text, "%s", Known);
            else
                std::snprintf(Text, sizeof Text, Value >= 0x100 ? "0x%X" : "%u", Value);
        }
        else if (Named && Arg.Type == 'p' && Arg.Pointer &&
                 reinterpret_cast<std::uintptr_t>(Arg.Pointer) < 0x10000)
            std::snprintf(Text, sizeof Text, "%u", // an offset into a buffer
                          static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(Arg.Pointer)));
        else if (Arg.Pointer || Arg.Type == 'p' || (Arg.Type & 0x80))
            std::snprintf(Text, sizeof Text, "%s", Arg.Pointer ? "array" : "NULL");
        else
            std::snprintf(Text, sizeof Text, "%.0f", Arg.Value);
        Out += (I ? ", " : "") + std::string(Text);
    }
    return Out + ")";
}

std::string Colour(const float* C)
{
    return "(" + Number(C[0]) + ", " + Number(C[1]) + ", " + Number(C[2]) + ")";
}

void Find(const TSite& Site, const char* Kind, const std::string& Text)
{
    const TSite& At = Site.File ? Site : DrawSceneSite;
    const std::string Line = Contract::FindingLine(At.File ? At.File : "?", At.Line, Kind, Text);
    if (std::find(Frame.Findings.begin(), Frame.Findings.end(), Line) == Frame.Findings.end())
        Frame.Findings.push_back(Line);
}

std::string ErrorText(const std::string& Call, const std::string& Name, GLenum Error)
{
    switch (Error)
    {
        case GL_INVALID_ENUM:
            return Call + ": GL_INVALID_ENUM, " +
                   (Name == "glEnable" || Name == "glDisable" || Name == "glIsEnabled"
                        ? "not a capability"
                        : "a name it does not take");
        case GL_INVALID_VALUE:
            return Call + ": GL_INVALID_VALUE, a number out of its range";
        case GL_INVALID_OPERATION:
            return Call + ": GL_INVALID_OPERATION, " +
                   (Name == "glEnd" ? "no glBegin before it" : "not allowed in this state");
        case GL_STACK_OVERFLOW:
            return Call + ": GL_STACK_OVERFLOW, the stack is full";
        case GL_STACK_UNDERFLOW:
            return Call + ": GL_STACK_UNDERFLOW, nothing left on the stack to pop";
        case GL_OUT_OF_MEMORY:
            return Call + ": GL_OUT_OF_MEMORY";
        default:
            char Text[16];
            std::snprintf(Text, sizeof Text, "0x%X", Error);
            return Call + ": GL error " + Text;
    }
}

// Reads and clears every error GL holds; the first, or GL_NO_ERROR.
GLenum Drain()
{
    GLenum First = GL_NO_ERROR;
    for (int I = 0; I < 16; ++I)
    {
        const GLenum Error = ::glGetError();
        if (Error == GL_NO_ERROR)
            break;
        if (First == GL_NO_ERROR)
            First = Error;
    }
    return First;
}

// Empties GL's message log (KHR_debug); what the last error said there, without GL's own
// "GL_INVALID_ENUM in " before it, or nothing.
std::string DebugMessage()
{
    std::string Last;
    if (!Queries.GetDebugMessageLog)
        return Last;
    for (int I = 0; I < 64; ++I)
    {
        GLchar Text[4096]; // a message longer than the buffer would stay in the log
        GLenum Source = 0, Type = 0, Severity = 0;
        GLuint Id = 0;
        GLsizei Length = 0;
        if (Queries.GetDebugMessageLog(1, sizeof Text, &Source, &Type, &Id, &Severity, &Length,
                                       Text) == 0)
            break;
        if (Type == GL_DEBUG_TYPE_ERROR)
            Last.assign(Text, strnlen(Text, sizeof Text));
    }
    const std::size_t In = Last.find(" in ");
    if (Starts(Last, "GL_") && In != std::string::npos && In < 32)
        Last.erase(0, In + 4);
    while (!Last.empty() && std::isspace(static_cast<unsigned char>(Last.back())))
        Last.pop_back();
    return Last;
}

// GL's message about a call, less the call's name where it only repeats it: Mesa writes
// "glBindBufferARB(target 0x1234)" for glBindBuffer, "glUniform(program not linked)" for
// glUniform4f, and a bare name when it has nothing more to say.
std::string Detail(const std::string& Name, const std::string& Said)
{
    std::size_t End = 0;
    while (End < Said.size() && std::isalnum(static_cast<unsigned char>(Said[End])))
        ++End;
    const std::string Entry = Said.substr(0, End);
    if (!Starts(Entry, "gl") || (!Starts(Name, Entry.c_str()) && !Starts(Entry, Name.c_str())))
        return Said;
    std::string Rest = Said.substr(End);
    if (Rest.size() >= 2 && Rest.front() == '(' && Rest.back() == ')')
        Rest = Rest.substr(1, Rest.size() - 2);
    return Rest;
}

TMatrix Matrix(GLenum Which)
{
    TMatrix M{};
    ::glGetDoublev(Which, M.data());
    return M;
}

TState ReadState()
{
    TState S;
    S.ModelView = Matrix(GL_MODELVIEW_MATRIX);
    S.Projection = Matrix(GL_PROJECTION_MATRIX);
    ::glGetFloatv(GL_CURRENT_COLOR, S.Colour);
    ::glGetIntegerv(GL_VIEWPORT, S.Viewport);
    S.Lighting = ::glIsEnabled(GL_LIGHTING);
    S.Texture1D = ::glIsEnabled(GL_TEXTURE_1D);
    S.Texture2D = ::glIsEnabled(GL_TEXTURE_2D);
    S.Fog = ::glIsEnabled(GL_FOG);
    S.Blend = ::glIsEnabled(GL_BLEND);
    S.LogicOp = ::glIsEnabled(GL_COLOR_LOGIC_OP);
    S.Cull = ::glIsEnabled(GL_CULL_FACE);
    S.DepthTest = ::glIsEnabled(GL_DEPTH_TEST);
    ::glGetIntegerv(GL_CULL_FACE_MODE, &S.CullMode);
    ::glGetIntegerv(GL_FRONT_FACE, &S.FrontFace);
    ::glGetIntegerv(GL_DEPTH_FUNC, &S.DepthFunc);
    ::glGetIntegerv(GL_POLYGON_MODE, S.PolygonMode);
    return S;
}

// The I-th of Count numbers an entry was given, as values or through one pointer.
double Element(const std::vector<TArg>& Args, int I)
{
    if (Args.empty() || !(Args[0].Type & 0x80))
        return I < static_cast<int>(Args.size()) ? Args[I].Value : 0;
    const void* P = Args[0].Pointer;
    switch (Args[0].Type & 0x7F)
    {
        case 'b':
            return static_cast<const GLbyte*>(P)[I];
        case 'B':
            return static_cast<const GLubyte*>(P)[I];
        case 's':
            return static_cast<const GLshort*>(P)[I];
        case 'S':
            return static_cast<const GLushort*>(P)[I];
        case 'i':
            return static_cast<const GLint*>(P)[I];
        case 'I':
            return static_cast<const GLuint*>(P)[I];
        case 'f':
            return static_cast<const GLfloat*>(P)[I];
        default:
            return static_cast<const GLdouble*>(P)[I];
    }
}

// glColor3ub and the like: a channel as GL takes it, 0 to 1.
double Channel(double Value, char Type)
{
    switch (Type & 0x7F)
    {
        case 'B':
            return Value / 255;
        case 'S':
            return Value / 65535;
        case 'I':
            return Value / 4294967295.0;
        case 'b':
            return (2 * Value + 1) / 255;
        case 's':
            return (2 * Value + 1) / 65535;
        case 'i':
            return (2 * Value + 1) / 4294967295.0;
        default:
            return Value;
    }
}

void SetColour(const std::string& Name)
{
    // glColor3f, glColor4ubv, ...: the count follows the name, then the type.
    const char Count = Name.size() > 7 ? Name[7] : '0';
    if ((Count != '3' && Count != '4') || Frame.Args.empty())
    {
        Frame.ColourKnown = false;
        return;
    }
    for (int I = 0; I < 3; ++I)
        Frame.Colour[I] = static_cast<float>(
            std::clamp(Channel(Element(Frame.Args, I), Frame.Args[0].Type), 0.0, 1.0));
    Frame.ColourKnown = true;
}

TVertex Transform(const TState& S, double X, double Y, double Z, double W)
{
    TVertex V{};
    const TMatrix& M = S.ModelView;
    double Eye[4];
    for (int R = 0; R < 4; ++R)
        Eye[R] = M[R] * X + M[4 + R] * Y + M[8 + R] * Z + M[12 + R] * W;
    const TMatrix& P = S.Projection;
    for (int R = 0; R < 4; ++R)
        V.Clip[R] = P[R] * Eye[0] + P[4 + R] * Eye[1] + P[8 + R] * Eye[2] + P[12 + R] * Eye[3];
    for (int R = 0; R < 3; ++R)
        V.Eye[R] = Eye[3] != 0 ? Eye[R] / Eye[3] : Eye[R];
    std::copy(Frame.Colour, Frame.Colour + 3, V.Colour);
    V.ColourKnown = Frame.ColourKnown;
    return V;
}

void AddVertex(const std::string& Name)
{
    const int Count = Name.size() > 8 ? Name[8] - '0' : 0; // glVertex3f: 3
    if (Count < 2 || Count > 4)
    {
        Frame.Open.Unknown = true;
        return;
    }
    const double X = Element(Frame.Args, 0), Y = Element(Frame.Args, 1);
    const double Z = Count > 2 ? Element(Frame.Args, 2) : 0,
                 W = Count > 3 ? Element(Frame.Args, 3) : 1;
    Frame.Open.Vertices.push_back(Transform(Frame.Open.State, X, Y, Z, W));
}

// The view's extent along one axis of eye space, when the projection maps that axis alone.
bool Extent(const TMatrix& P, int Axis, double& Low, double& High)
{
    for (int Column = 0; Column < 4; ++Column)
        if (Column != Axis && Column != 3 && P[Column * 4 + Axis] != 0)
            return false;
    if (P[3] != 0 || P[7] != 0 || P[11] != 0 || P[15] != 1 || P[Axis * 5] == 0)
        return false;
    Low = (-1 - P[12 + Axis]) / P[Axis * 5];
    High = (1 - P[12 + Axis]) / P[Axis * 5];
    if (Low > High)
        std::swap(Low, High);
    return true;
}

// True, having said so, when every vertex lies beyond one plane of the view.
bool OutsideView(const TPrimitive& P)
{
    int Plane = -1;
    for (int Axis = 0; Axis < 3 && Plane < 0; ++Axis)
        for (int Side = -1; Side <= 1 && Plane < 0; Side += 2)
            if (std::all_of(P.Vertices.begin(), P.Vertices.end(),
                            [&](const TVertex& V) { return Side * V.Clip[Axis] > V.Clip[3]; }))
                Plane = Axis;
    if (Plane < 0)
        return false;
    double Low[3], High[3];
    for (int Axis = 0; Axis < 3; ++Axis)
    {
        Low[Axis] = High[Axis] = P.Vertices[0].Eye[Axis];
        for (const TVertex& V : P.Vertices)
            Low[Axis] = std::min(Low[Axis], V.Eye[Axis]),
            High[Axis] = std::max(High[Axis], V.Eye[Axis]);
    }
    const char* const Names[] = {"x", "y", "z"};
    double ViewLow[3], ViewHigh[3];
    bool Ortho = true;
    for (int Axis = 0; Axis < 3; ++Axis)
        Ortho = Extent(P.State.Projection, Axis, ViewLow[Axis], ViewHigh[Axis]) && Ortho;
    std::string Lies, Shows;
    for (int Axis = 0; Axis < 3; ++Axis)
    {
        if (Axis == 2 && Plane != 2)
            break;
        if (!Lies.empty())
            Lies += ", ", Shows += ", ";
        Lies += std::string(Names[Axis]) + " " + Number(Low[Axis]) + ".." + Number(High[Axis]);
        Shows +=
            std::string(Names[Axis]) + " " + Number(ViewLow[Axis]) + ".." + Number(ViewHigh[Axis]);
    }
    Find(P.Site, "outside-view",
         P.Call + " lies at " + Lies + "; " +
             (Ortho ? "the view shows " + Shows
                    : "that is wholly outside the view of this projection"));
    return true;
}

bool Polygonal(GLenum Mode)
{
    return Mode >= GL_TRIANGLES && Mode <= GL_POLYGON;
}

// The polygons GL makes of a primitive, as lists of vertex numbers, each in the order that
// decides its facing.
std::vector<std::vector<int>> Polygons(GLenum Mode, int N)
{
    std::vector<std::vector<int>> Out;
    if (Mode == GL_TRIANGLES)
        for (int I = 0; I + 2 < N; I += 3)
            Out.push_back({I, I + 1, I + 2});
    else if (Mode == GL_TRIANGLE_STRIP)
        for (int I = 0; I + 2 < N; ++I)
            Out.push_back(I % 2 ? std::vector<int>{I + 1, I, I + 2}
                                : std::vector<int>{I, I + 1, I + 2});
    else if (Mode == GL_TRIANGLE_FAN)
        for (int I = 1; I + 1 < N; ++I)
            Out.push_back({0, I, I + 1});
    else if (Mode == GL_QUADS)
        for (int I = 0; I + 3 < N; I += 4)
            Out.push_back({I, I + 1, I + 2, I + 3});
    else if (Mode == GL_QUAD_STRIP)
        for (int I = 0; I + 3 < N; I += 2)
            Out.push_back({I, I + 1, I + 3, I + 2});
    else if (Mode == GL_POLYGON && N >= 3)
    {
        Out.emplace_back();
        for (int I = 0; I < N; ++I)
            Out.back().push_back(I);
    }
    return Out;
}

int Needs(GLenum Mode)
{
    static const int Counts[] = {1, 2, 2, 2, 3, 3, 3, 4, 4, 3};
    return Mode < 10 ? Counts[Mode] : 1;
}

// Zero area and culling, for primitives whose every vertex lies in front of the eye.
bool Unseen(const TPrimitive& P)
{
    const int N = static_cast<int>(P.Vertices.size());
    if (!Polygonal(P.Mode))
        return false;
    for (const TVertex& V : P.Vertices)
        if (V.Clip[3] <= 0)
            return false;
    int Flat = 0, Culled = 0, Shown = 0;
    const std::vector<std::vector<int>> Shapes = Polygons(P.Mode, N);
    for (const std::vector<int>& Shape : Shapes)
    {
        double Area = 0; // in pixels, counter-clockwise positive
        for (std::size_t I = 0; I < Shape.size(); ++I)
        {
            const TVertex& A = P.Vertices[Shape[I]];
            const TVertex& B = P.Vertices[Shape[(I + 1) % Shape.size()]];
            const double Ax = A.Clip[0] / A.Clip[3] * P.State.Viewport[2] / 2;
            const double Ay = A.Clip[1] / A.Clip[3] * P.State.Viewport[3] / 2;
            const double Bx = B.Clip[0] / B.Clip[3] * P.State.Viewport[2] / 2;
            const double By = B.Clip[1] / B.Clip[3] * P.State.Viewport[3] / 2;
            Area += (Ax * By - Bx * Ay) / 2;
        }
        const bool Front = (Area > 0) == (P.State.FrontFace == GL_CCW);
        if (std::fabs(Area) < 1e-6)
            ++Flat;
        else if (P.State.Cull &&
                 (P.State.CullMode == GL_FRONT_AND_BACK || (P.State.CullMode == GL_BACK) != Front))
            ++Culled;
        else
            ++Shown;
    }
    const bool Filled = P.State.PolygonMode[0] == GL_FILL && P.State.PolygonMode[1] == GL_FILL;
    if (Shapes.empty() || (Flat == static_cast<int>(Shapes.size()) && Filled))
    {
        Find(P.Site, "zero-area",
             Shapes.empty()
                 ? P.Call + " has " + std::to_string(N) + " vertices; " + EnumName(P.Mode, true) +
                       " draws nothing with fewer than " + std::to_string(Needs(P.Mode))
                 : P.Call + " has no area on the screen: its corners lie on one line");
        return true;
    }
    if (Shown || !Culled || (Flat && !Filled))
        return false;
    Find(P.Site, "culled",
         P.Call + " is culled: its corners run " +
             (P.State.FrontFace == GL_CCW ? "clockwise" : "counter-clockwise") +
             " on the screen, so GL takes it for a back face, and GL_CULL_FACE removes " +
             (P.State.CullMode == GL_BACK ? "back faces" : "the faces it shows"));
    return true;
}

void Finish(TPrimitive& P)
{
    if (!P.Unknown && (P.Vertices.empty() ||
                       (P.Vertices.size() < std::size_t(Needs(P.Mode)) && !Polygonal(P.Mode))))
        return; // nothing at all: no primitive
    ++Frame.Primitives;
    if (P.Unknown)
        Frame.DrewOtherwise = true;
    if (P.Unknown || OutsideView(P) || Unseen(P))
        return;
    if (P.State.DepthTest && P.State.DepthFunc == GL_LESS && !Frame.DepthCleared &&
        !Frame.DepthTold)
    {
        Frame.DepthTold = true;
        Find(P.Site, "depth-stale",
             P.Call + " is depth-tested against what earlier frames left: GL_DEPTH_TEST is on "
                      "and this frame does not clear the depth buffer "
                      "(glClear(GL_DEPTH_BUFFER_BIT))");
    }
    Frame.SinceClear.push_back(P);
}

// Shown only in the colour it is drawn on: every colour known, nothing that changes it on.
bool InClearColour(const TPrimitive& P)
{
    const TState& S = P.State;
    if (S.Lighting || S.Texture1D || S.Texture2D || S.Fog || S.Blend || S.LogicOp)
        return false;
    const auto Byte = [](double C)
    {
        return std::lround(std::clamp(C, 0.0, 1.0) * 255);
    };
    return std::all_of(P.Vertices.begin(), P.Vertices.end(),
                       [&](const TVertex& V)
                       {
                           return V.ColourKnown &&
                                  Byte(V.Colour[0]) == Byte(Frame.ClearColour[0]) &&
                                  Byte(V.Colour[1]) == Byte(Frame.ClearColour[1]) &&
                                  Byte(V.Colour[2]) == Byte(Frame.ClearColour[2]);
                       });
}

// F as the driver has it, or null. Some drivers answer 1, 2, 3 or -1 for a name they lack.
template <class F> void Resolve(F& Function, const char* Name)
{
    const PROC Address = ::wglGetProcAddress(Name);
    const auto Value = reinterpret_cast<std::intptr_t>(Address);
    Function = Value == 0 || Value == 1 || Value == 2 || Value == 3 || Value == -1
                   ? nullptr
                   : reinterpret_cast<F>(reinterpret_cast<void (*)()>(Address));
}

// The program the shaders of a draw come from, 0 for the fixed pipeline (or a GL without
// programs); -1 for a pipeline of separate programs, which the recorder does not look into.
GLint ProgramInUse()
{
    if (!Queries.GetProgramiv)
        return 0;
    GLint Program = 0, Pipeline = 0;
    ::glGetIntegerv(GL_CURRENT_PROGRAM, &Program);
    if (Program == 0 && Queries.BindProgramPipeline)
        ::glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &Pipeline);
    return Pipeline ? -1 : Program;
}

bool ArrayEnabled(GLuint Location)
{
    GLint Enabled = 0;
    Queries.GetVertexAttribiv(Location, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &Enabled);
    return Enabled != 0;
}

// A draw from arrays: with no program, arrays only shaders read; with one, an attribute of the
// program that no array feeds, so that every vertex reads the same value.
void CheckArrays()
{
    if (!Queries.GetProgramiv || !Queries.GetActiveAttrib || !Queries.GetAttribLocation ||
        !Queries.GetVertexAttribiv)
        return;
    const GLint Program = ProgramInUse();
    GLint VertexArray = 0, Attributes = 0;
    ::glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &VertexArray);
    const std::string Call = CallText(Frame.Name, Frame.Args, Frame.Modern);
    if (Program == 0)
    {
        ::glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &Attributes);
        bool Generic = false;
        for (GLint I = 0; I < Attributes && I < 64 && !Generic; ++I)
            Generic = ArrayEnabled(I);
        // Arrays for shaders alone (glVertexAttribPointer), none for the fixed pipeline.
        if (Generic && !::glIsEnabled(GL_VERTEX_ARRAY))
            Find(Frame.Site, "gl-error",
                 Call + " draws with no program in use (glUseProgram before it): GL draws its "
                        "vertex arrays with the fixed pipeline, not with the scene's shaders");
    }
    if (Program <= 0)
        return;
    GLint Linked = 0;
    Queries.GetProgramiv(Program, GL_LINK_STATUS, &Linked);
    Queries.GetProgramiv(Program, GL_ACTIVE_ATTRIBUTES, &Attributes);
    std::string Unfed;
    for (GLint I = 0; Linked && I < Attributes && I < 64; ++I)
    {
        GLchar Name[64] = {};
        GLsizei Length = 0;
        GLint Size = 0;
        GLenum Type = 0;
        Queries.GetActiveAttrib(Program, I, sizeof Name, &Length, &Size, &Type, Name);
        const GLint Location = Queries.GetAttribLocation(Program, Name);
        if (Location < 0 || Starts(Name, "gl_") || ArrayEnabled(Location))
            continue;
        Unfed += std::string(Unfed.empty() ? "" : ", ") + "\"" + Name + "\" (location " +
                 std::to_string(Location) + ")";
    }
    if (Unfed.empty())
        return;
    const bool One = Unfed.find(", ") == std::string::npos;
    Find(Frame.Site, "gl-error",
         Call +
             (VertexArray == 0
                  ? ": no vertex array is bound (glBindVertexArray), so the " +
                        std::string(One ? "program's attribute " : "program's attributes ") +
                        Unfed + (One ? " reads no array" : " read no array")
                  : ": the program's " + std::string(One ? "attribute " : "attributes ") + Unfed +
                        (One ? " has" : " have") +
                        " no array enabled in the bound vertex array "
                        "(glEnableVertexAttribArray)") +
             ": every vertex gets the same value");
}

void CheckDraw()
{
    CheckArrays();
    Drain(); // what the questions raised on a GL without vertex arrays is not the scene's
}

// A uniform written at location -1, which GL ignores without an error.
void CheckUniform(const std::string& Name)
{
    std::size_t At = 0;
    if (Starts(Name, "glProgramUniform"))
        At = 1;
    else if (!Starts(Name, "glUniform") || Starts(Name, "glUniformBlock") ||
             Starts(Name, "glUniformSubroutines"))
        return;
    if (Frame.Args.size() <= At || Frame.Args[At].Type != 'i' || Frame.Args[At].Value != -1)
        return;
    std::string Text = CallText(Name, Frame.Args, true) +
                       " does nothing: location -1 is no uniform, and GL ignores the call "
                       "without an error";
    if (Frame.NoUniform.size() == 1)
        Text += "; " + Frame.NoUniform[0] +
                " gave -1: the program has no active uniform of that name (misspelt, or unused "
                "by its shaders and so removed)";
    Find(Frame.Site, "gl-error", Text);
}

void Outside(const std::string& Name)
{
    if (Name == "glBegin")
    {
        Frame.Open = TPrimitive{Frame.Site,
                                CallText(Name, Frame.Args),
                                static_cast<GLenum>(Frame.Args[0].Value),
                                ReadState(),
                                {}};
        std::copy(Frame.Open.State.Colour, Frame.Open.State.Colour + 3, Frame.Colour);
        Frame.ColourKnown = true;
        Frame.Open.Unknown = ProgramInUse() != 0; // the program's shaders place and colour it
    }
    else if (Starts(Name, "glRect"))
    {
        TPrimitive P{Frame.Site, CallText(Name, Frame.Args), GL_POLYGON, ReadState(), {}};
        P.Unknown = ProgramInUse() != 0;
        std::copy(P.State.Colour, P.State.Colour + 3, Frame.Colour);
        Frame.ColourKnown = true;
        double C[4];
        if (Frame.Args[0].Type & 0x80) // glRectfv(v1, v2)
            for (int I = 0; I < 4; ++I)
                C[I] = Element({Frame.Args[I / 2]}, I % 2);
        else
            for (int I = 0; I < 4; ++I)
                C[I] = Frame.Args[I].Value;
        for (const auto& [X, Y] : {std::pair{C[0], C[1]}, {C[2], C[1]}, {C[2], C[3]}, {C[0], C[3]}})
            P.Vertices.push_back(Transform(P.State, X, Y, 0, 1));
        Finish(P);
    }
    else if (Name == "glClear")
    {
        const auto Mask = static_cast<GLbitfield>(Frame.Args[0].Value);
        if (Mask & GL_COLOR_BUFFER_BIT)
        {
            ::glGetFloatv(GL_COLOR_CLEAR_VALUE, Frame.ClearColour);
            Frame.ColourCleared = true;
            Frame.SinceClear.clear();
        }
        if (Mask & GL_DEPTH_BUFFER_BIT)
            Frame.DepthCleared = true;
    }
    else if (Name == "glPushMatrix")
        Frame.Pushes[Frame.MatrixMode].push_back(Frame.Site);
    else if (Name == "glPopMatrix" && !Frame.Pushes[Frame.MatrixMode].empty())
        Frame.Pushes[Frame.MatrixMode].pop_back();
    else if (DrawsArrays(Name))
    {
        Frame.DrewOtherwise = true;
        CheckDraw();
    }
    else if (Starts(Name, "glCallList") || Name == "glArrayElement" || Name == "glBitmap" ||
             Name == "glDrawPixels" || Name == "glCopyPixels" || Starts(Name, "glEvalMesh"))
        Frame.DrewOtherwise = true;
    else if (Frame.Modern)
        CheckUniform(Name);
    if (Frame.MatrixMode == GL_PROJECTION &&
        (Starts(Name, "glLoad") || Starts(Name, "glMult") || Starts(Name, "glRotate") ||
         Starts(Name, "glTranslate") || Starts(Name, "glScale") || Name == "glOrtho" ||
         Name == "glFrustum" || Name == "glPopMatrix" || Starts(Name, "glu")))
        Frame.ProjectionSite = Frame.Site;
}

// What GL takes between glBegin and glEnd; anything else there is GL_INVALID_OPERATION.
bool AllowedInside(const std::string& Name)
{
    for (const char* Prefix :
         {"glVertex", "glColor", "glIndex", "glNormal", "glMaterial", "glTexCoord", "glEvalCoord",
          "glEvalPoint", "glArrayElement", "glEdgeFlag", "glCallList", "glMultiTexCoord",
          "glSecondaryColor", "glFogCoord"})
        if (Starts(Name, Prefix))
        {
            // The arrays' set-up and the masks are state, which GL does not take there.
            for (const char* Part : {"Pointer", "Mask", "Format", "Binding", "Divisor"})
                if (Name.find(Part) != std::string::npos)
                    return false;
            return Name != "glColorMaterial" && !Starts(Name, "glVertexArray");
        }
    return Name == "glEnd";
}

void Record(const TSite& Site, const char* Name, const TArg* Args, int Count)
{
    ++Frame.Calls;
    Frame.Site = Site;
    Frame.Name = Name;
    Frame.Args.assign(Args, Args + Count);
    if (std::find(Frame.Names.begin(), Frame.Names.end(), Frame.Name) == Frame.Names.end())
        Frame.Names.push_back(Frame.Name);
    Frame.CalledInside = Frame.Inside;
    Frame.Result = 0;
    if (!Frame.Inside)
    {
        // An error left by GL code the recorder does not see (the frame's own, a function the
        // scene holds the address of) is not this call's; the scene's glGetError still reads it.
        const GLenum Before = Drain();
        if (Before != GL_NO_ERROR && Frame.Pending == GL_NO_ERROR)
            Frame.Pending = Before;
        // GL's log keeps few messages and drops the rest: each call starts with it empty.
        DebugMessage();
        Outside(Frame.Name);
        return;
    }
    if (!AllowedInside(Frame.Name))
        Find(Site, "gl-error",
             CallText(Frame.Name, Frame.Args) +
                 ": GL_INVALID_OPERATION, not allowed between glBegin (line " +
                 std::to_string(Frame.Open.Site.Line) + ") and glEnd");
    else if (Starts(Frame.Name, "glVertex"))
        AddVertex(Frame.Name);
    else if (Starts(Frame.Name, "glColor"))
        SetColour(Frame.Name);
    else if (Starts(Frame.Name, "glCallList") || Starts(Frame.Name, "glEval") ||
             Frame.Name == "glArrayElement")
        Frame.Open.Unknown = true; // vertices and colours from elsewhere: not followed
}

} // namespace

bool Recording()
{
    return Frame.On;
}

void MarkDrawScene(const char* File, int Line)
{
    DrawSceneSite = {File, Line};
}

void Enter(const TSite& Site, const char* Name, const TArg* Args, int Count)
{
    Frame.Modern = false;
    Record(Site, Name, Args, Count);
}

void EnterModern(const TSite& Site, const char* Name, const TArg* Args, int Count)
{
    Frame.Modern = true;
    Record(Site, Name, Args, Count);
}

void Returned(double Value)
{
    Frame.Result = Value;
}

void Leave()
{
    if (Frame.CalledInside)
    {
        if (Frame.Name == "glEnd")
        {
            Frame.Inside = false;
            Drain(); // the errors of calls made inside, each told already
            Finish(Frame.Open);
        }
        return;
    }
    if (Frame.Name == "glBegin" && Frame.Args[0].Value >= 0 && Frame.Args[0].Value < 10)
    {
        Frame.Inside = true; // NOTE: from here glGetError would itself be an error
        return;
    }
    const GLenum Error = Drain();
    if (Error != GL_NO_ERROR)
    {
        if (Frame.Pending == GL_NO_ERROR)
            Frame.Pending = Error;
        std::string Text =
            ErrorText(CallText(Frame.Name, Frame.Args, Frame.Modern), Frame.Name, Error);
        // GL's own words say which argument or state it refused; the 1.1 entries keep theirs.
        const std::string Said = Detail(Frame.Name, DebugMessage());
        if (!Said.empty() && (Frame.Modern || DrawsArrays(Frame.Name)))
            Text += " (GL: " + Said + ")";
        Find(Frame.Site, "gl-error", Text);
    }
    if (Frame.Name == "glGetUniformLocation" && Frame.Result == -1)
    {
        std::string Call = CallText(Frame.Name, Frame.Args, true) + " (line " +
                           std::to_string(Frame.Site.Line) + ")";
        if (std::find(Frame.NoUniform.begin(), Frame.NoUniform.end(), Call) ==
            Frame.NoUniform.end())
            Frame.NoUniform.push_back(std::move(Call));
    }
    if (Frame.Name == "glMatrixMode")
        ::glGetIntegerv(GL_MATRIX_MODE, &Frame.MatrixMode);
    else if ((Frame.Name == "glEnable" || Frame.Name == "glDisable") &&
             Frame.Args[0].Value == GL_DEBUG_OUTPUT)
        Frame.DebugWas = Frame.Name == "glEnable"; // the scene's own choice, kept at Stop
}

GLenum SceneGetError(const TSite& Site)
{
    ++Frame.Calls;
    if (Frame.Inside)
    {
        Find(Site, "gl-error",
             "glGetError(): GL_INVALID_OPERATION, not allowed between glBegin (line " +
                 std::to_string(Frame.Open.Site.Line) + ") and glEnd");
        return ::glGetError();
    }
    const GLenum Own = ::glGetError();
    return Frame.Pending != GL_NO_ERROR ? std::exchange(Frame.Pending, GL_NO_ERROR) : Own;
}

void Start()
{
    Frame = TFrame{};
    Queries = TQueries{};
    Resolve(Queries.GetProgramiv, "glGetProgramiv");
    Resolve(Queries.GetActiveAttrib, "glGetActiveAttrib");
    Resolve(Queries.GetAttribLocation, "glGetAttribLocation");
    Resolve(Queries.GetVertexAttribiv, "glGetVertexAttribiv");
    Resolve(Queries.BindProgramPipeline, "glBindProgramPipeline");
    Resolve(Queries.GetDebugMessageLog, "glGetDebugMessageLog");
    Drain(); // earlier frames' and the frame's own errors are not this frame's
    if (Queries.GetDebugMessageLog)
    {
        // GL's message log, which a context that is not a debug one keeps only while asked to.
        Frame.DebugWas = ::glIsEnabled(GL_DEBUG_OUTPUT);
        ::glEnable(GL_DEBUG_OUTPUT);
        DebugMessage();
        Drain();
    }
    ::glGetIntegerv(GL_MATRIX_MODE, &Frame.MatrixMode);
    Frame.ProjectionAtStart = Matrix(GL_PROJECTION_MATRIX);
    Frame.On = true;
}

std::vector<std::string> Stop()
{
    Frame.On = false;
    if (Frame.Inside)
        Find(Frame.Open.Site, "no-end",
             Frame.Open.Call + " has no glEnd in this frame: GL takes no other call until it "
                               "ends, and draws nothing of it");
    else
    {
        for (const auto& [Mode, Sites] : Frame.Pushes)
            for (const TSite& Site : Sites)
                Find(Site, "matrix-stack",
                     std::string("glPushMatrix() has no glPopMatrix in this frame: the ") +
                         (Mode == GL_PROJECTION ? "projection"
                          : Mode == GL_TEXTURE  ? "texture"
                                                : "modelview") +
                         " stack grows every frame until it overflows");
        const TMatrix Projection = Matrix(GL_PROJECTION_MATRIX);
        bool Same = true;
        for (int I = 0; I < 16; ++I)
            Same = Same && std::fabs(Projection[I] - Frame.ProjectionAtStart[I]) <=
                               1e-9 * std::max(1.0, std::fabs(Projection[I]));
        if (!Same)
            Find(Frame.ProjectionSite, "projection",
                 "the scene changes the projection and leaves it changed: each frame starts from "
                 "the last one's, so the view moves from frame to frame (glLoadIdentity first, "
                 "or leave the projection to the frame)");
        Drain();
        if (Queries.GetDebugMessageLog && !Frame.DebugWas)
        {
            ::glDisable(GL_DEBUG_OUTPUT);
            DebugMessage();
        }
    }
    if (Frame.ColourCleared && !Frame.DrewOtherwise && !Frame.SinceClear.empty() &&
        std::all_of(Frame.SinceClear.begin(), Frame.SinceClear.end(), InClearColour))
        Find(Frame.SinceClear[0].Site, "clear-colour",
             Frame.SinceClear[0].Call + " is drawn in " +
                 Colour(Frame.SinceClear[0].Vertices[0].Colour) +
                 ", the colour glClear cleared the frame to" +
                 (Frame.SinceClear.size() > 1 ? ", as is everything else drawn" : "") +
                 ": nothing drawn shows");
    if (Frame.Calls > 0 && Frame.Primitives == 0 && !Frame.DrewOtherwise && !Frame.Inside)
    {
        std::string Names;
        for (std::size_t I = 0; I < Frame.Names.size() && I < 4; ++I)
            Names += (I ? ", " : "") + Frame.Names[I];
        Find(DrawSceneSite, "nothing-drawn",
             "DrawScene draws nothing in this frame: its calls (" + Names +
                 (Frame.Names.size() > 4 ? ", ..." : "") +
                 ") make no shape; one takes glBegin, its vertices and glEnd, or glRect");
    }
    return std::move(Frame.Findings);
}

} // namespace TutorialRecorder
