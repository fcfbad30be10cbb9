// The shader scenes' program, made once from two shaders' texts: the frame's LoadProgram reads
// files, and these scenes are single files. Its calls are recorded as any of a scene's are.
#pragma once

#include "Tutorial.h"

inline GLuint MakeProgram(const char* VertexText, const char* FragmentText)
{
    const GLuint Program = glCreateProgram();
    const GLenum Types[] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
    const char* const Texts[] = {VertexText, FragmentText};
    for (int I = 0; I < 2; ++I)
    {
        const GLuint Shader = glCreateShader(Types[I]);
        glShaderSource(Shader, 1, &Texts[I], nullptr);
        glCompileShader(Shader);
        glAttachShader(Program, Shader);
        glDeleteShader(Shader);
    }
    glLinkProgram(Program);
    return Program;
}

// One triangle's corners in a vertex array of its own, at attribute 0; Enable false leaves
// the array off, as a scene that forgets glEnableVertexAttribArray does.
inline GLuint MakeTriangle(bool Enable)
{
    static const GLfloat Corners[] = {-1.0f, -1.0f, 1.0f, -1.0f, 0.0f, 1.0f};
    GLuint Array = 0, Buffer = 0;
    glGenVertexArrays(1, &Array);
    glBindVertexArray(Array);
    glGenBuffers(1, &Buffer);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof Corners, Corners, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    if (Enable)
        glEnableVertexAttribArray(0);
    glBindVertexArray(0);
    return Array;
}

// Draws the corners a tenth as far from the centre, in the colour of the uniform Colour.
inline const char* const VertexShader =
    "#version 330 core\n"
    "layout(location = 0) in vec2 Position;\n"
    "void main() { gl_Position = vec4(Position * 0.1, 0, 1); }\n";
inline const char* const FragmentShader = "#version 330 core\n"
                                          "uniform vec4 Colour;\n"
                                          "out vec4 Shown;\n"
                                          "void main() { Shown = Colour; }\n";
