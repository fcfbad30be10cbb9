// A capability GL does not have: glEnable raises GL_INVALID_ENUM, and the square still draws.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glEnable(0x1234);
    ::glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
}
