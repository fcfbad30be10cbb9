// The classic triangle the OpenGL 3.3 way: its corners and colours in a vertex buffer, laid out
// by a vertex array, drawn by a shader pair of files beside this one (Shaded.vert, Shaded.frag).
// The vertex shader places it with the frame's projection and turns it by the scene's clock, a
// quarter round each second.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    // Made on the first frame, once the context is current, and kept: a program and a buffer
    // are made once, not each frame.
    static GLuint Program = 0, Corners = 0;
    static GLint Projection = -1, ModelView = -1, Angle = -1;
    if (!Program)
    {
        Program = LoadProgram("Shaded.vert", "Shaded.frag");
        Projection = glGetUniformLocation(Program, "Projection");
        ModelView = glGetUniformLocation(Program, "ModelView");
        Angle = glGetUniformLocation(Program, "Angle");

        // x, y, then red, green, blue: one corner a row.
        const GLfloat Data[] = {
            -2.5f, -2.0f, 1.0f, 0.0f, 0.0f, //
            2.5f,  -2.0f, 0.0f, 1.0f, 0.0f, //
            0.0f,  2.5f,  0.0f, 0.0f, 1.0f, //
        };
        glGenVertexArrays(1, &Corners);
        glBindVertexArray(Corners);
        GLuint Buffer = 0;
        glGenBuffers(1, &Buffer);
        glBindBuffer(GL_ARRAY_BUFFER, Buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof Data, Data, GL_STATIC_DRAW);
        // The vertex array keeps where each attribute comes from; the buffer stays bound to it.
        const GLsizei Stride = 5 * sizeof(GLfloat);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, Stride, nullptr);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, Stride,
                              reinterpret_cast<const void*>(2 * sizeof(GLfloat)));
        glEnableVertexAttribArray(1);
        glBindVertexArray(0);
    }

    ::glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(Program);
    glUniformMatrix4fv(Projection, 1, GL_FALSE, ProjectionMatrix());
    glUniformMatrix4fv(ModelView, 1, GL_FALSE, ModelViewMatrix());
    glUniform1f(Angle, static_cast<GLfloat>(1.5707963267948966 * SceneTime()));
    glBindVertexArray(Corners);
    ::glDrawArrays(GL_TRIANGLES, 0, 3);
    // The fixed pipeline's state back as it was, for whatever draws next.
    glBindVertexArray(0);
    glUseProgram(0);
}
