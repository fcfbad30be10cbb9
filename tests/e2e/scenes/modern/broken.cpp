// A scene whose fragment shader has a syntax error at its line 5.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    static const GLuint Program = LoadProgram("square.vert", "Mine.frag");
    ::glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(Program);
    glUseProgram(0);
}
