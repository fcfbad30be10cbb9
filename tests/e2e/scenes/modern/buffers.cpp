// examples/Square.cpp's white square the OpenGL 3.3 way: two triangles in a vertex buffer, laid
// out by a vertex array, drawn by shaders of the scene's own text with the frame's matrices.
#include "Tutorial.h"

namespace
{

const char* const VertexText = R"(#version 330 core
layout(location = 0) in vec2 Corner;
uniform mat4 Projection;
uniform mat4 ModelView;
void main() { gl_Position = Projection * ModelView * vec4(Corner, 0.0, 1.0); }
)";

const char* const FragmentText = R"(#version 330 core
out vec4 Colour;
void main() { Colour = vec4(1.0); }
)";

GLuint Compiled(GLenum Type, const char* Text)
{
    const GLuint Shader = glCreateShader(Type);
    glShaderSource(Shader, 1, &Text, nullptr);
    glCompileShader(Shader);
    GLint Done = GL_FALSE;
    glGetShaderiv(Shader, GL_COMPILE_STATUS, &Done);
    if (!Done)
        throw Exception("a shader of the scene does not compile");
    return Shader;
}

GLuint Linked()
{
    const GLuint Program = glCreateProgram();
    glAttachShader(Program, Compiled(GL_VERTEX_SHADER, VertexText));
    glAttachShader(Program, Compiled(GL_FRAGMENT_SHADER, FragmentText));
    glLinkProgram(Program);
    GLint Done = GL_FALSE;
    glGetProgramiv(Program, GL_LINK_STATUS, &Done);
    if (!Done)
        throw Exception("the scene's shaders do not link");
    return Program;
}

} // namespace

void TForm1::DrawScene()
{
    static GLuint Program = 0, Square = 0;
    if (!Program)
    {
        Program = Linked();
        const GLfloat Corners[] = {-3, -3, 3, -3, -3, 3, 3, 3};
        glGenVertexArrays(1, &Square);
        glBindVertexArray(Square);
        GLuint Buffer = 0;
        glGenBuffers(1, &Buffer);
        glBindBuffer(GL_ARRAY_BUFFER, Buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof Corners, Corners, GL_STATIC_DRAW);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);
        glBindVertexArray(0);
    }
    ::glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(Program);
    glUniformMatrix4fv(glGetUniformLocation(Program, "Projection"), 1, GL_FALSE,
                       ProjectionMatrix());
    glUniformMatrix4fv(glGetUniformLocation(Program, "ModelView"), 1, GL_FALSE, ModelViewMatrix());
    glBindVertexArray(Square);
    ::glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
    glUseProgram(0);
}
