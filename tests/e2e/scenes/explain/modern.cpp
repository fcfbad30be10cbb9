// A shader scene done right: a triangle from a vertex array, coloured by a uniform. The rectangle
// is drawn by the program too, so the fixed pipeline's view and colour say nothing of it: in
// those it would lie outside the view, white on white.
#include "Tutorial.h"

#include "program.h"

void TForm1::DrawScene()
{
    static const GLuint Program = MakeProgram(VertexShader, FragmentShader);
    static const GLuint Triangle = MakeTriangle(true);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(Program);
    glUniform4f(glGetUniformLocation(Program, "Colour"), 1.0f, 0.0f, 0.0f, 1.0f);
    glBindVertexArray(Triangle);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glColor3f(1.0f, 1.0f, 1.0f);
    glRectf(5.0f, 0.5f, 7.0f, 1.0f);
    glUseProgram(0);
}
