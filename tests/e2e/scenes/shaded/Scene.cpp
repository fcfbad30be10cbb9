// The 6x6 square drawn by the shader pair beside this file (Mine.vert, Mine.frag), loaded by
// LoadProgram when the scene first runs: the fragment shader alone gives its colour.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    static GLuint Program = 0, Square = 0;
    if (!Program)
    {
        Program = LoadProgram("Mine.vert", "Mine.frag");
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
