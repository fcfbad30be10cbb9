// A shader scene's mistakes: a buffer target GL does not have, a uniform misspelt, an attribute
// whose array is never enabled, a draw with no vertex array bound, and one with no program.
#include "Tutorial.h"

#include "program.h"

void TForm1::DrawScene()
{
    static const GLuint Program = MakeProgram(VertexShader, FragmentShader);
    static const GLuint Fed = MakeTriangle(true), Unfed = MakeTriangle(false);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindBuffer(0x1234, 0);
    glUseProgram(Program);
    glUniform4f(glGetUniformLocation(Program, "Color"), 1.0f, 0.0f, 0.0f, 1.0f);
    glBindVertexArray(Unfed);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(Fed);
    glDrawArrays(GL_TRIANGLES, 0, -3);
    glUseProgram(0);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
}
