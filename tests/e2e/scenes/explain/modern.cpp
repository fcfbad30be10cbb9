// A shader scene done right: a triangle from a vertex array, coloured by a uniform. The rectangle
// and the triangle given between glBegin and glEnd are drawn by the program too, so the fixed
// pipeline's view and colour say nothing of them: in those they would lie outside the view,
// white on white.
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
    glBegin(GL_TRIANGLES);
    glMultiTexCoord2f(GL_TEXTURE0, 0.0f, 0.0f);
    glVertexAttrib2f(0, -8.0f, -8.0f);
    glVertexAttrib2f(0, -6.0f, -8.0f);
    glVertexAttrib2f(0, -7.0f, -6.0f);
    glEnd();
    glUseProgram(0);
}
